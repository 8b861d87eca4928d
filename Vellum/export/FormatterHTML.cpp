#include "Vellum/export/FormatterHTML.hpp"

#include "Vellum/export/PlainStretch.hpp"
#include "platform/foundation/ASCII.hpp"

#include <algorithm>
#include <array>
#include <string_view>

namespace vellum {

namespace {

using namespace std::string_view_literals;

using BlockNode = Formatter::BlockNode;
using InlineNode = Formatter::InlineNode;
using platform::PresentationIntent;

// The scalar starting at `text[i]` and its length in bytes; a malformed sequence reads as U+FFFD
// one byte long, so escaping never stops and never emits bad UTF-8.
std::pair<char32_t, std::size_t> decodeScalar(std::string_view text, std::size_t i) {
    constexpr std::pair<char32_t, std::size_t> replacement{0xFFFD, 1};
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t scalar = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        return {lead, 1};
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        scalar = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        scalar = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        scalar = lead & 0x07;
        minimum = 0x10000;
    } else {
        return replacement;
    }
    if (i + length > text.size()) {
        return replacement;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return replacement;
        }
        scalar = (scalar << 6) | (next & 0x3F);
    }
    if (scalar < minimum || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) {
        return replacement;
    }
    return {scalar, length};
}

enum class Escaping : std::uint8_t { text, attribute, code };

// The bytes the escaping looks at: controls, markup's own characters and every byte of a
// non-ASCII scalar. A table, as the writer asks once per byte of every text.
constexpr std::array<bool, 256> htmlSpecialBytes = [] {
    std::array<bool, 256> special{};
    for (std::size_t b = 0; b < special.size(); ++b) {
        special[b] = b < 0x20 || b > 0x7E || b == '<' || b == '>' || b == '&' || b == '"';
    }
    return special;
}();

void appendEscaped(std::string& out, std::string_view text, Escaping escaping) {
    out.reserve(out.size() + text.size());
    std::size_t i = 0;
    const auto needsEntity = [](char c) { return htmlSpecialBytes[static_cast<unsigned char>(c)]; };
    while (i < text.size()) {
        // Printable ASCII that needs no entity, most of any text, goes in a stretch at a time.
        if (const std::size_t plain = detail::appendPlainStretch(out, text, i, needsEntity);
            plain > i) {
            i = plain;
            continue;
        }
        const auto [scalar, length] = decodeScalar(text, i);
        switch (scalar) {
        case U'<':
            out += "&lt;"sv;
            break;
        case U'>':
            out += "&gt;"sv;
            break;
        case U'&':
            out += "&amp;"sv;
            break;
        case U'"':
            out += escaping == Escaping::attribute ? "&quot;" : "\"";
            break;
        default:
            if (scalar >= 0x20 && scalar <= 0x7E) {
                out += static_cast<char>(scalar);
            } else if (escaping != Escaping::code) {
                out += "&#"sv;
                out += std::to_string(static_cast<std::uint32_t>(scalar));
                out += ';';
            } else if (scalar == 0xFFFD && length == 1) {
                out += "\xEF\xBF\xBD"sv;
            } else {
                out.append(text.substr(i, length));
            }
            break;
        }
        i += length;
    }
}

void appendBase64(std::string& out, const platform::Data& data) {
    static constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t group =
            (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        out += alphabet[(group >> 18) & 0x3F];
        out += alphabet[(group >> 12) & 0x3F];
        out += alphabet[(group >> 6) & 0x3F];
        out += alphabet[group & 0x3F];
    }
    const std::size_t rest = data.size() - i;
    if (rest == 1) {
        const std::uint32_t group = std::uint32_t{data[i]} << 16;
        out += alphabet[(group >> 18) & 0x3F];
        out += alphabet[(group >> 12) & 0x3F];
        out += "=="sv;
    } else if (rest == 2) {
        const std::uint32_t group =
            (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8);
        out += alphabet[(group >> 18) & 0x3F];
        out += alphabet[(group >> 12) & 0x3F];
        out += alphabet[(group >> 6) & 0x3F];
        out += '=';
    }
}

void appendBlocks(std::string& out, const std::vector<BlockNode>& blocks);
void appendBlock(std::string& out, const BlockNode& block);
void appendInlines(std::string& out, const std::vector<InlineNode>& nodes);

