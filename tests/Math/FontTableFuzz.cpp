// libFuzzer entry: any bytes are read as a math font table file (either property-list encoding).
// A table that decodes must encode and decode again to the same table.

#include "Math/FontTable.hpp"
#include "platform/foundation/PropertyList.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto table = Math::FontTable::decode(std::span(data, size));
    if (!table) {
        return 0;
    }
    const std::string xml = table->encode().encodeXML();
    const auto again = Math::FontTable::decode(
        std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()));
    if (!again || !(*again == *table)) {
        std::abort(); // what the table writes, it must read back
    }
    return 0;
}
