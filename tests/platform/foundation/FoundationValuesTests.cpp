#include "platform/foundation/Date.hpp"
#include "platform/foundation/DecodingError.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/UUID.hpp"

#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <stdexcept>
#include <thread>

namespace {

enum class SampleErrorCase { first, second };

class SampleError : public platform::Error {
public:
    explicit SampleError(SampleErrorCase c)
        : case_(c) {}
    std::string localizedDescription() const override {
        return platform::genericErrorDescription("Mossbarrow.SampleError", static_cast<int>(case_));
    }

private:
    SampleErrorCase case_;
};

struct FakeCancellation : std::exception {
    const char* what() const noexcept override { return "CancellationError()"; }
};

} // namespace

TEST(UUID, RandomVersion4InUpperCaseHyphenatedForm) {
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const platform::UUID uuid;
        const std::string text = uuid.uuidString();
        EXPECT_TRUE(std::regex_match(text, form)) << text;
        EXPECT_EQ(platform::UUID::fromString(text), uuid);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200U);
    const auto parsed = platform::UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    for (const char* bad :
         {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",
          "E621E1F8-C36C-495A-93FC0-C247A3E6E5F"}) {
        EXPECT_FALSE(platform::UUID::fromString(bad).has_value()) << bad;
    }
}

TEST(Date, NowIsOrderedAndConvertsToSeconds) {
    const platform::Date first;
    const platform::Date second = platform::Date::now();
    EXPECT_LE(first, second);
    EXPECT_GE(second.timeIntervalSince(first), 0.0);
    const auto date = platform::Date::fromTimeIntervalSince1970(1700000000.5);
    EXPECT_DOUBLE_EQ(date.timeIntervalSince1970(), 1700000000.5);
}

TEST(Error, LocalizedDescriptions) {
    EXPECT_EQ(platform::genericErrorDescription("Mossbarrow.APIClientError", 0),
              "The operation couldn’t be completed. (Mossbarrow.APIClientError error 0.)");
    const auto describe = [](auto error) {
        return platform::localizedDescription(std::make_exception_ptr(error));
    };
    EXPECT_EQ(describe(SampleError(SampleErrorCase::second)),
              "The operation couldn’t be completed. (Mossbarrow.SampleError error 1.)");
    EXPECT_EQ(describe(FakeCancellation()),
              "The operation couldn’t be completed. (Swift.CancellationError error 1.)");
    EXPECT_EQ(describe(std::runtime_error("disk full")), "disk full");
    EXPECT_EQ(describe(42), "The operation couldn’t be completed.");
    EXPECT_EQ(platform::localizedDescription(nullptr), "");
    EXPECT_STREQ(SampleError(SampleErrorCase::first).what(),
                 "The operation couldn’t be completed. (Mossbarrow.SampleError error 0.)");
    EXPECT_EQ(describe(platform::DecodingError(platform::DecodingError::Kind::keyNotFound, {}, "")),
              "The data couldn’t be read because it is missing.");
}
