#include "platform/foundation/JSONDecoder.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <string>

using platform::DecodingError;
using platform::JSONAny;
using platform::JSONDecoder;
using platform::JSONDecodingContainer;

namespace {

struct Stats {
    std::int64_t stars = 0;
    std::int64_t downloads = 0;
    static Stats decode(const JSONDecodingContainer& c) {
        return {c.decode<std::int64_t>("stars"), c.decode<std::int64_t>("downloads")};
    }
};

struct Skill {
    std::string slug;
    std::optional<std::string> summary;
    Stats stats;
    static Skill decode(const JSONDecodingContainer& c) {
        return {c.decode<std::string>("slug"), c.decodeIfPresent<std::string>("summary"),
                c.decode<Stats>("stats")};
    }
};

struct Page {
    std::vector<Skill> items;
    std::optional<std::string> nextCursor;
    static Page decode(const JSONDecodingContainer& c) {
        return {c.decode<std::vector<Skill>>("items"),
                c.decodeIfPresent<std::string>("nextCursor")};
    }
};

struct Meta {
    std::optional<std::map<std::string, JSONAny>> meta;
    static Meta decode(const JSONDecodingContainer& c) {
        return {c.decodeIfPresent<std::map<std::string, JSONAny>>("_meta")};
    }
};

DecodingError decodeError(std::string_view json) {
    try {
        (void)JSONDecoder().decode<Page>(json);
    } catch (const DecodingError& error) {
        return error;
    }
    ADD_FAILURE() << "decoded without an error: " << json;
    return DecodingError(DecodingError::Kind::dataCorrupted, {}, "");
}

std::string page(std::string_view stats, std::string_view extra = "") {
    return std::string(R"({"items":[{"slug":"a","stats":{"stars":1,"downloads":2}},)") +
           R"({"slug":"b")" + std::string(extra) + R"(,"stats":)" + std::string(stats) + "}]}";
}

} // namespace

TEST(JSONDecoder, DecodesNestedRecordsIgnoringUnknownMembers) {
    const Page p = JSONDecoder().decode<Page>(
        R"({"items":[{"slug":"a","summary":"s","extra":[1,{"x":null}],"stats":{"stars":5,
            "downloads":-7,"more":true}}],"nextCursor":"c1","other":{}})");
    ASSERT_EQ(p.items.size(), 1U);
    EXPECT_EQ(p.items[0].slug, "a");
    EXPECT_EQ(p.items[0].summary, "s");
    EXPECT_EQ(p.items[0].stats.stars, 5);
    EXPECT_EQ(p.items[0].stats.downloads, -7);
    EXPECT_EQ(p.nextCursor, "c1");
}

TEST(JSONDecoder, OptionalMissingOrNullIsAbsentButEmptyTextStays) {
    const Page p = JSONDecoder().decode<Page>(
        R"({"items":[{"slug":"a","summary":null,"stats":{"stars":1,"downloads":2}},
                     {"slug":"b","summary":"","stats":{"stars":1,"downloads":2}}],
            "nextCursor":null})");
    EXPECT_FALSE(p.items[0].summary.has_value());
    EXPECT_EQ(p.items[1].summary, "");
    EXPECT_FALSE(p.nextCursor.has_value());
    EXPECT_TRUE(JSONDecoder().decode<Page>(R"({"items":[]})").items.empty());
}

