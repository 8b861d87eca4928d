// Decoding and encoding of the catalogue records: the presence rules, the whole reply failing on
// one bad member, identities, and the JSON text written back out.

#include "FixtureServer.hpp"
#include "Mossbarrow/ClawHubSkill.hpp"
#include "Mossbarrow/JSONValue.hpp"
#include "Mossbarrow/OstrelSkill.hpp"
#include "Mossbarrow/ServerResponse.hpp"
#include "Mossbarrow/SidebarSection.hpp"
#include "Mossbarrow/SkillProvider.hpp"
#include "Mossbarrow/SkillSelection.hpp"
#include "Mossbarrow/SkillSort.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <gtest/gtest.h>
#include <unordered_set>

namespace mossbarrow {
namespace {

using platform::DecodingError;

template <class T>
T decode(std::string_view json) {
    return platform::JSONDecoder{}.decode<T>(json);
}

// The coding path of the error a decoding throws, as "items[0].stats.stars".
template <class T>
std::string failurePath(std::string_view json) {
    try {
        (void)decode<T>(json);
    } catch (const DecodingError& error) {
        auto path = error.codingPath();
        if (error.key()) {
            path.push_back(*error.key());
        }
        return platform::codingPathDescription(path);
    }
    return "<decoded>";
}

std::string skillJSON(std::string_view slug, std::string_view extra = "") {
    return std::string(R"({"slug":")") + std::string(slug) + R"(","displayName":"D",)" +
           std::string(extra) +
           R"("tags":{"latest":"1"},"stats":{"downloads":1,"installsAllTime":2,"installsCurrent":3,)"
           R"("stars":4,"versions":5,"comments":6},"createdAt":7,"updatedAt":8,)"
           R"("latestVersion":{"version":"1","createdAt":9,"changelog":"c"}})";
}

TEST(ClawHubRecords, PageDecodesWithOptionalMembers) {
    const auto page = decode<SkillListResponse>(testing::fixture("clawhub-trending-1.json"));
    ASSERT_EQ(page.items.size(), 2u);
    EXPECT_EQ(page.nextCursor, "trending-2");
    EXPECT_EQ(page.items[0].summary, "Edit spreadsheets");
    EXPECT_EQ(page.items[0].stats.downloads, 1250);
    EXPECT_EQ(page.items[0].createdAt, 1700000000000);
    EXPECT_FALSE(page.items[1].summary.has_value());

    const auto last = decode<SkillListResponse>(R"({"items": [], "nextCursor": null})");
    EXPECT_TRUE(last.items.empty());
    EXPECT_FALSE(last.nextCursor.has_value());
    EXPECT_FALSE(decode<SkillListResponse>(R"({"items": []})").nextCursor.has_value());

    const auto nullSummary = decode<ClawHubSkill>(skillJSON("a", R"("summary":null,)"));
    EXPECT_FALSE(nullSummary.summary.has_value());
    const auto emptySummary = decode<ClawHubSkill>(skillJSON("a", R"("summary":"",)"));
    EXPECT_EQ(emptySummary.summary, "");
}

TEST(ClawHubRecords, AnUnreadableSkillIsLeftOutOfItsPageAndNamed) {
    const auto page = [](const std::string& skill) {
        return R"({"items":[)" + skillJSON("ok") + "," + skill + R"(],"nextCursor":"c2"})";
    };
    const auto skipped = [&](const std::string& skill) {
        const auto decoded = decode<SkillListResponse>(page(skill));
        EXPECT_EQ(decoded.items.size(), 1u);
        EXPECT_EQ(decoded.nextCursor, "c2") << "the cursor still leads on";
        return decoded.skippedItems.size() == 1 ? decoded.skippedItems[0] : std::string("none");
    };
    auto bad = skillJSON("x");
    bad.replace(bad.find(R"("stars":4)"), 9, R"("stars":1.5)");
    EXPECT_EQ(skipped(bad).rfind(R"(items[1] (slug "x"): stats.stars: )", 0), 0u) << skipped(bad);

    auto noVersion = skillJSON("x");
    noVersion.erase(noVersion.find(R"(,"latestVersion")"));
    noVersion += "}";
    noVersion.replace(noVersion.find(R"({"latest":"1"})"), 14, "{}");
    EXPECT_NE(skipped(noVersion).find("latestVersion"), std::string::npos) << skipped(noVersion);
    EXPECT_EQ(skipped("[1]").rfind("items[1]: ", 0), 0u) << skipped("[1]");

    // What is not a list of skills at all still fails the reply.
    EXPECT_EQ(failurePath<SkillListResponse>(R"({"items":{}})"), "items");
    EXPECT_EQ(failurePath<SkillListResponse>(R"([])"), "");
    // 2^63 does not fit a signed 64-bit integer; nothing is coerced from text either.
    auto huge = skillJSON("x");
    huge.replace(huge.find(R"("createdAt":7)"), 13, R"("createdAt":9223372036854775808)");
    EXPECT_THROW(decode<ClawHubSkill>(huge), DecodingError);
    auto quoted = skillJSON("x");
    quoted.replace(quoted.find(R"("updatedAt":8)"), 13, R"("updatedAt":"8")");
    EXPECT_THROW(decode<ClawHubSkill>(quoted), DecodingError);
}

TEST(ClawHubRecords, TodaysListShapesDecode) {
    const auto first = decode<SkillListResponse>(testing::fixture("clawhub-today-1.json"));
    ASSERT_EQ(first.items.size(), 3u);
    EXPECT_EQ(first.nextCursor, "x/y:1.0.0+20130313144700");
    ASSERT_EQ(first.skippedItems.size(), 1u);
    EXPECT_NE(first.skippedItems[0].find(R"(items[1] (slug "placeholder"))"), std::string::npos);

    const auto& pdf = first.items[0];
    EXPECT_EQ(pdf.stats.installsAllTime, 812) << "installs stands for the all-time count";
    EXPECT_EQ(pdf.stats.installsCurrent, 0);
    EXPECT_EQ(pdf.stats.downloads, 30512);
    EXPECT_EQ(pdf.stats.comments, 4);

    const auto& calendar = first.items[1]; // "tags": {}, a latest version
    EXPECT_EQ(calendar.tags.latest, "0.3.1");
    EXPECT_EQ(calendar.stats.downloads, 12);
    EXPECT_EQ(calendar.stats.stars, 0);
    EXPECT_EQ(calendar.stats.installsAllTime, 0);
    EXPECT_FALSE(calendar.summary.has_value());

    const auto& notes = first.items[2]; // a tag, "latestVersion": null
    EXPECT_EQ(notes.latestVersion.version, "1.4.0");
    EXPECT_EQ(notes.latestVersion.createdAt, notes.updatedAt);
    EXPECT_EQ(notes.latestVersion.changelog, "");

    const auto second = decode<SkillListResponse>(testing::fixture("clawhub-today-2.json"));
    ASSERT_EQ(second.items.size(), 1u);
    EXPECT_EQ(second.items[0].stats.installsAllTime, 9) << "the older counter wins when sent";
    EXPECT_EQ(second.items[0].stats.versions, 1);
    EXPECT_FALSE(second.nextCursor.has_value());
    EXPECT_EQ(second.skippedItems.size(), 2u);

    // The older shape still reads as before.
    const auto older = decode<SkillListResponse>(testing::fixture("clawhub-trending-1.json"));
    EXPECT_EQ(older.items.size(), 2u);
    EXPECT_EQ(older.items[0].stats.installsCurrent, 30);
    EXPECT_TRUE(older.skippedItems.empty());
}

TEST(ClawHubRecords, IdentityIsTheSlugUnderCanonicalEquivalence) {
    auto a = decode<ClawHubSkill>(skillJSON("caf\u00e9"));
    auto b = decode<ClawHubSkill>(skillJSON("cafe\u0301"));
    b.displayName = "Other";
    b.stats.stars = 999;
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<ClawHubSkill>{}(a), std::hash<ClawHubSkill>{}(b));
    EXPECT_EQ(std::unordered_set<ClawHubSkill>({a, b}).size(), 1u);
    b.slug = "Caf\u00e9";
    EXPECT_NE(a, b);
}

TEST(ClawHubRecords, ExtraMembersAreNotWrittenBack) {
    const auto skill = decode<ClawHubSkill>(skillJSON("s", R"("unknown":[1,2],)"));
    const auto text = platform::JSONEncoder(platform::JSONEncoder::sortedKeys).encode(skill);
    EXPECT_EQ(text.find("unknown"), std::string::npos);
    EXPECT_EQ(text.find("summary"), std::string::npos); // absent optionals are left out
    EXPECT_EQ(decode<ClawHubSkill>(text).stats.comments, 6);
}

TEST(MCPRecords, PageDecodesWithFreeFormMembers) {
    const auto page = decode<ServerListResponse>(testing::fixture("mcp-page1.json"));
    ASSERT_EQ(page.servers.size(), 3u);
    const auto& weather = page.servers[0];
    EXPECT_EQ(weather.id(), "io.example/weather-1.2.0");
    EXPECT_EQ(page.servers[1].id(), "io.example/files-unknown");
    EXPECT_EQ(weather.server.repository->url, "https://example.com/weather.git");
    EXPECT_EQ(weather.server.packages->at(0).identifier, "weather-mcp");
    ASSERT_TRUE(weather.server.transport.has_value());
    EXPECT_EQ(weather.server.transport->at("type"), JSONValue::string("stdio"));
    EXPECT_EQ(weather.server.transport->at("args"),
              JSONValue::array({JSONValue::string("--fast"), JSONValue::number(1),
                                JSONValue::boolean(true), JSONValue::null()}));
    EXPECT_EQ(page.metadata->nextCursor, "page-2");
    EXPECT_EQ(page.metadata->count, 3);
}

TEST(MCPRecords, PresenceRules) {
    const auto empty = decode<ServerListResponse>(R"({"servers": []})");
    EXPECT_TRUE(empty.servers.empty());
    EXPECT_FALSE(empty.metadata.has_value());
    const auto bareMetadata = decode<ServerListResponse>(R"({"servers": [], "metadata": {}})");
    EXPECT_FALSE(bareMetadata.metadata->count.has_value());
    EXPECT_FALSE(bareMetadata.metadata->nextCursor.has_value());
    EXPECT_THROW(decode<ServerListResponse>(R"({"metadata": {}})"), DecodingError);

    const auto nullMeta = decode<ServerResponse>(R"({"server":{"name":"a"},"_meta":null})");
    EXPECT_FALSE(nullMeta.meta.has_value());
    const auto emptyMeta = decode<ServerResponse>(R"({"server":{"name":"a"},"_meta":{}})");
    ASSERT_TRUE(emptyMeta.meta.has_value());
    EXPECT_TRUE(emptyMeta.meta->empty());
    const auto emptyIcons = decode<ServerJSON>(R"({"name":"a","icons":[]})");
    ASSERT_TRUE(emptyIcons.icons.has_value());
    EXPECT_TRUE(emptyIcons.icons->empty());
    EXPECT_FALSE(decode<Icon>(R"({"src":"s"})").mimeType.has_value());

    EXPECT_EQ(failurePath<ServerListResponse>(
                  R"({"servers":[{"server":{"name":"a"}},{"server":{"name":"b","icons":[{}]}}]})"),
              "servers[1].server.icons[0].src");
    EXPECT_EQ(
        failurePath<ServerListResponse>(R"({"servers":[{"server":{"name":"a","version":1}}]})"),
        "servers[0].server.version");
    EXPECT_THROW(decode<ServerListResponse>(R"({"servers":[],"metadata":{"count":1.5}})"),
                 DecodingError);
}

TEST(MCPRecords, IdentitiesCanCollide) {
    const auto id = [](std::string_view json) { return decode<ServerResponse>(json).id(); };
    EXPECT_EQ(id(R"({"server":{"name":"weather"}})"),
              id(R"({"server":{"name":"weather","version":"unknown"}})"));
    EXPECT_EQ(id(R"({"server":{"name":"a-b","version":"c"}})"),
              id(R"({"server":{"name":"a","version":"b-c"}})"));
}

TEST(MCPRecords, WritesBackSortedAndPretty) {
    const auto entry = decode<ServerResponse>(
        R"({"server":{"name":"w","websiteUrl":"https://x.io/a","extra":1,
            "transport":{"b":null,"a":[1.5,true]}},"_meta":{"k":"v"}})");
    const auto text = platform::JSONEncoder(platform::JSONEncoder::prettyPrinted |
                                            platform::JSONEncoder::sortedKeys)
                          .encode(entry);
    EXPECT_EQ(text, R"({
  "_meta" : {
    "k" : "v"
  },
  "server" : {
    "name" : "w",
    "transport" : {
      "a" : [
        1.5,
        true
      ],
      "b" : null
    },
    "websiteUrl" : "https:\/\/x.io\/a"
  }
})");
}

