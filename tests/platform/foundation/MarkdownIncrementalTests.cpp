#include "platform/foundation/IncrementalMarkdown.hpp"
#include "platform/foundation/Markdown.hpp"
#include "tests/support/RandomEdit.hpp"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <string_view>

namespace {

using platform::AttributedString;
using platform::IncrementalMarkdown;
using platform::MarkdownParsingOptions;

// Every kind of block, and the ways blocks reach into each other: lazy continuation, lists that
// go on after blank lines, fences, indented code, setext underlines, tables, HTML.
const std::string document = R"(# Title

A paragraph with *emphasis*, **strong** text, `code`, a [link](https://example.com/a) and
an image ![alt](pic.png). It goes on
over three lines.

Setext heading
--------------

> A quote with a paragraph
lazily continued.
>
> - a list in the quote
> - second item

- item one
- item two

  continued after a blank line

  1. nested ordered
  2. second
- item three

3. starts at three
4. four

```cpp
int main() {

    return 0;
}
```

    indented code

    after a blank line

| Left | Center | Right |
|:-----|:------:|------:|
| a    | b      | c     |
| d    | **e**  | f     |

Formula $x^2 + y$ inline, and on display:

$$
\frac{a}{b}
$$

<div>
an HTML block
</div>

***

~~~
tilde fence
~~~

Last paragraph with ~~strike~~ and a hard  
break.
)";

// The first run where two texts part, for a failure message.
std::string firstDifference(const AttributedString& a, const AttributedString& b) {
    const AttributedString::Runs runsA = a.runs();
    const AttributedString::Runs runsB = b.runs();
    for (std::size_t i = 0; i < std::max(runsA.size(), runsB.size()); ++i) {
        const std::string left =
            i < runsA.size() ? AttributedString(a[runsA[i].range]).description() : "";
        const std::string right =
            i < runsB.size() ? AttributedString(b[runsB[i].range]).description() : "";
        if (left != right) {
            return "run " + std::to_string(i) + ":\n" + left + "\nwhere a whole parse has\n" +
                   right;
        }
    }
    return "none";
}

AttributedString whole(std::string_view markdown) {
    return platform::parseMarkdown(markdown);
}

AttributedString incremental(IncrementalMarkdown& parser, std::string_view markdown) {
    return parser.parse(markdown, {}, std::nullopt, {}, [](AttributedString text) { return text; });
}

// Random single edits, each compared with a parse of the whole text: the same characters, runs,
// intents and identities. The edits walk away from the document and come back to it now and then.
TEST(IncrementalMarkdown, EveryEditEqualsAWholeParse) {
    constexpr std::string_view characters = "\n\n\n#*`->|$ ab1.[]:~=<\t_";
    std::mt19937 random(20261207);
    IncrementalMarkdown parser;
    std::string text = document;
    ASSERT_EQ(incremental(parser, text), whole(text));
    int incrementalParses = 0;
    for (int step = 0; step < 4000; ++step) {
        if (step % 200 == 0) {
            text = document;
        }
        const std::size_t at = random() % (text.size() + 1);
        const char character = characters[random() % characters.size()];
        const std::string before = text;
        moss_test::editOneCharacter(text, at, character, static_cast<unsigned>(random() % 3));
        const AttributedString parsed = incremental(parser, text);
        incrementalParses += parser.statistics().incremental ? 1 : 0;
        const AttributedString expected = whole(text);
        ASSERT_EQ(parsed, expected) << "step " << step << " at " << at << ", before:\n"
                                    << before << "\nafter:\n"
                                    << text << "\n"
                                    << firstDifference(parsed, expected);
    }
    // Most edits are parsed in part, or the comparison above proves little.
    EXPECT_GT(incrementalParses, 2000);
}

TEST(IncrementalMarkdown, ParsesOnlyTheChangedBlocks) {
    std::string text;
    for (int i = 0; i < 50; ++i) {
        text += "Paragraph number " + std::to_string(i) + " with some words.\n\n";
    }
    IncrementalMarkdown parser;
    (void)incremental(parser, text);
    EXPECT_EQ(parser.statistics().parsedBytes, text.size());

    // One letter in one paragraph: that paragraph and its blank line.
    const std::size_t at = text.find("number 25");
    text[at] = 'N';
    EXPECT_EQ(incremental(parser, text), whole(text));
    EXPECT_TRUE(parser.statistics().incremental);
    EXPECT_EQ(parser.statistics().parsedBytes,
              std::string_view("Paragraph Number 25 with some words.\n\n").size());

    // Splitting it in two renumbers every block after it, as a whole parse does.
    text.insert(text.find(" with", at), "\n\n");
    EXPECT_EQ(incremental(parser, text), whole(text));
    EXPECT_TRUE(parser.statistics().incremental);
    EXPECT_LT(parser.statistics().parsedBytes, 80U);
}

TEST(IncrementalMarkdown, ParsesWholeWhereBlocksReachFar) {
    const std::string list = "Intro.\n\n- one\n- two\n\n  more of two\n\nAfter.\n\nEnd.\n";
    IncrementalMarkdown parser;
    (void)incremental(parser, list);

    // An edit in a list re-parses the whole list, which a blank line does not end.
    std::string edited = list;
    edited[edited.find("one")] = 'O';
    EXPECT_EQ(incremental(parser, edited), whole(edited));
    EXPECT_TRUE(parser.statistics().incremental);
    EXPECT_GE(parser.statistics().parsedBytes,
              std::string_view("- One\n- two\n\n  more of two\n\n").size());

    // A fence opened in a paragraph runs to the end: no part of the old parse holds.
    edited.replace(edited.find("After."), 6, "```");
    EXPECT_EQ(incremental(parser, edited), whole(edited));
    EXPECT_FALSE(parser.statistics().incremental);

    // A link reference definition reaches every link of the document.
    const std::string links = "See [the site].\n\nMore.\n\nEnd.\n";
    (void)incremental(parser, links);
    std::string defined = links;
    defined.replace(defined.find("More."), 5, "[the site]: https://example.com");
    EXPECT_EQ(incremental(parser, defined), whole(defined));
    EXPECT_FALSE(parser.statistics().incremental);
}

TEST(IncrementalMarkdown, FindsLinkReferenceDefinitions) {
    EXPECT_TRUE(platform::mayDefineLinkReferences("[a]: /url"));
    EXPECT_TRUE(platform::mayDefineLinkReferences("text\n> - [a\nb]: /url"));
    EXPECT_TRUE(platform::mayDefineLinkReferences("   [^1]: a note"));
    EXPECT_FALSE(platform::mayDefineLinkReferences("written as subsystem[category]: message"));
    EXPECT_FALSE(platform::mayDefineLinkReferences("no brackets at all: none"));
}

} // namespace
