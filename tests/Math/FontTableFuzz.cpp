// libFuzzer entry: any bytes are read as a math font table file (either property-list encoding).
// A table that decodes must encode and decode again to the same table, and a table read in the
// plain form must read the same through the general property-list reader.

#include "Math/FontTable.hpp"
#include "platform/foundation/PropertyList.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // What the plain reader reads, the general property-list reader reads the same.
    if (const auto plain = Math::FontTable::readPlain(std::span(data, size))) {
        const auto root = platform::PropertyListValue::decode(std::span(data, size));
        const auto general = root ? Math::FontTable::fromPropertyList(*root) : std::nullopt;
        if (!general || !(*general == *plain)) {
            std::abort();
        }
    }
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
