#include "Mossbarrow/FormatCount.hpp"
#include "Mossbarrow/SidebarSection.hpp"
#include "Mossbarrow/SkillProvider.hpp"
#include "Mossbarrow/SkillSort.hpp"

#include <gtest/gtest.h>
#include <limits>

namespace mossbarrow {
namespace {

TEST(FormatCount, ShortFormTable) {
    const std::pair<std::int64_t, const char*> table[] = {
        {0, "0"},
        {999, "999"},
        {-999, "-999"},
        {1000, "1K"},
        {1049, "1K"},
        {1250, "1.3K"},
        {15300, "15.3K"},
        {-1500, "-1.5K"},
        {999949, "999.9K"},
        {999950, "1000K"}, // the scale is chosen before rounding
        {1000000, "1M"},
        {2500000, "2.5M"},
        {1000000000, "1B"},
        {12333333333, "12.3B"},
        {std::numeric_limits<std::int64_t>::max(), "9223372036.9B"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036.9B"},
    };
    for (const auto& [value, expected] : table) {
        EXPECT_EQ(formatCount(value), expected) << value;
    }
}

TEST(Enumerations, RawValuesAreExactCaseNames) {
    EXPECT_EQ(SidebarSection::fromRawValue("mcpRegistry"),
              SidebarSection(SidebarSection::mcpRegistry));
    for (const char* wrong : {"MCPRegistry", "mcp_registry", "mcpregistry", ""}) {
        EXPECT_FALSE(SidebarSection::fromRawValue(wrong).has_value()) << wrong;
    }
    EXPECT_EQ(SkillSort::fromRawValue("downloads"), SkillSort(SkillSort::downloads));
    EXPECT_FALSE(SkillSort::fromRawValue("download").has_value());
    EXPECT_EQ(SkillProvider(SkillProvider::openAI).id(), "openAI");
    ASSERT_EQ(SkillSort::allCases().size(), 4u);
    EXPECT_EQ(SkillSort::allCases()[2].rawValue(), "updated");
    EXPECT_EQ(SidebarSection::allCases().back().rawValue(), "bookmarks");
}

} // namespace
} // namespace mossbarrow