TEST(OstrelRecords, SnakeCaseKeysAndPresence) {
    const auto catalogue = decode<OstrelSkillsResponse>(testing::fixture("ostrel-catalogue.json"));
    ASSERT_EQ(catalogue.skills.size(), 5u);
    EXPECT_EQ(catalogue.total, 5);
    EXPECT_EQ(catalogue.skills[0].longDescription, "# PDF\nWorks with **pdf** files.");
    EXPECT_EQ(catalogue.skills[0].license, "MIT");
    EXPECT_FALSE(catalogue.skills[1].license.has_value()); // null
    EXPECT_FALSE(catalogue.skills[2].license.has_value()); // missing
    EXPECT_EQ(catalogue.skills[3].license, "");

    const auto empty = decode<OstrelSkillsResponse>(R"({"skills": [], "total": 0})");
    EXPECT_TRUE(empty.skills.empty());
    EXPECT_THROW(decode<OstrelSkillsResponse>(R"({"skills": []})"), DecodingError);

    auto skill = testing::fixture("ostrel-catalogue.json");
    skill.replace(skill.find(R"("id": 2)"), 7, R"("id": "2")");
    EXPECT_EQ(failurePath<OstrelSkillsResponse>(skill), "skills[1].id");
    auto camel = testing::fixture("ostrel-catalogue.json");
    camel.replace(camel.find("github_url"), 10, "githubUrl");
    EXPECT_EQ(failurePath<OstrelSkillsResponse>(camel), "skills[0].github_url");
}

