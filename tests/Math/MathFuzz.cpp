// libFuzzer entry: any bytes go through parse, finalise and serialise. A parsed list must survive
// finalisation unchanged and serialise the same before and after.

#include "Math/AtomList.hpp"
#include "Math/Parser.hpp"
#include "Math/Serializer.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Math::Parser parser(text);
    const auto list = parser.buildAtomList();
    if (!list) {
        if (!parser.error()) {
            std::abort(); // a failure must always carry its error
        }
        return 0;
    }
    const std::string before = Math::serializeAtomList(list);
    const std::string description = list->description();
    const auto finalized = Math::finalizedAtomList(*list);
    const auto copy = list->deepCopy();
    if (Math::serializeAtomList(list) != before || list->description() != description) {
        std::abort(); // finalising or writing changed the parsed list
    }
    (void)Math::serializeAtomList(finalized);
    (void)Math::finalizedAtomList(*finalized);
    (void)copy->description();
    // What the writer produces must at least be readable again without harm.
    (void)Math::parseLatex(before);
    return 0;
}
