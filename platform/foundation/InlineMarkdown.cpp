#include "platform/foundation/InlineMarkdown.hpp"

#include <array>
#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm-extension_api.h>
#include <cmark-gfm.h>
#include <cstdint>
#include <cstring>
#include <memory>

namespace platform {

AttributedText::AttributedText(std::string plain) {
    if (!plain.empty()) {
        runs_.push_back({std::move(plain), {}});
    }
}

void AttributedText::append(std::string_view text, const InlineAttributes& attributes) {
    if (text.empty()) {
        return;
    }
    if (!runs_.empty() && runs_.back().attributes == attributes) {
        runs_.back().text.append(text);
    } else {
        runs_.push_back({std::string{text}, attributes});
    }
}

std::string AttributedText::string() const {
    std::string result;
    for (const Run& run : runs_) {
        result += run.text;
    }
    return result;
}

namespace {

// Decodes one UTF-8 sequence at `i`; returns its length, 0 when malformed.
std::size_t sequenceLength(std::string_view s, std::size_t i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, value = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, value = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, value = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (b & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    out = value;
    return length;
}

std::string encode(char32_t c) {
    std::string out;
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else {
        if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        }
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

// The parser interprets block structure line by line. To keep it to inline markup alone, the
// source is handed over as one single line: every line break becomes a stand-in character, and
// a stand-in is put before the first and after the last character so that nothing at either end
// can open a block or be trimmed as indentation. The stand-ins are characters the parser counts
// as white space, so emphasis around former line breaks opens and closes as it would across a
// real one. They are picked among those absent from the text and turned back afterwards.
constexpr std::array<char32_t, 14> standInCandidates = {0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                                        0x2005, 0x2006, 0x2007, 0x2008, 0x2009,
                                                        0x200A, 0x202F, 0x205F, 0x3000};

struct Prepared {
    std::string source;
    std::string newlineStandIn;
    std::string returnStandIn;
    std::string edgeStandIn;
};

Prepared prepare(std::string_view markdown) {
    std::array<bool, standInCandidates.size()> used{};
    bool hasNewline = false;
    bool hasReturn = false;
    for (std::size_t i = 0; i < markdown.size();) {
        char32_t c = 0;
        const std::size_t length = sequenceLength(markdown, i, c);
        if (length == 0) {
            throw InlineMarkdownError("The text is not valid UTF-8.");
        }
        if (c == 0) {
            throw InlineMarkdownError("The text contains a NUL character.");
        }
        hasNewline = hasNewline || c == '\n';
        hasReturn = hasReturn || c == '\r';
        for (std::size_t k = 0; k < standInCandidates.size(); ++k) {
            used[k] = used[k] || standInCandidates[k] == c;
        }
        i += length;
    }
    std::vector<char32_t> free;
    for (std::size_t k = 0; k < standInCandidates.size(); ++k) {
        if (!used[k]) {
            free.push_back(standInCandidates[k]);
        }
    }
    Prepared prepared;
    // The edge stand-ins are removed by position, so any of the candidates will do for them.
    prepared.edgeStandIn = encode(standInCandidates[0]);
    std::size_t next = 0;
    const auto take = [&](bool needed) -> std::string {
        if (!needed) {
            return {};
        }
        if (next >= free.size()) {
            throw InlineMarkdownError("The text uses every character reserved for line breaks.");
        }
        return encode(free[next++]);
    };
    prepared.newlineStandIn = take(hasNewline);
    prepared.returnStandIn = take(hasReturn);

    prepared.source.reserve(markdown.size() + 8);
    prepared.source += prepared.edgeStandIn;
    for (const char c : markdown) {
        if (c == '\n') {
            prepared.source += prepared.newlineStandIn;
        } else if (c == '\r') {
            prepared.source += prepared.returnStandIn;
        } else {
            prepared.source += c;
        }
    }
    prepared.source += prepared.edgeStandIn;
    return prepared;
}

void replaceAll(std::string& text, const std::string& from, std::string_view to) {
    if (from.empty()) {
        return;
    }
    // Built into a new string: in-place replace trips a false -Wrestrict in g++ 12 at -O3.
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, start)) {
        result.append(text, start, at - start);
        result.append(to);
        start = at + from.size();
    }
    result.append(text, start, std::string::npos);
    text = std::move(result);
}

struct NodeDeleter {
    void operator()(cmark_node* node) const noexcept { cmark_node_free(node); }
};
struct ParserDeleter {
    void operator()(cmark_parser* parser) const noexcept { cmark_parser_free(parser); }
};
struct IterDeleter {
    void operator()(cmark_iter* iter) const noexcept { cmark_iter_free(iter); }
};

std::unique_ptr<cmark_node, NodeDeleter> parseDocument(const std::string& source) {
    cmark_gfm_core_extensions_ensure_registered();
    const std::unique_ptr<cmark_parser, ParserDeleter> parser{cmark_parser_new(CMARK_OPT_DEFAULT)};
    if (!parser) {
        throw InlineMarkdownError("The markdown parser could not be created.");
    }
    if (cmark_syntax_extension* const strike = cmark_find_syntax_extension("strikethrough")) {
        cmark_parser_attach_syntax_extension(parser.get(), strike);
    }
    cmark_parser_feed(parser.get(), source.data(), source.size());
    std::unique_ptr<cmark_node, NodeDeleter> document{cmark_parser_finish(parser.get())};
    if (!document) {
        throw InlineMarkdownError("The markdown could not be parsed.");
    }
    return document;
}

std::string literalOf(cmark_node* node) {
    const char* const literal = cmark_node_get_literal(node);
    return literal == nullptr ? std::string{} : std::string{literal};
}

} // namespace

AttributedText InlineMarkdown::parse(std::string_view markdown) {
    if (markdown.size() > maximumLength) {
        throw InlineMarkdownError("The text is too large to parse.");
    }
    if (markdown.empty()) {
        return {};
    }
    const Prepared prepared = prepare(markdown);
    const auto document = parseDocument(prepared.source);

    // Walk the tree with the parser's iterator (no recursion, so nesting depth costs nothing
    // on the stack), keeping the attributes of the enclosing nodes on an explicit stack.
    AttributedText raw;
    std::vector<InlineAttributes> stack{InlineAttributes{}};
    const std::unique_ptr<cmark_iter, IterDeleter> iter{cmark_iter_new(document.get())};
    for (cmark_event_type event = cmark_iter_next(iter.get()); event != CMARK_EVENT_DONE;
         event = cmark_iter_next(iter.get())) {
        cmark_node* const node = cmark_iter_get_node(iter.get());
        const cmark_node_type type = cmark_node_get_type(node);
        const char* const typeName = cmark_node_get_type_string(node);
        const bool strike = typeName != nullptr && std::strcmp(typeName, "strikethrough") == 0;
        const bool container = type == CMARK_NODE_EMPH || type == CMARK_NODE_STRONG ||
                               type == CMARK_NODE_LINK || type == CMARK_NODE_IMAGE || strike;
        if (container) {
            if (event == CMARK_EVENT_ENTER) {
                InlineAttributes inner = stack.back();
                if (type == CMARK_NODE_EMPH) {
                    inner.emphasis = true;
                } else if (type == CMARK_NODE_STRONG) {
                    inner.strong = true;
                } else if (type == CMARK_NODE_LINK) {
                    const char* const url = cmark_node_get_url(node);
                    inner.link = url == nullptr ? std::string{} : std::string{url};
                } else if (strike) {
                    inner.strikethrough = true;
                }
                stack.push_back(std::move(inner));
            } else if (stack.size() > 1) {
                stack.pop_back();
            }
            continue;
        }
        if (event != CMARK_EVENT_ENTER) {
            continue;
        }
        switch (type) {
        case CMARK_NODE_TEXT:
        case CMARK_NODE_HTML_INLINE:
            raw.append(literalOf(node), stack.back());
            break;
        case CMARK_NODE_CODE: {
            InlineAttributes code = stack.back();
            code.code = true;
            raw.append(literalOf(node), code);
            break;
        }
        case CMARK_NODE_SOFTBREAK:
        case CMARK_NODE_LINEBREAK:
            raw.append("\n", stack.back());
            break;
        default:
            break;
        }
    }

    // Put the line breaks back and drop the two edge stand-ins.
    AttributedText result;
    const std::size_t edge = prepared.edgeStandIn.size();
    const auto& runs = raw.runs();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        std::string text = runs[i].text;
        if (i == 0 && text.compare(0, edge, prepared.edgeStandIn) == 0) {
            text.erase(0, edge);
        }
        if (i + 1 == runs.size() && text.size() >= edge &&
            text.compare(text.size() - edge, edge, prepared.edgeStandIn) == 0) {
            text.erase(text.size() - edge);
        }
        replaceAll(text, prepared.newlineStandIn, "\n");
        replaceAll(text, prepared.returnStandIn, "\r");
        InlineAttributes attributes = runs[i].attributes;
        if (attributes.link) {
            replaceAll(*attributes.link, prepared.newlineStandIn, "\n");
            replaceAll(*attributes.link, prepared.returnStandIn, "\r");
        }
        result.append(text, attributes);
    }
    return result;
}

} // namespace platform
