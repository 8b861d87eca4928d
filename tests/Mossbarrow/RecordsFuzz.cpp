// Feeds arbitrary bytes to every reply decoder: each must either decode or throw a
// DecodingError, and whatever decodes must encode again.

#include "Mossbarrow/ClawHubSkill.hpp"
#include "Mossbarrow/JSONValue.hpp"
#include "Mossbarrow/OstrelSkill.hpp"
#include "Mossbarrow/ServerResponse.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

template <class T>
void roundTrip(std::string_view text) {
    try {
        const T value = platform::JSONDecoder{}.decode<T>(text);
        const std::string written =
            platform::JSONEncoder(platform::JSONEncoder::sortedKeys).encode(value);
        (void)platform::JSONDecoder{}.decode<T>(written);
    } catch (const platform::DecodingError&) {
        // rejected input is the expected outcome for most of it
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    roundTrip<mossbarrow::ServerListResponse>(text);
    roundTrip<mossbarrow::SkillListResponse>(text);
    roundTrip<mossbarrow::OstrelSkillsResponse>(text);
    roundTrip<mossbarrow::JSONValue>(text);
    return 0;
}