TEST(JSONDecoder, RequiredMemberMissingNullOrWrongKindFailsTheWholeReply) {
    const DecodingError missing = decodeError(page(R"({"stars":1})"));
    EXPECT_EQ(missing.kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(platform::codingPathDescription(missing.codingPath()), "items[1].stats");
    EXPECT_EQ(missing.key()->stringValue, "downloads");
    EXPECT_EQ(missing.localizedDescription(), "The data couldn’t be read because it is missing.");

    const DecodingError null = decodeError(page(R"({"stars":null,"downloads":1})"));
    EXPECT_EQ(null.kind(), DecodingError::Kind::valueNotFound);
    EXPECT_EQ(platform::codingPathDescription(null.codingPath()), "items[1].stats.stars");

    const DecodingError wrong = decodeError(page(R"({"stars":"42","downloads":1})"));
    EXPECT_EQ(wrong.kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(platform::codingPathDescription(wrong.codingPath()), "items[1].stats.stars");
    EXPECT_EQ(wrong.localizedDescription(),
              "The data couldn’t be read because it isn’t in the correct format.");

    EXPECT_EQ(decodeError(page("null")).kind(), DecodingError::Kind::valueNotFound);
    EXPECT_EQ(decodeError(page("[]")).kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(decodeError(page(R"({"stars":1,"downloads":2})", R"(,"summary":7)")).kind(),
              DecodingError::Kind::typeMismatch);
    EXPECT_EQ(decodeError(R"({"items":{}})").kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(decodeError(R"([])").kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(decodeError(R"({"items":[true]})").kind(), DecodingError::Kind::typeMismatch);
}

TEST(JSONDecoder, IntegersAreExactSigned64Bit) {
    const auto stars = [](std::string_view number) {
        return JSONDecoder()
            .decode<Page>(
                page(std::string(R"({"downloads":0,"stars":)") + std::string(number) + "}"))
            .items[1]
            .stats.stars;
    };
    EXPECT_EQ(stars("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(stars("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(stars("0"), 0);
    EXPECT_EQ(stars("-0"), 0);
    EXPECT_EQ(stars("1.0"), 1); // an integer written with a fraction
    EXPECT_EQ(stars("1e3"), 1000);

    for (const char* bad : {"1.5", "9223372036854775808", "-9223372036854775809",
                            "18446744073709551616", "1e19", "-1e300", "0.1"}) {
        const DecodingError error =
            decodeError(page(std::string(R"({"downloads":0,"stars":)") + bad + "}"));
        EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted) << bad;
        EXPECT_EQ(platform::codingPathDescription(error.codingPath()), "items[1].stats.stars")
            << bad;
    }
    for (const char* bad : {R"("42")", "true", "[1]", "{}"}) {
        EXPECT_EQ(decodeError(page(std::string(R"({"downloads":0,"stars":)") + bad + "}")).kind(),
                  DecodingError::Kind::typeMismatch)
            << bad;
    }
}

TEST(JSONDecoder, NothingIsCoerced) {
    const JSONDecoder decoder;
    EXPECT_THROW((void)decoder.decode<bool>("1"), DecodingError);
    EXPECT_THROW((void)decoder.decode<bool>("\"true\""), DecodingError);
    EXPECT_THROW((void)decoder.decode<double>("true"), DecodingError);
    EXPECT_THROW((void)decoder.decode<std::string>("12"), DecodingError);
    EXPECT_THROW((void)decoder.decode<std::int64_t>("\"12\""), DecodingError);
    EXPECT_EQ(decoder.decode<double>("12"), 12.0);
    EXPECT_EQ(decoder.decode<double>("18446744073709551615"), 18446744073709551615.0);
    EXPECT_EQ(decoder.decode<std::string>(R"("a\u00e9\/\n")"), "a\u00e9/\n");
    EXPECT_EQ(decoder.decode<std::vector<std::optional<std::int64_t>>>("[1,null]"),
              (std::vector<std::optional<std::int64_t>>{1, std::nullopt}));
}

TEST(JSONDecoder, FreeFormValues) {
    const Meta m = JSONDecoder().decode<Meta>(
        R"({"_meta":{"n":1,"f":1.5,"e":1e0,"b":true,"z":0,"s":"x","a":[null,{}],"o":{"k":[]}}})");
    ASSERT_TRUE(m.meta.has_value());
    const auto& meta = *m.meta;
    EXPECT_EQ(meta.at("n"), JSONAny(1.0));
    EXPECT_EQ(meta.at("e"), meta.at("n"));
    EXPECT_EQ(meta.at("f"), JSONAny(1.5));
    EXPECT_EQ(meta.at("b"), JSONAny(true));
    EXPECT_NE(meta.at("z"), JSONAny(false));
    EXPECT_EQ(meta.at("s"), JSONAny("x"));
    EXPECT_EQ(meta.at("a"), JSONAny(JSONAny::Array{JSONAny(), JSONAny(JSONAny::Object{})}));
    EXPECT_EQ(meta.at("o").objectValue()->at("k"), JSONAny(JSONAny::Array{}));

    EXPECT_FALSE(JSONDecoder().decode<Meta>(R"({"_meta":null})").meta.has_value());
    EXPECT_FALSE(JSONDecoder().decode<Meta>(R"({})").meta.has_value());
    EXPECT_TRUE(JSONDecoder().decode<Meta>(R"({"_meta":{}})").meta->empty());
    EXPECT_THROW((void)JSONDecoder().decode<Meta>(R"({"_meta":[]})"), DecodingError);
    EXPECT_EQ(JSONDecoder().decode<JSONAny>("null"), JSONAny());
}

TEST(JSONDecoder, MalformedTruncatedAndDeepInputFailsCleanly) {
    for (const char* bad :
         {"", " ", "{", R"({"items":[)",
          R"({"items":[]})"
          "x",
          "[1,]", R"({"a":1,})", "nul", R"({"items":"\x"})", "\xff", R"("\ud800")", "{'a':1}", "01",
          "1.", "-", "[1 2]", "NaN", "Infinity"}) {
        try {
            (void)JSONDecoder().decode<JSONAny>(bad);
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const DecodingError& error) {
            EXPECT_EQ(error.kind(), DecodingError::Kind::dataCorrupted) << bad;
        }
    }
    for (const std::size_t depth : {std::size_t{600}, std::size_t{10000}, std::size_t{100000}}) {
        const std::string deepArrays = std::string(depth, '[') + std::string(depth, ']');
        EXPECT_THROW((void)JSONDecoder().decode<JSONAny>(deepArrays), DecodingError);
        std::string deepObjects;
        for (std::size_t i = 0; i < depth; ++i) {
            deepObjects += R"({"a":)";
        }
        deepObjects += "1" + std::string(depth, '}');
        EXPECT_THROW((void)JSONDecoder().decode<JSONAny>(deepObjects), DecodingError);
    }
    // An empty body often arrives as a view with no storage at all.
    EXPECT_THROW((void)JSONDecoder().decode<JSONAny>(std::string_view{}), DecodingError);
    const std::string nested = std::string(500, '[') + std::string(500, ']');
    EXPECT_NO_THROW((void)JSONDecoder().decode<JSONAny>(nested));
}

TEST(JSONDecoder, LongIntegersReadAsDoublesInFreeFormValuesOnly) {
    const Meta m = JSONDecoder().decode<Meta>(
        R"({"_meta":{"big":123456789012345678901234567890,"neg":-99999999999999999999,)"
        R"("s":"123456789012345678901234567890"}})");
    EXPECT_EQ(m.meta->at("big"), JSONAny(1.2345678901234568e29));
    EXPECT_EQ(m.meta->at("neg"), JSONAny(-1e20));
    EXPECT_EQ(m.meta->at("s"), JSONAny("123456789012345678901234567890")); // strings untouched
    EXPECT_EQ(decodeError(page(R"({"downloads":0,"stars":123456789012345678901234567890})")).kind(),
              DecodingError::Kind::dataCorrupted);
}

TEST(JSONDecoder, WideningLongIntegersLeavesStringsAndOtherNumbersAlone) {
    struct Mixed {
        std::string text;
        std::string other;
        JSONAny numbers;
        static Mixed decode(const JSONDecodingContainer& c) {
            return {c.decode<std::string>("text"), c.decode<std::string>("other"),
                    c.decode<JSONAny>("numbers")};
        }
    };
    // The long integer sends the document through the widening pass; the texts and the other
    // numbers must come out of it as they went in.
    const Mixed m = JSONDecoder().decode<Mixed>(
        R"({"big":123456789012345678901234567890,)"
        R"("text":"say \"123456789012345678901234567890\" twice \\",)"
        R"("other":"\\\"99999999999999999999999",)"
        R"("numbers":[0.123456789012345678901234567890,-2E-00000000000000000000001]})");
    EXPECT_EQ(m.text, R"(say "123456789012345678901234567890" twice \)");
    EXPECT_EQ(m.other, R"(\"99999999999999999999999)");
    EXPECT_EQ(m.numbers, JSONAny(JSONAny::Array{JSONAny(0.12345678901234568), JSONAny(-0.2)}));
}

TEST(JSONDecoder, MapsDuplicateMembersAndDepthLimit) {
    using Counts = std::map<std::string, std::int64_t>;
    const JSONDecoder decoder;
    EXPECT_EQ(decoder.decode<Counts>(R"({"a":1,"b":2,"a":3})"), (Counts{{"a", 3}, {"b", 2}}));
    EXPECT_EQ(decoder.decode<Stats>(R"({"stars":1,"downloads":2,"stars":5})").stars, 5);
    try {
        (void)decoder.decode<std::map<std::string, Counts>>(R"({"x":{"k":1},"y":{"k":"2"}})");
        ADD_FAILURE();
    } catch (const DecodingError& error) {
        EXPECT_EQ(platform::codingPathDescription(error.codingPath()), "y.k");
    }

    JSONDecoder shallow;
    shallow.maximumDepth = 3;
    EXPECT_NO_THROW((void)shallow.decode<JSONAny>("[[[1]]]"));
    EXPECT_THROW((void)shallow.decode<JSONAny>("[[[[1]]]]"), DecodingError);
}

TEST(JSONDecoder, ExactIntegersSurviveBesideLongOnes) {
    struct Mixed {
        std::int64_t exact = 0;
        std::int64_t smallest = 0;
        JSONAny big;
        static Mixed decode(const JSONDecodingContainer& c) {
            return {c.decode<std::int64_t>("exact"), c.decode<std::int64_t>("smallest"),
                    c.decode<JSONAny>("big")};
        }
    };
    const Mixed m = JSONDecoder().decode<Mixed>(
        R"({"exact":9223372036854775807,"smallest":-9223372036854775808,)"
        R"("big":[18446744073709551616,-9223372036854775809,18446744073709551615]})");
    EXPECT_EQ(m.exact, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(m.smallest, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(m.big, JSONAny(JSONAny::Array{JSONAny(18446744073709551616.0),
                                            JSONAny(-9223372036854775809.0),
                                            JSONAny(18446744073709551615.0)}));
}
