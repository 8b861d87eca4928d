#pragma once

#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

// One skill of the Ostrel catalogue. Identity and equality are the numeric id alone.
struct OstrelSkill {
    std::int64_t id = 0;
    std::string slug;
    std::string name;
    std::string description;
    std::string longDescription; // markdown
    std::string provider;        // the catalogue's own text, e.g. "anthropic"
    std::optional<std::string> license;
    std::string category;
    std::string githubUrl;
    std::string skillMdUrl;
    std::int64_t createdAt = 0; // as the catalogue sends them; never turned into dates
    std::int64_t updatedAt = 0;

    friend bool operator==(const OstrelSkill& lhs, const OstrelSkill& rhs) {
        return lhs.id == rhs.id;
    }

    static OstrelSkill decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

// The whole catalogue in one reply; `total` is kept as sent.
struct OstrelSkillsResponse {
    std::vector<OstrelSkill> skills;
    std::int64_t total = 0;

    static OstrelSkillsResponse decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

} // namespace mossbarrow
