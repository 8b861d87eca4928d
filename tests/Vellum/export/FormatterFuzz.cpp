// libFuzzer target: arbitrary bytes as markdown through the document parser (math on), then both
// exports of the result. Bad input may be refused by the parser; the exports themselves must
// never fail, and what they write must hold: the HTML is valid UTF-8 with every element it opens
// closed and no "<" that is not one of the tags it writes, and the plain text is valid UTF-8.
// Any violation aborts.

#include "Vellum/export/Formatter.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The tags the writer produces. Anything else after a "<" would be markup that came from the
// text.
constexpr std::array<std::string_view, 18> elements{
    "p",    "h1", "h2", "h3", "h4",    "h5",    "h6", "blockquote", "pre",
    "code", "ul", "ol", "li", "table", "thead", "tr", "th",         "td"};
constexpr std::array<std::string_view, 5> inlineElements{"strong", "em", "del", "a", "img"};

void checkHTML(std::string_view html) {
    require(platform::unicode::isValidUtf8(html));
    std::vector<std::string_view> open;
    std::size_t i = 0;
    while ((i = html.find('<', i)) != std::string_view::npos) {
        const std::size_t end = html.find('>', i);
        require(end != std::string_view::npos);
        std::string_view tag = html.substr(i + 1, end - i - 1);
        i = end + 1;
        if (tag == "hr /" || tag == "br /" || tag.starts_with("img src=\"data:image/png;base64,")) {
            continue;
        }
        const bool closing = tag.starts_with('/');
        if (closing) {
            tag.remove_prefix(1);
        }
        const std::string_view name = tag.substr(0, tag.find(' '));
        bool known = false;
        for (const std::string_view element : elements) {
            known = known || element == name;
        }
        for (const std::string_view element : inlineElements) {
            known = known || element == name;
        }
        require(known);
        if (closing) {
            require(!open.empty() && open.back() == name);
            open.pop_back();
        } else {
            // Attribute values hold no quote of their own.
            const std::string_view attributes = tag.substr(name.size());
            std::size_t quotes = 0;
            for (const char c : attributes) {
                quotes += c == '"' ? 1 : 0;
            }
            require(quotes % 2 == 0);
            if (name == "a") {
                // No link keeps a target that can run script or carry a document.
                constexpr std::string_view href = " href=\"";
                require(attributes.starts_with(href));
                const std::string_view value = attributes.substr(href.size());
                std::string scheme;
                for (const char c : value.substr(0, value.find('"'))) {
                    const auto byte = static_cast<unsigned char>(c);
                    if (byte > 0x20) {
                        scheme.push_back(platform::ascii::toLower(c));
                    }
                    if (c == ':' || scheme.size() > 16) {
                        break;
                    }
                }
                require(!scheme.starts_with("javascript:") && !scheme.starts_with("vbscript:") &&
                        !scheme.starts_with("data:"));
            }
            open.push_back(name);
        }
    }
    require(open.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view markdown(reinterpret_cast<const char*>(data), size);
    static const vellum::AttributedStringMarkdownParser parser =
        vellum::AttributedStringMarkdownParser::markdown();
    platform::AttributedString text;
    try {
        text = parser.attributedString(markdown);
    } catch (const std::exception&) {
        return 0;
    }
    const vellum::Formatter formatter(text);
    checkHTML(formatter.html());
    require(platform::unicode::isValidUtf8(formatter.plainText()));
    require(formatter.buildCount() == 1);
    return 0;
}
