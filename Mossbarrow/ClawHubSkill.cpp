#include "Mossbarrow/ClawHubSkill.hpp"

#include "platform/foundation/Unicode.hpp"

#include <string_view>

namespace mossbarrow {

bool operator==(const ClawHubSkill& lhs, const ClawHubSkill& rhs) {
    return lhs.slug == rhs.slug || platform::unicode::canonicallyEquivalent(lhs.slug, rhs.slug);
}

} // namespace mossbarrow

std::size_t std::hash<mossbarrow::ClawHubSkill>::operator()(
    const mossbarrow::ClawHubSkill& skill) const noexcept {
    // Equal slugs share their NFC form; ASCII text is its own NFC form.
    if (platform::unicode::isAscii(skill.slug)) {
        return std::hash<std::string_view>{}(skill.slug);
    }
    return std::hash<std::string>{}(platform::unicode::nfc(skill.slug));
}

namespace mossbarrow {

using platform::JSONDecodingContainer;

ClawHubSkillTags ClawHubSkillTags::decode(const JSONDecodingContainer& c) {
    return {.latest = c.decode<std::string>("latest")};
}

ClawHubSkillStats ClawHubSkillStats::decode(const JSONDecodingContainer& c) {
    return {
        .downloads = c.decode<std::int64_t>("downloads"),
        .installsAllTime = c.decode<std::int64_t>("installsAllTime"),
        .installsCurrent = c.decode<std::int64_t>("installsCurrent"),
        .stars = c.decode<std::int64_t>("stars"),
        .versions = c.decode<std::int64_t>("versions"),
        .comments = c.decode<std::int64_t>("comments"),
    };
}

ClawHubSkillVersion ClawHubSkillVersion::decode(const JSONDecodingContainer& c) {
    return {
        .version = c.decode<std::string>("version"),
        .createdAt = c.decode<std::int64_t>("createdAt"),
        .changelog = c.decode<std::string>("changelog"),
    };
}

ClawHubSkill ClawHubSkill::decode(const JSONDecodingContainer& c) {
    return {
        .slug = c.decode<std::string>("slug"),
        .displayName = c.decode<std::string>("displayName"),
        .summary = c.decodeIfPresent<std::string>("summary"),
        .tags = c.decode<ClawHubSkillTags>("tags"),
        .stats = c.decode<ClawHubSkillStats>("stats"),
        .createdAt = c.decode<std::int64_t>("createdAt"),
        .updatedAt = c.decode<std::int64_t>("updatedAt"),
        .latestVersion = c.decode<ClawHubSkillVersion>("latestVersion"),
    };
}

SkillListResponse SkillListResponse::decode(const JSONDecodingContainer& c) {
    return {
        .items = c.decode<std::vector<ClawHubSkill>>("items"),
        .nextCursor = c.decodeIfPresent<std::string>("nextCursor"),
    };
}

} // namespace mossbarrow

namespace mossbarrow {

void ClawHubSkillTags::encode(platform::JSONEncodingContainer& c) const {
    c.encode("latest", latest);
}

void ClawHubSkillStats::encode(platform::JSONEncodingContainer& c) const {
    c.encode("downloads", downloads);
    c.encode("installsAllTime", installsAllTime);
    c.encode("installsCurrent", installsCurrent);
    c.encode("stars", stars);
    c.encode("versions", versions);
    c.encode("comments", comments);
}

void ClawHubSkillVersion::encode(platform::JSONEncodingContainer& c) const {
    c.encode("version", version);
    c.encode("createdAt", createdAt);
    c.encode("changelog", changelog);
}

void ClawHubSkill::encode(platform::JSONEncodingContainer& c) const {
    c.encode("slug", slug);
    c.encode("displayName", displayName);
    c.encodeIfPresent("summary", summary);
    c.encode("tags", tags);
    c.encode("stats", stats);
    c.encode("createdAt", createdAt);
    c.encode("updatedAt", updatedAt);
    c.encode("latestVersion", latestVersion);
}

void SkillListResponse::encode(platform::JSONEncodingContainer& c) const {
    c.encode("items", items);
    c.encodeIfPresent("nextCursor", nextCursor);
}

} // namespace mossbarrow
