#include "platform/appkit/Pasteboard.hpp"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

namespace {

class PasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_setenv("GSK_RENDERER", "cairo", FALSE); // no GL on the virtual display
        if (!gtk_init_check()) {
            GTEST_SKIP() << "no display";
        }
    }
};

TEST_F(PasteboardTest, HoldsExactlyTheLastStringWritten) {
    auto& board = platform::Pasteboard::general();
    board.clearContents();
    board.setString("openclaw skills install abc");
    EXPECT_EQ(board.string(), "openclaw skills install abc");

    const std::string multiline = "Skill: a\nProvider: b\nGitHub: ";
    board.clearContents();
    board.setString(multiline);
    EXPECT_EQ(board.string(), multiline);

    // Non-ASCII text survives the trip through the display.
    board.setString("OpenClaw 🦞 — ✓");
    EXPECT_EQ(board.string(), "OpenClaw 🦞 — ✓");
}

TEST_F(PasteboardTest, EmptyStringIsStillWritten) {
    auto& board = platform::Pasteboard::general();
    board.setString("something");
    const auto before = board.changeCount();
    board.clearContents();
    board.setString("");
    EXPECT_EQ(board.changeCount(), before + 2);
    EXPECT_EQ(board.string(), "");
}

TEST_F(PasteboardTest, ClearingLeavesNoText) {
    auto& board = platform::Pasteboard::general();
    board.setString("gone soon");
    board.clearContents();
    EXPECT_FALSE(board.string(std::chrono::milliseconds{500}).has_value());
}

} // namespace

namespace {

TEST_F(PasteboardTest, RepeatedClearAndWriteAlwaysLeavesTheNewText) {
    auto& board = platform::Pasteboard::general();
    for (int i = 0; i < 30; ++i) {
        const std::string text = "{\n  \"server\" : " + std::to_string(i) + std::string(400, 'x');
        board.clearContents();
        board.setString(text);
        ASSERT_EQ(board.string(), text) << "round " << i;
    }
}

} // namespace
