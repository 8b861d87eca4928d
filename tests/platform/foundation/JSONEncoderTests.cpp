#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using platform::JSONAny;
using platform::JSONEncoder;
using platform::JSONEncodingContainer;

namespace {

struct Repository {
    std::optional<std::string> type;
    std::optional<std::string> url;
    void encode(JSONEncodingContainer& c) const {
        c.encodeIfPresent("type", type);
        c.encodeIfPresent("url", url);
    }
};

struct Server {
    std::string name;
    std::optional<std::string> version;
    std::optional<Repository> repository;
    std::optional<std::vector<std::string>> packages;
    std::optional<std::map<std::string, JSONAny>> transport;
    std::int64_t count = 0;
    void encode(JSONEncodingContainer& c) const {
        c.encode("name", name);
        c.encodeIfPresent("version", version);
        c.encodeIfPresent("repository", repository);
        c.encodeIfPresent("packages", packages);
        c.encodeIfPresent("transport", transport);
        c.encode("count", count);
    }
};

const unsigned pretty = JSONEncoder::prettyPrinted | JSONEncoder::sortedKeys;

} // namespace

TEST(JSONEncoder, PrettyPrintedSortedLayout) {
    Server server;
    server.name = "io.github/weather";
    server.version = "1.2.0";
    server.repository = Repository{std::nullopt, "https://github.com/x/y"};
    server.packages = std::vector<std::string>{};
    server.transport = std::map<std::string, JSONAny>{
        {"type", JSONAny("stdio")},
        {"args", JSONAny(JSONAny::Array{JSONAny(1.0), JSONAny(2.5), JSONAny()})},
        {"env", JSONAny(JSONAny::Object{{"K", JSONAny()}})},
    };
    server.count = -9223372036854775807 - 1;
    EXPECT_EQ(JSONEncoder(pretty).encode(server),
              "{\n"
              "  \"count\" : -9223372036854775808,\n"
              "  \"name\" : \"io.github\\/weather\",\n"
              "  \"packages\" : [\n"
              "\n"
              "  ],\n"
              "  \"repository\" : {\n"
              "    \"url\" : \"https:\\/\\/github.com\\/x\\/y\"\n"
              "  },\n"
              "  \"transport\" : {\n"
              "    \"args\" : [\n"
              "      1,\n"
              "      2.5,\n"
              "      null\n"
              "    ],\n"
              "    \"env\" : {\n"
              "      \"K\" : null\n"
              "    },\n"
              "    \"type\" : \"stdio\"\n"
              "  },\n"
              "  \"version\" : \"1.2.0\"\n"
              "}");
}

TEST(JSONEncoder, CompactOutputKeepsWritingOrderAndLeavesAbsentOptionalsOut) {
    Server server;
    server.name = "a";
    EXPECT_EQ(JSONEncoder().encode(server), R"({"name":"a","count":0})");
    EXPECT_EQ(JSONEncoder(JSONEncoder::withoutEscapingSlashes).encode(std::string("a/b")),
              R"("a/b")");
    EXPECT_EQ(JSONEncoder(pretty).encode(JSONAny(JSONAny::Object{})), "{\n\n}");
}

TEST(JSONEncoder, SortedKeysCompareCaseInsensitivelyAndDigitRunsByValue) {
    const JSONAny::Object object{{"b", JSONAny(1.0)},     {"a10", JSONAny(1.0)},
                                 {"a2", JSONAny(1.0)},    {"B", JSONAny(1.0)},
                                 {"_meta", JSONAny(1.0)}, {"Zeta", JSONAny(1.0)},
                                 {"alpha", JSONAny(1.0)}};
    EXPECT_EQ(JSONEncoder(JSONEncoder::sortedKeys).encode(JSONAny(object)),
              R"({"_meta":1,"a2":1,"a10":1,"alpha":1,"B":1,"b":1,"Zeta":1})");
}

TEST(JSONEncoder, NumbersInShortestRoundTripForm) {
    const auto text = [](double d) { return JSONEncoder().encode(d); };
    EXPECT_EQ(text(1.0), "1");
    EXPECT_EQ(text(-0.0), "-0");
    EXPECT_EQ(text(0.1), "0.1");
    EXPECT_EQ(text(100000.0), "100000");
    EXPECT_EQ(text(123456789012.0), "123456789012");
    EXPECT_EQ(text(9007199254740991.0), "9007199254740991");
    EXPECT_EQ(text(1e16), "1e+16");
    EXPECT_EQ(text(1e20), "1e+20");
    EXPECT_EQ(text(0.0001), "0.0001");
    EXPECT_EQ(text(0.00001), "1e-05");
    EXPECT_EQ(text(-2.5e-7), "-2.5e-07");
    EXPECT_EQ(text(1.7976931348623157e308), "1.7976931348623157e+308");
    for (const double d : {0.1, 1.0 / 3.0, 2.0 / 3.0 * 1e10, 5e-324, 123.456e-3, 6.02214076e23}) {
        EXPECT_EQ(platform::JSONDecoder().decode<double>(text(d)), d) << text(d);
    }
    EXPECT_THROW((void)text(std::nan("")), platform::EncodingError);
    EXPECT_THROW((void)text(std::numeric_limits<double>::infinity()), platform::EncodingError);
    EXPECT_EQ(JSONEncoder().encode(std::int64_t{9223372036854775807}), "9223372036854775807");
}

TEST(JSONEncoder, EscapesStrings) {
    EXPECT_EQ(JSONEncoder().encode(std::string("q\"b\\s/n\nr\rt\tb\bf\f\x01\x1f\x7f\xc3\xa9")),
              R"("q\"b\\s\/n\nr\rt\tb\bf\f\u0001\u001f)"
              "\x7f\xc3\xa9\"");
}

TEST(JSONEncoder, DecodedValuesRoundTrip) {
    const std::string json =
        R"({"a":[1,2.5,-3e-09,true,false,null,"x\/y"],"b":{"c":{},"d":[]},"e":"é"})";
    const JSONAny value = platform::JSONDecoder().decode<JSONAny>(json);
    EXPECT_EQ(JSONEncoder(JSONEncoder::sortedKeys).encode(value), json);
    EXPECT_EQ(platform::JSONDecoder().decode<JSONAny>(JSONEncoder(pretty).encode(value)), value);
}
