#include "Vellum/export/FormatterPlainText.hpp"

namespace vellum {

namespace {

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

std::string inlineText(const std::vector<InlineNode>& nodes) {
    std::string out;
    appendInlineText(out, nodes);
    return out;
}

// Every line of `text` (the empty last one after a final newline included) behind two spaces per
// level; all newline characters become line feeds.
std::string indent(std::string_view text, int level) {
    if (level < 1) {
        return std::string(text);
    }
    const std::string prefix(static_cast<std::size_t>(level) * 2, ' ');
    std::string out = prefix;
    out.reserve(text.size() + prefix.size() * 2);
    std::size_t i = 0;
    while (i < text.size()) {
        if (const std::size_t length = newlineLength(text, i); length > 0) {
            out += '\n';
            out += prefix;
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
    return out;
}

// The item's marker on its first line, after the indentation of level `n`, which the first line
// of the body already carries and loses here.
std::string markerLine(std::string_view marker, int n, std::string_view body) {
    const std::string ind(static_cast<std::size_t>(n) * 2, ' ');
    std::size_t split = 0;
    while (split < body.size() && newlineLength(body, split) == 0) {
        ++split;
    }
    std::string_view first = body.substr(0, split);
    if (first.starts_with(ind)) {
        first.remove_prefix(ind.size());
    }
    std::string out = ind;
    out += marker;
    out += first;
    out += body.substr(split);
    return out;
}

std::string listText(const std::vector<Formatter::ListItem>& items, int level, bool ordered) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            out += '\n';
        }
        const std::string marker =
            ordered ? std::to_string(items[i].ordinal) + ". " : std::string("\xE2\x80\xA2 ");
        out += markerLine(marker, level + 1, formatterPlainText(items[i].blocks, level + 1, true));
    }
    return out;
}

std::string tableText(const BlockNode::Table& table, int level) {
    std::string out;
    for (std::size_t r = 0; r < table.children.size(); ++r) {
        if (r > 0) {
            out += '\n';
        }
        std::string line;
        const auto& cells = table.children[r].cells;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c > 0) {
                line += ',';
            }
            line += quoteTableCellText(inlineText(cells[c]));
        }
        out += indent(line, level);
    }
    return out;
}

std::string blockText(const BlockNode& block, int level, bool inListItem) {
    return std::visit(
        [&](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, BlockNode::Paragraph> ||
                          std::is_same_v<T, BlockNode::Header>) {
                return indent(inlineText(value.children), level);
            } else if constexpr (std::is_same_v<T, BlockNode::CodeBlock>) {
                return indent(value.code, level);
            } else if constexpr (std::is_same_v<T, BlockNode::BlockQuote>) {
                return formatterPlainText(value.children, level + 1, inListItem);
            } else if constexpr (std::is_same_v<T, BlockNode::OrderedList>) {
                return listText(value.children, level, true);
            } else if constexpr (std::is_same_v<T, BlockNode::UnorderedList>) {
                return listText(value.children, level, false);
            } else if constexpr (std::is_same_v<T, BlockNode::Table>) {
                return tableText(value, level);
            } else {
                return "***";
            }
        },
        block.value());
}

} // namespace

std::string formatterPlainText(const std::vector<Formatter::BlockNode>& blocks, int level,
                               bool inListItem) {
    std::string out;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (i > 0) {
            out += inListItem ? "\n" : "\n\n";
        }
        out += blockText(blocks[i], level, inListItem);
    }
    return out;
}

std::string quoteTableCellText(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.find('"') != std::string_view::npos) {
        std::string out = "\"";
        for (const char c : text) {
            out += c;
            if (c == '"') {
                out += '"';
            }
        }
        return out + "\"";
    }
    if (text.front() == ' ' || text.back() == ' ' ||
        text.find_first_of(",\n\r") != std::string_view::npos) {
        std::string out = "\"";
        out += text;
        out += '"';
        return out;
    }
    return std::string(text);
}

} // namespace vellum
