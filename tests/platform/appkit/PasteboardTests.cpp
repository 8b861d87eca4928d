#include "platform/appkit/Pasteboard.hpp"
#include "platform/appkit/PasteboardInternal.hpp"
#include "tests/support/ClipboardReader.hpp"
#include "tests/support/MainLoopWait.hpp"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::PasteboardType;
namespace internal = platform::pasteboard_internal;

// How long a read waits for the clipboard's owner to answer. Owners here answer at once (with
// the content, or with a refusal), so only a hang comes near it.
constexpr auto answer = moss_test::hangDeadline;

class PasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_setenv("GSK_RENDERER", "cairo", FALSE); // no GL on the virtual display
        if (!gtk_init_check()) {
            GTEST_SKIP() << "no display";
        }
    }
};

bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST_F(PasteboardTest, HoldsExactlyTheLastStringWritten) {
    auto& board = platform::Pasteboard::general();
    board.clearContents();
    board.setString("openclaw skills install abc");
    EXPECT_EQ(board.string(answer), "openclaw skills install abc");

    const std::string multiline = "Skill: a\nProvider: b\nGitHub: ";
    board.clearContents();
    board.setString(multiline);
    EXPECT_EQ(board.string(answer), multiline);

    // Non-ASCII text survives the trip through the display.
    board.setString("OpenClaw 🦞 — ✓");
    EXPECT_EQ(board.string(answer), "OpenClaw 🦞 — ✓");
}

TEST_F(PasteboardTest, EmptyStringIsStillWritten) {
    auto& board = platform::Pasteboard::general();
    board.setString("something");
    const auto before = board.changeCount();
    board.clearContents();
    board.setString("");
    EXPECT_EQ(board.changeCount(), before + 2);
    EXPECT_EQ(board.string(answer), "");
}

TEST_F(PasteboardTest, ClearingLeavesNoText) {
    auto& board = platform::Pasteboard::general();
    board.setString("gone soon");
    board.clearContents();
    EXPECT_FALSE(board.string(answer).has_value());
}

TEST_F(PasteboardTest, RepeatedClearAndWriteAlwaysLeavesTheNewText) {
    auto& board = platform::Pasteboard::general();
    for (int i = 0; i < 30; ++i) {
        const std::string text = "{\n  \"server\" : " + std::to_string(i) + std::string(400, 'x');
        board.clearContents();
        board.setString(text);
        ASSERT_EQ(board.string(answer), text) << "round " << i;
    }
}

TEST_F(PasteboardTest, OneCopyOffersPlainTextAndHTMLToAnotherProgram) {
    const moss_test::ClipboardReader other;
    ASSERT_TRUE(other.connected());
    auto& board = platform::Pasteboard::general();
    const std::string plain = "Größe — 5 µm\n\n• one";
    const std::string html = "<p>Größe — 5 <em>µm</em></p>\n<ul><li>one</li></ul>";
    board.clearContents();
    board.setPlainTextAndHTML(plain, html);

    const auto formats = other.formatsOffering("text/html");
    EXPECT_TRUE(contains(formats, "text/html"));
    EXPECT_TRUE(contains(formats, "text/plain;charset=utf-8"));
    EXPECT_TRUE(contains(formats, "text/plain"));

    // The other program asks for either form of the same copy, as often as it likes.
    EXPECT_EQ(other.data("text/html", 1 << 20), html);
    EXPECT_EQ(other.data("text/plain;charset=utf-8", 1 << 20), plain);
    EXPECT_EQ(other.data("text/plain", 1 << 20), plain);
    EXPECT_EQ(other.plainText(), plain);
    EXPECT_EQ(other.data("text/html", 1 << 20), html);

    // So does the writer itself.
    EXPECT_EQ(board.string(PasteboardType::html, answer), html);
    EXPECT_EQ(board.string(PasteboardType::string, answer), plain);
    EXPECT_EQ(board.string(answer), plain);
}