void appendInline(std::string& out, const InlineNode& node) {
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, InlineNode::Text>) {
                appendEscaped(out, value.string, Escaping::text);
            } else if constexpr (std::is_same_v<T, InlineNode::Code>) {
                out += "<code>"sv;
                appendEscaped(out, value.string, Escaping::text);
                out += "</code>"sv;
            } else if constexpr (std::is_same_v<T, InlineNode::Strong>) {
                out += "<strong>"sv;
                appendInlines(out, value.children);
                out += "</strong>"sv;
            } else if constexpr (std::is_same_v<T, InlineNode::Emphasized>) {
                out += "<em>"sv;
                appendInlines(out, value.children);
                out += "</em>"sv;
            } else if constexpr (std::is_same_v<T, InlineNode::Strikethrough>) {
                out += "<del>"sv;
                appendInlines(out, value.children);
                out += "</del>"sv;
            } else if constexpr (std::is_same_v<T, InlineNode::Link>) {
                // A pasted "javascript:" or "data:" link would run or open a document in the
                // page it lands in: such targets are dropped and only the link's text is kept.
                if (!isExportableLink(value.url())) {
                    appendInlines(out, value.children);
                    return;
                }
                out += "<a href=\""sv;
                appendEscaped(out, value.url().absoluteString(), Escaping::attribute);
                out += "\">"sv;
                appendInlines(out, value.children);
                out += "</a>"sv;
            } else if constexpr (std::is_same_v<T, InlineNode::Attachment>) {
                if (const std::optional<platform::Data> png = value.attachment.base().pngData()) {
                    out += "<img src=\"data:image/png;base64,"sv;
                    appendBase64(out, *png);
                    out += "\" />"sv;
                } else {
                    appendEscaped(out, value.attachment.base().description(), Escaping::text);
                }
            } else {
                out += "<br />"sv;
            }
        },
        node.value());
}

void appendInlines(std::string& out, const std::vector<InlineNode>& nodes) {
    for (const InlineNode& node : nodes) {
        appendInline(out, node);
    }
}

const char* alignmentName(PresentationIntent::TableColumnAlignment alignment) {
    switch (alignment) {
    case PresentationIntent::TableColumnAlignment::center:
        return "center";
    case PresentationIntent::TableColumnAlignment::right:
        return "right";
    case PresentationIntent::TableColumnAlignment::left:
        break;
    }
    return "left";
}

void appendCell(std::string& out, PresentationIntent::TableColumnAlignment alignment,
                const std::vector<InlineNode>& cell, std::string_view cellTag) {
    out += '<';
    out += cellTag;
    out += " align=\""sv;
    out += alignmentName(alignment);
    out += "\">"sv;
    appendInlines(out, cell);
    out += "</"sv;
    out += cellTag;
    out += '>';
}

void appendRow(std::string& out, std::string_view cellTag,
               const std::vector<PresentationIntent::TableColumn>& columns,
               const std::vector<std::vector<InlineNode>>& cells) {
    out += "<tr>\n"sv;
    const std::size_t count = std::min(columns.size(), cells.size());
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) {
            out += '\n';
        }
        appendCell(out, columns[k].alignment, cells[k], cellTag);
    }
    out += "\n</tr>"sv;
}

void appendTable(std::string& out, const BlockNode::Table& table) {
    if (table.children.empty()) {
        out += "<table></table>"sv;
        return;
    }
    if (!table.hasHeadRow) {
        // Body rows alone (a copy of some): in a body of their own, so that no reader takes the
        // first of them for the head.
        out += "<table>\n<tbody>\n"sv;
        for (std::size_t r = 0; r < table.children.size(); ++r) {
            if (r > 0) {
                out += '\n';
            }
            appendRow(out, "td", table.columns, table.children[r].cells);
        }
        out += "\n</tbody>\n</table>"sv;
        return;
    }
    out += "<table>\n<thead>\n"sv;
    appendRow(out, "th", table.columns, table.children.front().cells);
    out += "\n</thead>\n"sv;
    for (std::size_t r = 1; r < table.children.size(); ++r) {
        if (r > 1) {
            out += '\n';
        }
        appendRow(out, "td", table.columns, table.children[r].cells);
    }
    if (table.children.size() > 1) {
        out += '\n';
    }
    out += "</table>"sv;
}

void appendListItem(std::string& out, const Formatter::ListItem& item) {
    const BlockNode::Paragraph* paragraph = nullptr;
    std::size_t paragraphs = 0;
    for (const BlockNode& block : item.blocks) {
        if (const auto* p = block.as<BlockNode::Paragraph>()) {
            paragraph = p;
            ++paragraphs;
        }
    }
    out += "<li>"sv;
    if (paragraphs == 1) {
        // A tight item: the paragraph's content without a p element, then the other blocks.
        appendInlines(out, paragraph->children);
        bool first = true;
        for (const BlockNode& block : item.blocks) {
            if (block.as<BlockNode::Paragraph>() != nullptr) {
                continue;
            }
            if (!first) {
                out += '\n';
            }
            first = false;
            appendBlock(out, block);
        }
    } else {
        appendBlocks(out, item.blocks);
    }
    out += "</li>"sv;
}

