#include "Vellum/export/FormatterPlainText.hpp"

#include "Vellum/export/PlainStretch.hpp"

#include <algorithm>
#include <string_view>

namespace vellum {

namespace {

using namespace std::string_view_literals;

using BlockNode = Formatter::BlockNode;
using InlineNode = Formatter::InlineNode;

// The length in bytes of the newline character at `text[i]`, 0 when there is none there: line
// feed, vertical tab, form feed, carriage return (with a following line feed, one character),
// next line, line separator and paragraph separator.
std::size_t newlineLength(std::string_view text, std::size_t i) {
    switch (text[i]) {
    case '\r':
        return i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
    case '\n':
    case '\v':
    case '\f':
        return 1;
    case '\xC2':
        return text.substr(i, 2) == "\xC2\x85" ? 2 : 0;
    case '\xE2':
        return text.substr(i, 3) == "\xE2\x80\xA8" || text.substr(i, 3) == "\xE2\x80\xA9" ? 3 : 0;
    default:
        return 0;
    }
}

void appendInlineText(std::string& out, const std::vector<InlineNode>& nodes) {
    for (const InlineNode& node : nodes) {
        std::visit(
            [&](const auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, InlineNode::Text> ||
                              std::is_same_v<T, InlineNode::Code>) {
                    out += value.string;
                } else if constexpr (std::is_same_v<T, InlineNode::Attachment>) {
                    out += value.attachment.base().description();
                } else if constexpr (std::is_same_v<T, InlineNode::LineBreak>) {
                    out += ' ';
                } else {
                    appendInlineText(out, value.children);
                }
            },
            node.value());
    }
}

// Whether a newline character (newlineLength) may start with the byte.
bool mayStartNewline(char c) {
    return c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\xC2' || c == '\xE2';
}

// Every line of `text` (the empty last one after a final newline included) behind two spaces per
// level, appended to `out`; all newline characters become line feeds. The writers append to one
// string rather than returning one per block: a document's text is then copied once, not once
// per level of nesting.
void appendIndented(std::string& out, std::string_view text, int level) {
    if (level < 1) {
        out += text;
        return;
    }
    const std::size_t width = static_cast<std::size_t>(level) * 2;
    out.reserve(out.size() + text.size() + width * 2);
    out.append(width, ' ');
    std::size_t i = 0;
    while (i < text.size()) {
        // Characters that cannot start a newline go in a stretch at a time.
        if (const std::size_t plain = detail::appendPlainStretch(out, text, i, mayStartNewline);
            plain > i) {
            i = plain;
            continue;
        }
        if (const std::size_t length = newlineLength(text, i); length > 0) {
            out += '\n';
            out.append(width, ' ');
            i += length;
        } else {
            out += text[i];
            ++i;
        }
    }
    const bool endsInLineFeed = !text.empty() && text.back() == '\n' &&
                                !(text.size() >= 2 && text[text.size() - 2] == '\r');
    if (endsInLineFeed) {
        out += '\n';
    }
}

// What `out` holds from `from` on, indented as appendIndented does. Text of one line, most
// of any list or quote, gets its indentation in place, without a copy of its own.
void indentFrom(std::string& out, std::size_t from, int level) {
    const std::string_view appended = std::string_view(out).substr(from);
    if (std::none_of(appended.begin(), appended.end(), mayStartNewline)) {
        out.insert(from, static_cast<std::size_t>(level) * 2, ' ');
        return;
    }
    const std::string text(appended);
    out.resize(from);
    appendIndented(out, text, level);
}

void appendPlainText(std::string& out, const std::vector<Formatter::BlockNode>& blocks, int level,
                     bool inListItem);

// Each item's marker on its first line, after the indentation of level `level + 1`, which the
// first line of the item's body already carries and loses here.
void appendListText(std::string& out, const std::vector<Formatter::ListItem>& items, int level,
                    bool ordered) {
    const std::size_t width = static_cast<std::size_t>(level + 1) * 2;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        out.append(width, ' ');
        if (ordered) {
            out += std::to_string(items[i].ordinal);
            out += ". "sv;
        } else {
            out += "\xE2\x80\xA2 "sv;
        }
        const std::size_t body = out.size();
        appendPlainText(out, items[i].blocks, level + 1, true);
        if (out.size() - body >= width &&
            std::all_of(out.begin() + static_cast<std::ptrdiff_t>(body),
                        out.begin() + static_cast<std::ptrdiff_t>(body + width),
                        [](char c) { return c == ' '; })) {
            out.erase(body, width);
        }
    }
}

// The cell's text as quoteTableCellText gives it, appended to `out`.
void appendQuotedTableCell(std::string& out, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (text.find('"') != std::string_view::npos) {
        out += '"';
        for (const char c : text) {
            out += c;
            if (c == '"') {
                out += '"';
            }
        }
        out += '"';
        return;
    }
    if (text.front() == ' ' || text.back() == ' ' ||
        text.find_first_of(",\n\r") != std::string_view::npos) {
        out += '"';
        out += text;
        out += '"';
        return;
    }
    out += text;
}

void appendTableText(std::string& out, const BlockNode::Table& table, int level) {
    // One buffer for every cell's text in turn.
    std::string cellText;
    for (std::size_t r = 0; r < table.children.size(); ++r) {
        if (r > 0) {
            out += '\n';
        }
        const std::size_t from = out.size();
        const auto& cells = table.children[r].cells;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) {
                out += ',';
            }
            cellText.clear();
            appendInlineText(cellText, cells[c]);
            appendQuotedTableCell(out, cellText);
        }
        if (level >= 1) {
            indentFrom(out, from, level);
        }
    }
}

void appendBlockText(std::string& out, const BlockNode& block, int level, bool inListItem) {
    std::visit(
        [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, BlockNode::Paragraph> ||
                          std::is_same_v<T, BlockNode::Header>) {
                const std::size_t from = out.size();
                appendInlineText(out, value.children);
                if (level >= 1) {
                    indentFrom(out, from, level);
                }
            } else if constexpr (std::is_same_v<T, BlockNode::CodeBlock>) {
                appendIndented(out, value.code, level);
            } else if constexpr (std::is_same_v<T, BlockNode::BlockQuote>) {
                appendPlainText(out, value.children, level + 1, inListItem);
            } else if constexpr (std::is_same_v<T, BlockNode::OrderedList>) {
                appendListText(out, value.children, level, true);
            } else if constexpr (std::is_same_v<T, BlockNode::UnorderedList>) {
                appendListText(out, value.children, level, false);
            } else if constexpr (std::is_same_v<T, BlockNode::Table>) {
                appendTableText(out, value, level);
            } else {
                out += "***"sv;
            }
        },
        block.value());
}

void appendPlainText(std::string& out, const std::vector<Formatter::BlockNode>& blocks, int level,
                     bool inListItem) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i > 0) {
            out += inListItem ? "\n" : "\n\n";
        }
        appendBlockText(out, blocks[i], level, inListItem);
    }
}

} // namespace

std::string formatterPlainText(const std::vector<Formatter::BlockNode>& blocks, int level,
                               bool inListItem) {
    std::string out;
    appendPlainText(out, blocks, level, inListItem);
    return out;
}

std::string quoteTableCellText(std::string_view text) {
    std::string out;
    appendQuotedTableCell(out, text);
    return out;
}

} // namespace vellum