TEST_F(PasteboardTest, APlainWriteOrAClearDropsTheHTMLOfTheCopyBefore) {
    auto& board = platform::Pasteboard::general();
    board.setPlainTextAndHTML("old", "<p>old</p>");
    board.setString("new ✓");
    EXPECT_EQ(board.string(answer), "new ✓");
    EXPECT_FALSE(board.string(PasteboardType::html, answer).has_value());

    board.setPlainTextAndHTML("old", "<p>old</p>");
    board.clearContents();
    EXPECT_FALSE(board.string(PasteboardType::html, answer).has_value());
    EXPECT_FALSE(board.string(answer).has_value());
}

TEST_F(PasteboardTest, APlainStringReachesAnotherProgramInEveryTextForm) {
    const moss_test::ClipboardReader other;
    ASSERT_TRUE(other.connected());
    auto& board = platform::Pasteboard::general();
    board.clearContents();
    board.setString("OpenClaw 🦞 — ✓");
    EXPECT_FALSE(other.formatsOffering("text/plain").empty());
    for (const char* form : {"text/plain", "text/plain;charset=utf-8", "UTF8_STRING"}) {
        EXPECT_EQ(other.data(form, 1 << 20), "OpenClaw 🦞 — ✓") << form;
    }
    EXPECT_FALSE(other.data("text/html", 1 << 20));
}

TEST_F(PasteboardTest, ReadsHTMLThatAnotherProgramWroteInUTF16) {
    const moss_test::ClipboardReader other;
    ASSERT_TRUE(other.connected());
    // "<b>é</b>" as UTF-16 little-endian with its byte-order mark and a closing NUL, the way
    // some browsers put HTML on the clipboard.
    const std::string utf16{"\xff\xfe<\0b\0>\0\xe9\0<\0/\0b\0>\0\0\0", 20};
    GBytes* const bytes = g_bytes_new(utf16.data(), utf16.size());
    GdkContentProvider* const provider = gdk_content_provider_new_for_bytes("text/html", bytes);
    g_bytes_unref(bytes);
    gdk_clipboard_set_content(other.clipboard(), provider);
    g_object_unref(provider);

    auto& board = platform::Pasteboard::general();
    std::optional<std::string> html;
    // The new owner's announcement reaches this client through the server; until then a read
    // is answered from what this client believes the clipboard holds.
    moss_test::waitUntil([&] {
        html = board.string(PasteboardType::html, answer);
        return html == "<b>é</b>";
    });
    EXPECT_EQ(html, "<b>é</b>");
}

TEST(PasteboardDecodingTest, MakesUTF8OfWhatProgramsWrite) {
    EXPECT_EQ(internal::decodeText("plain"), "plain");
    EXPECT_EQ(internal::decodeText(std::string{"tail\0\0", 6}), "tail");
    EXPECT_EQ(internal::decodeText("\xef\xbb\xbf<p>x</p>"), "<p>x</p>");
    EXPECT_EQ(internal::decodeText(std::string{"\xfe\xff\0<\0\xe9\0>", 8}), "<é>");
    EXPECT_EQ(internal::decodeText(std::string{"\xff\xfe\x3d\xd8\x80\xde", 6}), "🚀");
    // Bytes that are no text at all come back as valid UTF-8, never as they are.
    const std::string broken = internal::decodeText("a\xc3(b\xff");
    EXPECT_TRUE(g_utf8_validate(broken.data(), static_cast<gssize>(broken.size()), nullptr));
    EXPECT_EQ(broken.front(), 'a');
    // An odd UTF-16 byte count is a broken copy, not a crash.
    const std::string odd = internal::decodeText(std::string{"\xff\xfe<\0b", 5});
    EXPECT_TRUE(g_utf8_validate(odd.data(), static_cast<gssize>(odd.size()), nullptr));
}

TEST_F(PasteboardTest, ContentLargerThanTheLimitIsNotRead) {
    auto& board = platform::Pasteboard::general();
    const std::string html(300 * 1024, 'h');
    board.setPlainTextAndHTML("small", html);
    const moss_test::ClipboardReader other;
    ASSERT_TRUE(other.connected());
    EXPECT_FALSE(other.formatsOffering("text/html").empty());
    EXPECT_FALSE(other.data("text/html", 256 * 1024).has_value());
    EXPECT_EQ(other.data("text/html", 512 * 1024), html);
}

} // namespace
