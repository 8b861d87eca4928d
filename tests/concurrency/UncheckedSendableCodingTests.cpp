#include "concurrency/UncheckedSendableCoding.hpp"
#include "platform/foundation/DecodingError.hpp"

#include <gtest/gtest.h>

using concurrency::UncheckedSendable;
using platform::JSONDecoder;
using platform::JSONEncoder;

namespace {

// A value that only reads and writes itself as an object.
struct Point {
    std::int64_t x = 0;
    std::int64_t y = 0;

    static Point decode(const platform::JSONDecodingContainer& c) {
        return Point{c.decode<std::int64_t>("x"), c.decode<std::int64_t>("y")};
    }
    void encode(platform::JSONEncodingContainer& c) const {
        c.encode("x", x);
        c.encode("y", y);
    }
};

} // namespace

TEST(UncheckedSendableCoding, WrapsItsValueWithoutAnObjectAroundIt) {
    EXPECT_EQ(JSONEncoder().encode(UncheckedSendable<std::int64_t>(42)), "42");
    EXPECT_EQ(JSONDecoder().decode<UncheckedSendable<std::int64_t>>("42").value, 42);

    const auto point = JSONDecoder().decode<UncheckedSendable<Point>>(R"({"x":1,"y":-2})");
    EXPECT_EQ(point.value.x, 1);
    EXPECT_EQ(point.value.y, -2);
    EXPECT_EQ(JSONEncoder().encode(UncheckedSendable<Point>(Point{3, 4})), R"({"x":3,"y":4})");
}

TEST(UncheckedSendableCoding, ErrorsOfTheWrappedValuePropagate) {
    EXPECT_THROW((void)JSONDecoder().decode<UncheckedSendable<std::int64_t>>(R"("42")"),
                 platform::DecodingError);
    EXPECT_THROW((void)JSONDecoder().decode<UncheckedSendable<Point>>(R"({"x":1})"),
                 platform::DecodingError);
}