TEST(OstrelRecords, IdentityAndEncoding) {
    const auto catalogue = decode<OstrelSkillsResponse>(testing::fixture("ostrel-catalogue.json"));
    auto renamed = catalogue.skills[0];
    renamed.name = "Renamed";
    EXPECT_EQ(renamed, catalogue.skills[0]);
    const auto text =
        platform::JSONEncoder(platform::JSONEncoder::sortedKeys).encode(catalogue.skills[2]);
    EXPECT_EQ(text.find("extra_member"), std::string::npos);
    EXPECT_EQ(text.find("license"), std::string::npos);
    EXPECT_NE(text.find(R"("long_description":)"), std::string::npos);
    EXPECT_EQ(decode<OstrelSkill>(text).slug, "charts");
}

TEST(JSONValueRecord, DecodesEachKindOnce) {
    const auto value = [](std::string_view json) { return decode<JSONValue>(json); };
    EXPECT_EQ(value("1"), value("1.0"));
    EXPECT_EQ(value("1"), value("1e0"));
    EXPECT_EQ(value("-0"), value("0"));
    EXPECT_EQ(value("true"), JSONValue::boolean(true));
    EXPECT_EQ(value("0"), JSONValue::number(0));
    EXPECT_NE(value("1"), value("true"));
    EXPECT_NE(value("1"), value(R"("1")"));
    EXPECT_NE(value("null"), value("{}"));
    EXPECT_NE(value("{}"), value("[]"));
    EXPECT_NE(value("null"), value("[]"));
    EXPECT_EQ(value(R"({"a":1,"b":[2,3]})"), value(R"({"b":[2,3],"a":1})"));
    EXPECT_NE(value("[2,3]"), value("[3,2]"));
    EXPECT_NE(value(R"({"a":1})"), value(R"({"a":1,"b":2})"));
    EXPECT_EQ(value(R"("caf\u00e9")"), value(R"("cafe\u0301")"));
    EXPECT_EQ(value(R"({"caf\u00e9":1})"), value(R"({"cafe\u0301":1})"));
    EXPECT_NE(value(R"({"caf\u00e9":1})"), value(R"({"cafe\u0301":2})"));
    EXPECT_EQ(value(R"({"K":1})"), value(R"({"\u212a":1})")); // the Kelvin sign is a K
    EXPECT_NE(JSONValue::number(std::nan("")), JSONValue::number(std::nan("")));
}

