// Handing rendered text to other programs: both forms by type, in the order they are offered,
// from one document tree, and nothing for a type that is not offered. (That the tree is built once
// whatever thread asks is the formatter's own test.)

#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/export/TransferableText.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "tests/Vellum/export/FormatterTestSupport.hpp"

#include <gtest/gtest.h>
namespace {

using platform::AttributedString;
using vellum::TransferableText;

AttributedString markdown(std::string_view text) {
    return vellum::AttributedStringMarkdownParser::markdown().attributedString(text);
}

struct Answer {
    int calls = 0;
    std::optional<std::string> text;
};

Answer request(const TransferableText& transferable, std::string_view type) {
    Answer answer;
    transferable.loadData(type, [&answer](std::optional<platform::Data> data) {
        ++answer.calls;
        if (data) {
            answer.text = platform::stringFromData(*data);
        }
    });
    return answer;
}

TEST(FormatterTransferTest, OffersPlainTextThenHTMLAndNothingElse) {
    EXPECT_EQ(TransferableText::writableTypeIdentifiers(),
              (std::vector<std::string>{"text/plain;charset=utf-8", "text/html"}));

    const TransferableText transferable(markdown("A *b*\n\n- c\n"));
    const Answer plain = request(transferable, TransferableText::plainTextType);
    EXPECT_EQ(plain.calls, 1);
    EXPECT_EQ(plain.text, "A b\n\n  \xE2\x80\xA2 c");
    const Answer html = request(transferable, TransferableText::htmlType);
    EXPECT_EQ(html.calls, 1);
    EXPECT_EQ(html.text, "<p>A <em>b</em></p>\n<ul>\n<li>c</li>\n</ul>");
    EXPECT_EQ(transferable.formatter().buildCount(), 1);

    for (const char* other : {"text/rtf", "text/uri-list", "text/plain", "TEXT/HTML", ""}) {
        const Answer answer = request(transferable, other);
        EXPECT_EQ(answer.calls, 1) << other;
        EXPECT_FALSE(answer.text.has_value()) << other;
    }
}

TEST(FormatterTransferTest, CopyAndShareGetBothFormsOfTheSameText) {
    AttributedString text = markdown("Look ");
    // A picture with PNG data: its text form in the plain text, an image in the HTML.
    platform::AttributeContainer attributes = text.runs()[0].attributes;
    vellum::setAttachment(attributes, vellum::AnyAttachment(vellum::testing::PictureAttachment(
                                          "cat", platform::Data{'P', 'N', 'G'})));
    text.append("\xEF\xBF\xBC", attributes);
    const TransferableText transferable(text);
    const platform::SharedText shared = transferable.sharedText();
    EXPECT_EQ(shared.plainText, "Look:cat:");
    EXPECT_EQ(shared.html, "<p>Look<img src=\"data:image/png;base64,UE5H\" /></p>");
    EXPECT_EQ(transferable.formatter().buildCount(), 1);

    const TransferableText empty{AttributedString()};
    EXPECT_EQ(empty.sharedText().plainText, "");
    EXPECT_EQ(empty.sharedText().html, "<p></p>");
}

} // namespace
