#include "Mossbarrow/Views/ServerJSONText.hpp"

#include "platform/foundation/JSONEncoder.hpp"

#include <exception>
#include <glib.h>

namespace mossbarrow {

std::string serverJSONText(const ServerResponse& server) {
    try {
        const platform::JSONEncoder encoder(platform::JSONEncoder::prettyPrinted |
                                            platform::JSONEncoder::sortedKeys);
        std::string text = encoder.encode(server);
        if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
            return "{}";
        }
        return text;
    } catch (const std::exception&) {
        return "{}";
    }
}

} // namespace mossbarrow