TEST(Enumerations, EveryCaseInOrderHashedByItsRawValue) {
    std::vector<std::string> sorts;
    for (const SkillSort sort : SkillSort::allCases()) {
        sorts.push_back(sort.id());
    }
    EXPECT_EQ(sorts, (std::vector<std::string>{"trending", "stars", "updated", "downloads"}));
    std::vector<std::string_view> providers;
    for (const SkillProvider provider : SkillProvider::allCases()) {
        providers.push_back(provider.rawValue());
    }
    EXPECT_EQ(providers, (std::vector<std::string_view>{"claude", "openAI", "openClaw"}));

    EXPECT_EQ(std::hash<SkillSort>{}(SkillSort::stars), std::hash<std::string_view>{}("stars"));
    EXPECT_EQ(std::unordered_set<SidebarSection>(SidebarSection::allCases().begin(),
                                                 SidebarSection::allCases().end())
                  .size(),
              3u);
    // Sections are never stored or sent, so they have no coded form.
    static_assert(!platform::JSONSelfDecodable<SidebarSection>);
    static_assert(platform::JSONSelfDecodable<SkillSort>);
}

TEST(Enumerations, CodeAsTheirRawValues) {
    EXPECT_EQ(platform::JSONEncoder{}.encode(SkillProvider(SkillProvider::openAI)), R"("openAI")");
    EXPECT_EQ(decode<SkillSort>(R"("stars")"), SkillSort(SkillSort::stars));
    try {
        (void)decode<SkillProvider>(R"("openai")");
        FAIL() << "a word in other capitals names no provider";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted);
    }
    try {
        (void)decode<SkillSort>("1");
        FAIL() << "a number is not a sort";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::typeMismatch);
    }
}

TEST(SkillSelectionIdentity, PrefixesKeepTheCatalogsApart) {
    auto claw = decode<ClawHubSkill>(skillJSON("42"));
    auto ostrel = decode<OstrelSkillsResponse>(testing::fixture("ostrel-catalogue.json")).skills[0];
    ostrel.id = 42;
    EXPECT_EQ(SkillSelection::claw(claw).id(), "claw-42");
    EXPECT_EQ(SkillSelection::ostrel(ostrel).id(), "ostrel-42");
    EXPECT_NE(SkillSelection::claw(claw), SkillSelection::ostrel(ostrel));

    auto restated = claw;
    restated.summary = "changed";
    restated.stats.stars = 1;
    EXPECT_EQ(SkillSelection::claw(claw), SkillSelection::claw(restated));
    EXPECT_EQ(std::hash<SkillSelection>{}(SkillSelection::claw(claw)),
              std::hash<SkillSelection>{}(SkillSelection::claw(restated)));
}

} // namespace
} // namespace mossbarrow