void appendListItems(std::string& out, const std::vector<Formatter::ListItem>& items) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        appendListItem(out, items[i]);
    }
}

void appendBlock(std::string& out, const BlockNode& block) {
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, BlockNode::Paragraph>) {
                out += "<p>"sv;
                appendInlines(out, value.children);
                out += "</p>"sv;
            } else if constexpr (std::is_same_v<T, BlockNode::Header>) {
                const char n = static_cast<char>('0' + std::clamp(value.level, 1, 6));
                out += "<h"sv;
                out += n;
                out += '>';
                appendInlines(out, value.children);
                out += "</h"sv;
                out += n;
                out += '>';
            } else if constexpr (std::is_same_v<T, BlockNode::BlockQuote>) {
                out += "<blockquote>\n"sv;
                appendBlocks(out, value.children);
                out += "\n</blockquote>"sv;
            } else if constexpr (std::is_same_v<T, BlockNode::CodeBlock>) {
                out += "<pre><code"sv;
                if (value.languageHint && !value.languageHint->empty()) {
                    out += " class=\"language-"sv;
                    appendEscaped(out, *value.languageHint, Escaping::attribute);
                    out += '"';
                }
                out += '>';
                appendEscaped(out, value.code, Escaping::code);
                out += "</code></pre>"sv;
            } else if constexpr (std::is_same_v<T, BlockNode::UnorderedList>) {
                out += "<ul>\n"sv;
                appendListItems(out, value.children);
                out += "\n</ul>"sv;
            } else if constexpr (std::is_same_v<T, BlockNode::OrderedList>) {
                out += "<ol"sv;
                if (!value.children.empty()) {
                    const int start = std::min_element(value.children.begin(), value.children.end(),
                                                       [](const auto& a, const auto& b) {
                                                           return a.ordinal < b.ordinal;
                                                       })
                                          ->ordinal;
                    if (start >= 2) {
                        out += " start=\"" + std::to_string(start) + "\"";
                    }
                }
                out += ">\n"sv;
                appendListItems(out, value.children);
                out += "\n</ol>"sv;
            } else if constexpr (std::is_same_v<T, BlockNode::Table>) {
                appendTable(out, value);
            } else {
                out += "<hr />"sv;
            }
        },
        block.value());
}

void appendBlocks(std::string& out, const std::vector<BlockNode>& blocks) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        appendBlock(out, blocks[i]);
    }
}

} // namespace

std::string formatterHTML(const std::vector<Formatter::BlockNode>& blocks) {
    std::string out;
    appendBlocks(out, blocks);
    return out;
}

std::string formatBlockHTML(const Formatter::BlockNode& block) {
    std::string out;
    appendBlock(out, block);
    return out;
}

std::string formatInlineHTML(const Formatter::InlineNode& node) {
    std::string out;
    appendInline(out, node);
    return out;
}

std::string formatListItemHTML(const Formatter::ListItem& item) {
    std::string out;
    appendListItem(out, item);
    return out;
}

std::string formatTableRowHTML(std::string_view cellTag,
                               const std::vector<PresentationIntent::TableColumn>& columns,
                               const std::vector<std::vector<Formatter::InlineNode>>& cells) {
    std::string out;
    appendRow(out, cellTag, columns, cells);
    return out;
}

std::string formatTableCellHTML(PresentationIntent::TableColumnAlignment alignment,
                                const std::vector<Formatter::InlineNode>& cell,
                                std::string_view cellTag) {
    std::string out;
    appendCell(out, alignment, cell, cellTag);
    return out;
}

std::string escapeHTMLText(std::string_view text) {
    std::string out;
    appendEscaped(out, text, Escaping::text);
    return out;
}

std::string escapeHTMLAttribute(std::string_view text) {
    std::string out;
    appendEscaped(out, text, Escaping::attribute);
    return out;
}

bool isExportableLink(const platform::URL& url) {
    // The scheme as a browser reads the written address: blanks and control characters in front
    // are dropped, tabs and line breaks anywhere are removed, letter case does not count.
    const std::string address = url.absoluteString();
    std::size_t at = 0;
    while (at < address.size() && static_cast<unsigned char>(address[at]) <= 0x20) {
        ++at;
    }
    std::string scheme;
    for (; at < address.size(); ++at) {
        const char c = address[at];
        if (c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        if (c == ':') {
            return scheme != "javascript" && scheme != "vbscript" && scheme != "data";
        }
        const bool schemeCharacter =
            platform::ascii::isAlpha(c) ||
            (!scheme.empty() && (platform::ascii::isDigit(c) || c == '+' || c == '-' || c == '.'));
        if (!schemeCharacter) {
            break;
        }
        scheme += platform::ascii::toLower(c);
    }
    // No scheme: a relative reference or a fragment, which stays in the reader's document.
    return true;
}

} // namespace vellum
