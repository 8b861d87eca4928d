#pragma once

#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

struct ClawHubSkillTags {
    std::string latest;

    static ClawHubSkillTags decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

// Counters the registry leaves out read as 0.
struct ClawHubSkillStats {
    std::int64_t downloads = 0;
    std::int64_t installsAllTime = 0;
    std::int64_t installsCurrent = 0;
    std::int64_t stars = 0;
    std::int64_t versions = 0;
    std::int64_t comments = 0;

    static ClawHubSkillStats decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

struct ClawHubSkillVersion {
    std::string version;
    std::int64_t createdAt = 0;
    std::string changelog;

    static ClawHubSkillVersion decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

// One skill of the ClawHub registry. Identity, equality and hash rest on the slug alone, so a
// reloaded skill with new statistics is still the same skill.
struct ClawHubSkill {
    std::string slug;
    std::string displayName;
    std::optional<std::string> summary;
    ClawHubSkillTags tags;
    ClawHubSkillStats stats;
    std::int64_t createdAt = 0; // as the registry sends it; never turned into a date
    std::int64_t updatedAt = 0;
    ClawHubSkillVersion latestVersion;

    const std::string& id() const { return slug; }

    static ClawHubSkill decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;

    // Slugs compare under canonical equivalence (a composed and a decomposed "é" are equal).
    friend bool operator==(const ClawHubSkill& lhs, const ClawHubSkill& rhs);
};

// One page of the registry's skill list; `nextCursor` is absent on the last page. Skills that
// cannot be read are left out of `items` and described in `skippedItems` (which is not part of
// the JSON form).
struct SkillListResponse {
    std::vector<ClawHubSkill> items;
    std::optional<std::string> nextCursor;
    std::vector<std::string> skippedItems;

    static SkillListResponse decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

} // namespace mossbarrow

template <>
struct std::hash<mossbarrow::ClawHubSkill> {
    std::size_t operator()(const mossbarrow::ClawHubSkill& skill) const noexcept;
};
