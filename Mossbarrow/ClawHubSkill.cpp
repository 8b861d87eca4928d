#include "Mossbarrow/ClawHubSkill.hpp"

#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <cstddef>
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
    // The registry has sent two shapes: six counters, and later `installs` in place of the two
    // install counters, with any counter left out (even `stats: {}`). A counter that is absent
    // is 0; one that is there must still be an integer.
    const auto counter = [&](std::string_view key) {
        return c.decodeIfPresent<std::int64_t>(key).value_or(0);
    };
    const std::optional<std::int64_t> installsAllTime =
        c.decodeIfPresent<std::int64_t>("installsAllTime");
    return {
        .downloads = counter("downloads"),
        .installsAllTime = installsAllTime ? *installsAllTime : counter("installs"),
        .installsCurrent = counter("installsCurrent"),
        .stars = counter("stars"),
        .versions = counter("versions"),
        .comments = counter("comments"),
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
    auto slug = c.decode<std::string>("slug");
    auto displayName = c.decode<std::string>("displayName");
    auto summary = c.decodeIfPresent<std::string>("summary");
    // Either of the latest version and its tag stands in for the other; `tags: {}` and
    // `latestVersion: null` both occur. Without either the skill has no version to show.
    std::optional<std::string> latestTag;
    if (const auto tags = c.memberIfPresent("tags")) {
        latestTag = tags->decodeIfPresent<std::string>("latest");
    }
    const auto stats = c.memberIfPresent("stats");
    const std::int64_t createdAt = c.decode<std::int64_t>("createdAt");
    const std::int64_t updatedAt = c.decode<std::int64_t>("updatedAt");
    std::optional<ClawHubSkillVersion> latestVersion =
        latestTag ? c.decodeIfPresent<ClawHubSkillVersion>("latestVersion")
                  : c.decode<ClawHubSkillVersion>("latestVersion"); // names what is missing
    if (!latestVersion) {
        // Only the tag is known: the version is the tag, last changed when the skill was.
        latestVersion = ClawHubSkillVersion{.version = *latestTag, .createdAt = updatedAt};
    }
    return {
        .slug = std::move(slug),
        .displayName = std::move(displayName),
        .summary = std::move(summary),
        .tags = {.latest = latestTag ? std::move(*latestTag) : latestVersion->version},
        .stats = stats ? ClawHubSkillStats::decode(*stats) : ClawHubSkillStats{},
        .createdAt = createdAt,
        .updatedAt = updatedAt,
        .latestVersion = std::move(*latestVersion),
    };
}

namespace {

// "items[3] (slug \"x\"): latestVersion: Expected ... but found null instead."
std::string skippedItemDescription(const JSONDecodingContainer& item,
                                   const platform::DecodingError& error) {
    std::string text = platform::codingPathDescription(item.codingPath());
    try {
        if (item.kind() == JSONDecodingContainer::Kind::object) {
            if (const auto slug = item.memberIfPresent("slug");
                slug && slug->kind() == JSONDecodingContainer::Kind::string) {
                text += " (slug \"" + slug->decodeString() + "\")";
            }
        }
    } catch (const platform::DecodingError&) {
        // The slug is only a help for the reader of the log.
    }
    auto path = error.codingPath();
    if (error.key()) {
        path.push_back(*error.key());
    }
    const auto itemDepth = item.codingPath().size();
    const platform::CodingPath inner(
        path.begin() + static_cast<std::ptrdiff_t>(std::min(itemDepth, path.size())), path.end());
    if (!inner.empty()) {
        text += ": " + platform::codingPathDescription(inner);
    }
    return text + ": " + error.debugDescription();
}

} // namespace

SkillListResponse SkillListResponse::decode(const JSONDecodingContainer& c) {
    // One skill the registry sends in a shape nobody can read is left out of its page, not
    // allowed to empty the whole list; the page's cursor still leads on.
    SkillListResponse page;
    const JSONDecodingContainer items = c.member("items");
    page.items.reserve(items.count());
    items.forEachElement([&](const JSONDecodingContainer& item) {
        try {
            page.items.push_back(ClawHubSkill::decode(item));
        } catch (const platform::DecodingError& error) {
            page.skippedItems.push_back(skippedItemDescription(item, error));
        }
    });
    page.nextCursor = c.decodeIfPresent<std::string>("nextCursor");
    return page;
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
