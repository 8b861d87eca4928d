#include "platform/foundation/Markdown.hpp"

#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <array>
#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm-extension_api.h>
#include <cmark-gfm.h>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace platform {

namespace {

using Foundation = AttributeScopes::FoundationAttributes;
using IntentType = PresentationIntent::IntentType;

struct NodeDeleter {
    void operator()(cmark_node* node) const noexcept { cmark_node_free(node); }
};
struct ParserDeleter {
    void operator()(cmark_parser* parser) const noexcept { cmark_parser_free(parser); }
};
struct IterDeleter {
    void operator()(cmark_iter* iter) const noexcept { cmark_iter_free(iter); }
};

// Verbatim stretches (see parseMarkdown). The inline parser asks a syntax extension at every
// character registered as special that markdown itself gives no meaning; the extension tries the
// expressions that start with that character against the inline content as written, before any
// backslash escape, entity, emphasis or line break applies, and a match becomes one text node of
// exactly those bytes. The expressions of the parse on this thread reach the extension here: the
// parser offers no place of its own for them.
struct VerbatimParse {
    std::span<const Regex> patterns;
    // Inline-only sources carry their line breaks as stand-ins (see makeSingleLine): expressions
    // see the real characters, so that "not a line break" still means what it says.
    std::string newlineStandIn;
    std::string returnStandIn;
    // The content last matched against with its line breaks restored, and where the stand-ins
    // were (restored offsets), so that one paragraph is restored once.
    const unsigned char* restoredFrom = nullptr;
    std::size_t restoredLength = 0;
    std::string restored;
    std::vector<std::size_t> standIns;
    std::exception_ptr error;
    // What one attempt leaves: kept for the next, so that attempts allocate nothing.
    Regex::Match match;
    std::string literal;
};
thread_local VerbatimParse* currentVerbatimParse = nullptr;

// The parser hands its inline content over as this record (its layout in the library's 0.29
// series); the text is checked against the parser's own reading before it is used.
struct InlineContent {
    unsigned char* data;
    std::int32_t length;
    std::int32_t capacity;
};

std::optional<std::string_view> inlineContent(cmark_inline_parser* parser) {
    const auto* const content =
        reinterpret_cast<const InlineContent*>(cmark_inline_parser_get_chunk(parser));
    const int offset = cmark_inline_parser_get_offset(parser);
    if (content == nullptr || content->data == nullptr || content->length <= 0 || offset < 0 ||
        offset >= content->length ||
        content->data[offset] != cmark_inline_parser_peek_at(parser, offset) ||
        content->data[content->length - 1] !=
            cmark_inline_parser_peek_at(parser, content->length - 1)) {
        return std::nullopt;
    }
    return std::string_view(reinterpret_cast<const char*>(content->data),
                            static_cast<std::size_t>(content->length));
}

// The content with stand-ins turned back into line breaks, and the stand-ins' restored offsets.
void restoreContent(VerbatimParse& parse, std::string_view content) {
    if (parse.restoredFrom == reinterpret_cast<const unsigned char*>(content.data()) &&
        parse.restoredLength == content.size()) {
        return;
    }
    parse.restoredFrom = reinterpret_cast<const unsigned char*>(content.data());
    parse.restoredLength = content.size();
    parse.restored.clear();
    parse.standIns.clear();
    parse.restored.reserve(content.size());
    std::size_t at = 0;
    while (at < content.size()) {
        const std::string_view rest = content.substr(at);
        if (!parse.newlineStandIn.empty() && rest.starts_with(parse.newlineStandIn)) {
            parse.standIns.push_back(parse.restored.size());
            parse.restored += '\n';
            at += parse.newlineStandIn.size();
        } else if (!parse.returnStandIn.empty() && rest.starts_with(parse.returnStandIn)) {
            parse.standIns.push_back(parse.restored.size());
            parse.restored += '\r';
            at += parse.returnStandIn.size();
        } else {
            parse.restored += content[at];
            ++at;
        }
    }
}

cmark_node* matchVerbatim(cmark_syntax_extension* /*extension*/, cmark_parser* /*parser*/,
                          cmark_node* /*parent*/, unsigned char character,
                          cmark_inline_parser* inlineParser) {
    VerbatimParse* const parse = currentVerbatimParse;
    if (parse == nullptr || parse->error) {
        return nullptr;
    }
    const std::optional<std::string_view> content = inlineContent(inlineParser);
    if (!content) {
        return nullptr;
    }
    const auto offset = static_cast<std::size_t>(cmark_inline_parser_get_offset(inlineParser));
    // Stand-ins are three bytes each and become one: offsets move by two per stand-in before.
    const bool standIns = !parse->newlineStandIn.empty() || !parse->returnStandIn.empty();
    std::string_view subject = *content;
    std::size_t start = offset;
    if (standIns) {
        restoreContent(*parse, *content);
        subject = parse->restored;
        // Stand-in i starts at restored offset standIns[i], so at standIns[i] + 2i as written.
        std::size_t before = 0;
        std::size_t count = parse->standIns.size();
        while (count > 0) {
            const std::size_t half = count / 2;
            const std::size_t middle = before + half;
            if (parse->standIns[middle] + 2 * middle < offset) {
                before = middle + 1;
                count -= half + 1;
            } else {
                count = half;
            }
        }
        start = offset - 2 * before;
    }
    try {
        for (const Regex& pattern : parse->patterns) {
            if (pattern.firstByte() != character) {
                continue;
            }
            Regex::Match& match = parse->match;
            if (!pattern.matchAt(subject, start, match, Regex::Subject::validUTF8) ||
                match.whole().end <= start) {
                continue;
            }
            std::size_t end = match.whole().end;
            if (standIns) {
                const auto within = static_cast<std::size_t>(
                    std::lower_bound(parse->standIns.begin(), parse->standIns.end(), end) -
                    parse->standIns.begin());
                end += 2 * within;
            }
            // A code span opening inside the stretch stays a code span.
            if (content->substr(offset, end - offset).find('`') != std::string_view::npos) {
                continue;
            }
            cmark_node* const node =
                cmark_node_new_with_mem(CMARK_NODE_TEXT, cmark_get_default_mem_allocator());
            if (node == nullptr) {
                return nullptr;
            }
            parse->literal.assign(content->substr(offset, end - offset));
            cmark_node_set_literal(node, parse->literal.c_str());
            cmark_inline_parser_set_offset(inlineParser, static_cast<int>(end));
            return node;
        }
    } catch (...) {
        // No exception may cross the parser; the parse reports it once it is back.
        parse->error = std::current_exception();
    }
    return nullptr;
}

// One extension per starting character, made once and shared by every parse that needs it (an
// extension holds no state of a parse).
cmark_syntax_extension* verbatimExtension(unsigned char character) {
    struct Extensions {
        std::map<unsigned char, cmark_syntax_extension*> made;
        Extensions() = default;
        Extensions(const Extensions&) = delete;
        Extensions& operator=(const Extensions&) = delete;
        ~Extensions() {
            for (const auto& [first, extension] : made) {
                cmark_syntax_extension_free(cmark_get_default_mem_allocator(), extension);
            }
        }
    };
    static std::mutex mutex;
    static Extensions extensions;
    const std::lock_guard lock(mutex);
    cmark_syntax_extension*& extension = extensions.made[character];
    if (extension == nullptr) {
        const std::string name = "verbatim-" + std::to_string(character);
        extension = cmark_syntax_extension_new(name.c_str());
        if (extension == nullptr) {
            return nullptr;
        }
        cmark_mem* const mem = cmark_get_default_mem_allocator();
        cmark_llist* special = nullptr;
        special = cmark_llist_append(
            mem, special, reinterpret_cast<void*>(static_cast<std::uintptr_t>(character)));
        cmark_syntax_extension_set_special_inline_chars(extension, special);
        cmark_syntax_extension_set_match_inline_func(extension, matchVerbatim);
    }
    return extension;
}

// Characters markdown reads itself: the parser never hands them to an extension.
bool isMarkdownCharacter(unsigned char c) {
    return std::string_view("\n\r\\`&_*[]<!~").find(static_cast<char>(c)) != std::string_view::npos;
}

// The most columns a table keeps. The library splits a table row into its cells in time that
// grows with the square of their number (each cell is appended at the end of a list walked from
// its start): ten thousand columns took seconds per megabyte. A table of more columns keeps this
// many: a body row of more cells goes on in rows below it, as many as it needs, a bar between two
// cells made a line break; the header row keeps the text of the cells past the last one in that
// one, their bars made spaces. No text is lost, and the text keeps its length, so that every
// offset into it stays where it was.
constexpr std::size_t maximumTableColumns = 1000;

// The bars of a line that part its cells (a bar escaped with a backslash is text).
std::vector<std::size_t> cellBars(std::string_view line) {
    std::vector<std::size_t> bars;
    bool escaped = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (escaped) {
            escaped = false;
        } else if (line[i] == '\\') {
            escaped = true;
        } else if (line[i] == '|') {
            bars.push_back(i);
        }
    }
    return bars;
}

// Whether `line` can be a table's delimiter row: bars, dashes, colons and blanks, with a dash.
bool isDelimiterRow(std::string_view line) {
    return line.find('-') != std::string_view::npos && line.find('|') != std::string_view::npos &&
           line.find_first_not_of("|-: \t\r>") == std::string_view::npos;
}

// Whether `line` opens or closes a fenced code block (after any quote markers and indentation).
bool isFence(std::string_view line) {
    const std::size_t start = line.find_first_not_of(" \t>");
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view rest = line.substr(start);
    return rest.starts_with("```") || rest.starts_with("~~~");
}

// Where a line's own text starts: after its indentation and the quote markers of the containers
// it is in, and, on a list item's first line (`listMarkers`), after the item's marker.
std::size_t contentStart(std::string_view line, bool listMarkers) {
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t>", at);
        if (start == std::string_view::npos) {
            return line.size();
        }
        at = start;
        if (!listMarkers) {
            break;
        }
        std::size_t marker = at;
        if (line[at] == '-' || line[at] == '+' || line[at] == '*') {
            marker = at + 1;
        } else {
            std::size_t digits = at;
            while (digits < line.size() && digits - at < 9 && line[digits] >= '0' &&
                   line[digits] <= '9') {
                ++digits;
            }
            if (digits > at && digits < line.size() &&
                (line[digits] == '.' || line[digits] == ')')) {
                marker = digits + 1;
            }
        }
        if (marker == at || (marker < line.size() && line[marker] != ' ' && line[marker] != '\t')) {
            break; // not a marker: the text itself
        }
        at = marker;
    }
    return at;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Cuts a table row of more than `maximumTableColumns` cells (see above). A body row in a quote or
// a list item goes on in rows that repeat its line's own prefix (the quote markers, the item's
// indentation), so that they stay in the table: the line break and the prefix take the place of a
// bar and the blanks around it, which are no cell's text. Where no bar between the cells of a row
// has blanks enough around it, the cells past the last column stay in that one, as in the header.
enum class RowKind : std::uint8_t { header, delimiter, body };
void capRow(std::string& source, std::size_t begin, std::size_t end, RowKind kind) {
    const std::string_view line(source.data() + begin, end - begin);
    std::vector<std::size_t> bars = cellBars(line);
    const std::size_t first = contentStart(line, kind != RowKind::body);
    const std::size_t last = line.find_last_not_of(" \t\r");
    const bool leading = !bars.empty() && first < line.size() && bars.front() == first;
    const bool trailing = !bars.empty() && last != std::string_view::npos && bars.back() == last;
    // The bars between cells.
    const std::size_t from = leading ? 1 : 0;
    const std::size_t to = bars.size() - (trailing && bars.size() > from ? 1 : 0);
    if (to <= from || to - from + 1 <= maximumTableColumns) {
        return;
    }
    // The bar that ends the last cell kept, among those between cells.
    const std::size_t lastKept = from + maximumTableColumns - 1;
    const auto merge = [&](std::size_t fromBar) {
        for (std::size_t b = fromBar; b < to; ++b) {
            source[begin + bars[b]] = ' ';
        }
    };
    switch (kind) {
    case RowKind::delimiter:
        // The columns past the last one are not described.
        std::fill(source.begin() + static_cast<std::ptrdiff_t>(begin + bars[lastKept]),
                  source.begin() + static_cast<std::ptrdiff_t>(end), ' ');
        break;
    case RowKind::header:
        merge(lastKept);
        break;
    case RowKind::body: {
        const std::string prefix(line.substr(0, std::min(first, line.size())));
        // The bar that ends a row's last cell: at most `maximumTableColumns` cells after the bar
        // that ended the row before (the first row's counted from the line's start).
        std::size_t lowest = from;
        std::size_t split = lastKept;
        while (split < to) {
            // The last bar that may end the row with room around it for a line break and the
            // prefix.
            std::optional<std::size_t> chosen;
            std::size_t before = 0;
            std::size_t after = 0;
            for (std::size_t b = split + 1; b-- > lowest;) {
                before = 0;
                after = 0;
                if (!prefix.empty()) {
                    while (bars[b] > before && isBlank(line[bars[b] - before - 1])) {
                        ++before;
                    }
                    while (bars[b] + after + 1 < line.size() &&
                           isBlank(line[bars[b] + after + 1])) {
                        ++after;
                    }
                }
                if (before + after >= prefix.size()) {
                    chosen = b;
                    break;
                }
            }
            if (!chosen) {
                merge(split);
                break;
            }
            const std::size_t at = begin + bars[*chosen] - before;
            const std::size_t room = before + 1 + after;
            source[at] = '\n';
            std::copy(prefix.begin(), prefix.end(),
                      source.begin() + static_cast<std::ptrdiff_t>(at + 1));
            std::fill_n(source.begin() + static_cast<std::ptrdiff_t>(at + 1 + prefix.size()),
                        room - 1 - prefix.size(), ' ');
            if (!prefix.empty() && room >= prefix.size() + 2) {
                // A row that starts with a bar, as the table's other rows in the container do.
                source[at + prefix.size() + 1] = '|';
            }
            lowest = *chosen + 1;
            split = *chosen + maximumTableColumns;
        }
        break;
    }
    }
}

// Whether a line of `source` holds more bars than a table keeps columns: most texts have none, and
// are parsed as they are after this one count.
bool hasWideLine(std::string_view source) {
    std::size_t bars = 0;
    for (const char c : source) {
        if (c == '\n') {
            bars = 0;
        } else if (c == '|' && ++bars > maximumTableColumns) {
            return true;
        }
    }
    return false;
}

// Cuts the rows of every table of more than `maximumTableColumns` columns in `source`.
void capTableColumns(std::string& source) {
    struct Line {
        std::size_t begin;
        std::size_t end;
    };
    std::vector<Line> lines;
    for (std::size_t begin = 0; begin < source.size();) {
        std::size_t end = source.find('\n', begin);
        if (end == std::string::npos) {
            end = source.size();
        }
        lines.push_back({begin, end});
        begin = end + 1;
    }
    const auto text = [&source](const Line& line) {
        return std::string_view(source.data() + line.begin, line.end - line.begin);
    };
    const auto blank = [&text](const Line& line) {
        return text(line).find_first_not_of(" \t\r>") == std::string_view::npos;
    };
    bool fenced = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (isFence(text(lines[i]))) {
            fenced = !fenced;
            continue;
        }
        if (fenced || i == 0 || blank(lines[i - 1]) || !isDelimiterRow(text(lines[i]))) {
            continue;
        }
        // A header row above a delimiter row: a table, whose rows run to a blank line.
        capRow(source, lines[i - 1].begin, lines[i - 1].end, RowKind::header);
        capRow(source, lines[i].begin, lines[i].end, RowKind::delimiter);
        std::size_t row = i + 1;
        for (; row < lines.size() && !blank(lines[row]) && !isFence(text(lines[row])); ++row) {
            capRow(source, lines[row].begin, lines[row].end, RowKind::body);
        }
        i = row - 1;
    }
}

std::unique_ptr<cmark_node, NodeDeleter> parseTree(std::string_view source, bool tables,
                                                   VerbatimParse* verbatim = nullptr) {
    // The library registers its extensions in a list of the process without a lock: two first
    // parses at once would both register, and one list would be lost. Registered once.
    static const bool registered = [] {
        cmark_gfm_core_extensions_ensure_registered();
        return true;
    }();
    (void)registered;
    const std::unique_ptr<cmark_parser, ParserDeleter> parser{cmark_parser_new(CMARK_OPT_DEFAULT)};
    if (!parser) {
        throw MarkdownParsingError("The markdown parser could not be created.");
    }
    for (const char* name : {"strikethrough", "table"}) {
        if (!tables && std::strcmp(name, "table") == 0) {
            continue;
        }
        if (cmark_syntax_extension* const extension = cmark_find_syntax_extension(name)) {
            cmark_parser_attach_syntax_extension(parser.get(), extension);
        }
    }
    if (verbatim != nullptr) {
        std::array<bool, 256> attached{};
        for (const Regex& pattern : verbatim->patterns) {
            const std::optional<unsigned char> first = pattern.firstByte();
            if (!first || *first == 0 || isMarkdownCharacter(*first) || attached[*first]) {
                continue;
            }
            attached[*first] = true;
            if (cmark_syntax_extension* const extension = verbatimExtension(*first)) {
                cmark_parser_attach_syntax_extension(parser.get(), extension);
            }
        }
    }
    // The library keeps the characters its extensions claim (strikethrough's "~", our verbatim
    // stretches' first bytes) in one table for the process, filled when a parse starts and cleared
    // when it ends: parses on two threads at once would clear each other's characters mid-parse.
    static std::recursive_mutex parsing;
    const std::lock_guard parseLock(parsing);
    // The extension finds this parse's expressions through the thread it runs on.
    VerbatimParse* const outer = currentVerbatimParse;
    currentVerbatimParse = verbatim;
    std::string capped;
    if (tables && hasWideLine(source)) {
        capped = std::string(source);
        capTableColumns(capped);
        source = capped;
    }
    cmark_parser_feed(parser.get(), source.data(), source.size());
    std::unique_ptr<cmark_node, NodeDeleter> document{cmark_parser_finish(parser.get())};
    currentVerbatimParse = outer;
    if (verbatim != nullptr && verbatim->error) {
        std::rethrow_exception(verbatim->error);
    }
    if (!document) {
        throw MarkdownParsingError("The markdown could not be parsed.");
    }
    return document;
}

std::string_view literalOf(cmark_node* node) {
    const char* const literal = cmark_node_get_literal(node);
    return literal == nullptr ? std::string_view{} : std::string_view{literal};
}

// The nodes of the table and strikethrough extensions. Their type numbers are handed out when the
// extensions register, so they are told apart by name, once per type.
enum class ExtensionNode : std::uint8_t { none, table, tableRow, tableCell, strikethrough };

ExtensionNode extensionNodeNamed(const char* name) {
    if (name == nullptr) {
        return ExtensionNode::none;
    }
    if (std::strcmp(name, "table") == 0) {
        return ExtensionNode::table;
    }
    if (std::strcmp(name, "table_row") == 0 || std::strcmp(name, "table_header") == 0) {
        return ExtensionNode::tableRow;
    }
    if (std::strcmp(name, "table_cell") == 0) {
        return ExtensionNode::tableCell;
    }
    if (std::strcmp(name, "strikethrough") == 0) {
        return ExtensionNode::strikethrough;
    }
    return ExtensionNode::none;
}

// Link destinations arrive unescaped; characters a URL may not hold are percent-encoded (a "%"
// only when it does not start an escape) before the text is read as a URL.
std::string encodeDestination(std::string_view destination) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(destination.size());
    for (std::size_t i = 0; i < destination.size(); ++i) {
        const auto c = static_cast<unsigned char>(destination[i]);
        const bool escape = c == '%' && i + 2 < destination.size() &&
                            ascii::isHexDigit(destination[i + 1]) &&
                            ascii::isHexDigit(destination[i + 2]);
        const bool allowed =
            (c > 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>' && c != '\\' && c != '^' &&
             c != '`' && c != '{' && c != '|' && c != '}' && c != '%') ||
            escape;
        if (allowed) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

struct ReferenceParts {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
};

ReferenceParts split(std::string_view text) {
    ReferenceParts parts;
    if (const std::size_t hash = text.find('#'); hash != std::string_view::npos) {
        parts.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    if (const std::size_t question = text.find('?'); question != std::string_view::npos) {
        parts.query = text.substr(question + 1);
        text = text.substr(0, question);
    }
    const std::size_t colon = text.find(':');
    if (colon != std::string_view::npos && colon > 0 && ascii::isAlpha(text[0]) &&
        text.substr(0, colon).find('/') == std::string_view::npos) {
        bool schemeCharacters = true;
        for (const char c : text.substr(0, colon)) {
            schemeCharacters =
                schemeCharacters && (ascii::isAlnum(c) || c == '+' || c == '-' || c == '.');
        }
        if (schemeCharacters) {
            parts.scheme = text.substr(0, colon);
            text = text.substr(colon + 1);
        }
    }
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const std::size_t slash = text.find('/');
        parts.authority = text.substr(0, slash);
        text = slash == std::string_view::npos ? std::string_view{} : text.substr(slash);
    }
    parts.path = text;
    return parts;
}

std::string removeDotSegments(std::string_view input) {
    std::vector<std::string_view> segments;
    const bool absolute = input.starts_with('/');
    std::size_t start = absolute ? 1 : 0;
    bool trailingSlash = false;
    while (start <= input.size()) {
        const std::size_t slash = input.find('/', start);
        const std::string_view segment = input.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        const bool last = slash == std::string_view::npos;
        trailingSlash = false;
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
            trailingSlash = last;
        } else {
            segments.push_back(segment);
        }
        if (last) {
            break;
        }
        start = slash + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < segments.size(); ++i) {
        out += i == 0 ? "" : "/";
        out += segments[i];
    }
    if (trailingSlash && !(out.empty() || out.ends_with('/'))) {
        out += '/';
    }
    return out;
}

// Stand-ins for the inline-only mode (see makeSingleLine).
constexpr std::array<char32_t, 14> standInCandidates = {0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                                        0x2005, 0x2006, 0x2007, 0x2008, 0x2009,
                                                        0x200A, 0x202F, 0x205F, 0x3000};

struct SingleLine {
    std::string source;
    std::string newlineStandIn;
    std::string returnStandIn;
    std::string edgeStandIn;
};

// The parser reads block structure line by line. To keep it to inline markup alone, the source is
// handed over as one single line: every line break becomes a stand-in character, and a stand-in
// goes before the first and after the last character so that nothing at either end can open a
// block or be trimmed as indentation. The stand-ins are characters the parser counts as white
// space, so emphasis around former line breaks opens and closes as it would across a real one.
// They are picked among those absent from the text and turned back afterwards.
SingleLine makeSingleLine(std::string_view markdown) {
    std::array<bool, standInCandidates.size()> used{};
    const bool hasNewline = markdown.find('\n') != std::string_view::npos;
    const bool hasReturn = markdown.find('\r') != std::string_view::npos;
    // Every candidate is encoded as E2 80 xx, E2 81 xx or E3 80 80 in UTF-8: only those lead
    // bytes need a closer look.
    for (std::size_t at = 0; at < markdown.size(); ++at) {
        if ((static_cast<unsigned char>(markdown[at]) & 0xFE) != 0xE2) {
            continue;
        }
        const std::u32string scalar = unicode::scalars(markdown.substr(at, 3));
        for (std::size_t k = 0; k < standInCandidates.size(); ++k) {
            used[k] = used[k] || (!scalar.empty() && standInCandidates[k] == scalar.front());
        }
    }
    std::vector<char32_t> free;
    for (std::size_t k = 0; k < standInCandidates.size(); ++k) {
        if (!used[k]) {
            free.push_back(standInCandidates[k]);
        }
    }
    SingleLine line;
    // The edge stand-ins are removed by position, so any of the candidates will do for them.
    line.edgeStandIn = unicode::utf8(standInCandidates[0]);
    std::size_t next = 0;
    const auto take = [&](bool needed) -> std::string {
        if (!needed) {
            return {};
        }
        if (next >= free.size()) {
            throw MarkdownParsingError("The text uses every character reserved for line breaks.");
        }
        return unicode::utf8(free[next++]);
    };
    line.newlineStandIn = take(hasNewline);
    line.returnStandIn = take(hasReturn);

    line.source.reserve(markdown.size() + markdown.size() / 16 + 8);
    line.source += line.edgeStandIn;
    // The text between line breaks goes over in pieces.
    std::size_t start = 0;
    for (std::size_t at = 0; at < markdown.size(); ++at) {
        const char c = markdown[at];
        if (c == '\n' || c == '\r') {
            line.source.append(markdown.substr(start, at - start));
            line.source += c == '\n' ? line.newlineStandIn : line.returnStandIn;
            start = at + 1;
        }
    }
    line.source.append(markdown.substr(start));
    line.source += line.edgeStandIn;
    return line;
}

void replaceAll(std::string& text, const std::string& from, std::string_view to) {
    if (from.empty() || text.find(from) == std::string::npos) {
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

// Walks the parsed tree once, without recursion, building the attributed string.
class Builder {
public:
    Builder(const std::optional<URL>& baseURL, bool blocks)
        : baseURL_(baseURL)
        , blocks_(blocks) {}

    // For a text made single-line by makeSingleLine: line breaks are put back and the two edge
    // stand-ins dropped as the text is emitted, so the result needs no second pass.
    void restoreLineBreaks(const SingleLine& line) { line_ = &line; }
    // Whether both edge stand-ins were found and dropped.
    [[nodiscard]] bool droppedEdges() const noexcept { return droppedFirst_ && droppedLast_; }
    // Frees each node of the tree as soon as its text is built, so that the tree and the text do
    // not both stand whole at once: a long table or list takes many times its source in nodes.
    // The tree cannot be built from twice then.
    void releaseNodesAsBuilt() { releaseNodes_ = true; }
    // Numbers block identities on from `identities` (a part of a document parsed alone takes the
    // identities the whole would give it) and records every top-level block as it is entered.
    void recordTopLevelBlocks(int identities, std::vector<MarkdownTopLevelBlock>& blocks) {
        identity_ = identities;
        topLevel_ = &blocks;
    }

    AttributedString build(cmark_node* document, std::size_t sourceLength) {
        if (line_ != nullptr) {
            // The edge stand-in after the text ends the last leaf in document order.
            lastLeaf_ = document;
            while (cmark_node* const child = cmark_node_last_child(lastLeaf_)) {
                lastLeaf_ = child;
            }
        }
        // Markup only removes characters, mostly; a run every dozen bytes is typical prose.
        result_.reserve(sourceLength + 64, sourceLength / 12 + 16);
        const std::unique_ptr<cmark_iter, IterDeleter> iter{cmark_iter_new(document)};
        for (cmark_event_type event = cmark_iter_next(iter.get()); event != CMARK_EVENT_DONE;
             event = cmark_iter_next(iter.get())) {
            cmark_node* const node = cmark_iter_get_node(iter.get());
            if (event == CMARK_EVENT_ENTER) {
                if (topLevel_ != nullptr && cmark_node_parent(node) == document) {
                    recordTopLevel(node);
                }
                enter(node);
            } else if (event == CMARK_EVENT_EXIT) {
                exit(node);
            }
            if (!releaseNodes_) {
                continue;
            }
            // The iterator has already stepped on from the node (to its first child, its next
            // sibling or its parent), so only nodes it has left behind are freed: the sibling
            // before a node entered, and the last child of a node exited. Every other node was
            // freed as its next sibling was entered; their frames are gone, and the builder
            // keeps no other node.
            cmark_node* const done = event == CMARK_EVENT_ENTER  ? cmark_node_previous(node)
                                     : event == CMARK_EVENT_EXIT ? cmark_node_last_child(node)
                                                                 : nullptr;
            if (done != nullptr) {
                cmark_node_free(done);
            }
        }
        if (topLevel_ != nullptr && !topLevel_->empty()) {
            topLevel_->back().identities = identity_ - topLevel_->back().identities;
        }
        return std::move(result_);
    }

private:
    using IntentValue = TypedAttributeValue<PresentationIntent>;

    // Until the next top-level block is entered, a record's identities hold the count before it.
    void recordTopLevel(cmark_node* node) {
        if (!topLevel_->empty()) {
            topLevel_->back().identities = identity_ - topLevel_->back().identities;
        }
        MarkdownTopLevelBlock block;
        block.line = std::max(cmark_node_get_start_line(node), 1) - 1;
        block.identities = identity_;
        const cmark_node_type type = cmark_node_get_type(node);
        int fenceLength = 0;
        int fenceOffset = 0;
        char fenceCharacter = 0;
        // After a blank line, a list can still take an indented line or a new item, and indented
        // code a further indented line; every other block is closed by then.
        block.continuesPastBlankLine =
            type == CMARK_NODE_LIST ||
            (type == CMARK_NODE_CODE_BLOCK &&
             cmark_node_get_fenced(node, &fenceLength, &fenceOffset, &fenceCharacter) == 0);
        block.table = extensionNode(node) == ExtensionNode::table;
        topLevel_->push_back(block);
    }

    using URLValue = TypedAttributeValue<URL>;

    struct BlockFrame {
        cmark_node* node;
        std::optional<IntentType> type; // nullopt for nodes that are no block of their own
        std::shared_ptr<const IntentValue> intent; // made on first use, shared by its runs
        int nextOrdinal = 1;                       // lists: ordinal of the next item
        int nextRow = 1;                           // tables: index of the next body row
        int nextColumn = 0;                        // rows: index of the next cell
    };
    struct InlineFrame {
        cmark_node* node;
        std::uint32_t bits;
        std::shared_ptr<const URLValue> link;
        std::shared_ptr<const URLValue> imageURL;
    };

    ExtensionNode extensionNode(cmark_node* node) {
        const cmark_node_type type = cmark_node_get_type(node);
        for (const auto& [known, kind] : extensionTypes_) {
            if (known == type) {
                return kind;
            }
        }
        const ExtensionNode kind = extensionNodeNamed(cmark_node_get_type_string(node));
        extensionTypes_.emplace_back(type, kind);
        return kind;
    }

    bool isBlockContainer(cmark_node* node) {
        switch (cmark_node_get_type(node)) {
        case CMARK_NODE_BLOCK_QUOTE:
        case CMARK_NODE_LIST:
        case CMARK_NODE_ITEM:
        case CMARK_NODE_PARAGRAPH:
        case CMARK_NODE_HEADING:
            return true;
        case CMARK_NODE_TEXT:
        case CMARK_NODE_SOFTBREAK:
        case CMARK_NODE_LINEBREAK:
        case CMARK_NODE_CODE:
        case CMARK_NODE_HTML_INLINE:
        case CMARK_NODE_EMPH:
        case CMARK_NODE_STRONG:
        case CMARK_NODE_LINK:
        case CMARK_NODE_IMAGE:
        case CMARK_NODE_CODE_BLOCK:
        case CMARK_NODE_HTML_BLOCK:
        case CMARK_NODE_THEMATIC_BREAK:
            return false;
        default: {
            const ExtensionNode kind = extensionNode(node);
            return kind == ExtensionNode::table || kind == ExtensionNode::tableRow ||
                   kind == ExtensionNode::tableCell;
        }
        }
    }

    std::shared_ptr<const URLValue> resolvedValue(cmark_node* node) const {
        std::optional<URL> url = resolve(literalOrEmpty(cmark_node_get_url(node)));
        return url ? std::make_shared<const URLValue>(std::move(*url)) : nullptr;
    }

    std::optional<URL> resolve(std::string_view destination) const {
        std::string encoded = encodeDestination(destination);
        if (baseURL_ && !split(encoded).scheme) {
            encoded = resolveURLReference(baseURL_->absoluteString(), encoded);
        }
        if (encoded.empty()) {
            // An empty destination is a link to the base itself, or to nothing.
            return baseURL_;
        }
        return URL::fromString(encoded);
    }

    IntentType blockType(cmark_node* node) {
        const int identity = ++identity_;
        BlockFrame* const parent = frames_.empty() ? nullptr : &frames_.back();
        switch (cmark_node_get_type(node)) {
        case CMARK_NODE_BLOCK_QUOTE:
            return IntentType::blockQuote(identity);
        case CMARK_NODE_LIST:
            return cmark_node_get_list_type(node) == CMARK_ORDERED_LIST
                       ? IntentType::orderedList(identity)
                       : IntentType::unorderedList(identity);
        case CMARK_NODE_ITEM: {
            const int ordinal = parent != nullptr ? parent->nextOrdinal++ : 1;
            return IntentType::listItem(ordinal, identity);
        }
        case CMARK_NODE_HEADING:
            return IntentType::header(cmark_node_get_heading_level(node), identity);
        case CMARK_NODE_CODE_BLOCK: {
            const std::string_view info = literalOrEmpty(cmark_node_get_fence_info(node));
            const std::string_view trimmed = ascii::trimmed(info);
            std::size_t end = 0;
            while (end < trimmed.size() && !ascii::isSpace(trimmed[end])) {
                ++end;
            }
            return IntentType::codeBlock(
                end == 0 ? std::nullopt : std::optional<std::string>(trimmed.substr(0, end)),
                identity);
        }
        case CMARK_NODE_THEMATIC_BREAK:
            return IntentType::thematicBreak(identity);
        default:
            break;
        }
        const ExtensionNode extension = extensionNode(node);
        if (extension == ExtensionNode::table) {
            const auto columns = cmark_gfm_extensions_get_table_columns(node);
            const std::uint8_t* const alignments = cmark_gfm_extensions_get_table_alignments(node);
            std::vector<PresentationIntent::TableColumn> result;
            for (std::uint16_t i = 0; i < columns; ++i) {
                const std::uint8_t a = alignments != nullptr ? alignments[i] : 0;
                result.push_back({a == 'c'   ? PresentationIntent::TableColumnAlignment::center
                                  : a == 'r' ? PresentationIntent::TableColumnAlignment::right
                                             : PresentationIntent::TableColumnAlignment::left});
            }
            return IntentType::table(std::move(result), identity);
        }
        if (extension == ExtensionNode::tableRow) {
            if (cmark_gfm_extensions_get_table_row_is_header(node) != 0) {
                return IntentType::tableHeaderRow(identity);
            }
            return IntentType::tableRow(parent != nullptr ? parent->nextRow++ : 1, identity);
        }
        if (extension == ExtensionNode::tableCell) {
            return IntentType::tableCell(parent != nullptr ? parent->nextColumn++ : 0, identity);
        }
        return IntentType::paragraph(identity);
    }

    static std::string_view literalOrEmpty(const char* text) {
        return text == nullptr ? std::string_view{} : std::string_view{text};
    }

    // The intent of the innermost block, built on first use: a block nested 100,000 deep costs
    // one list of its enclosing blocks, not one per level.
    std::shared_ptr<const IntentValue> currentIntent() {
        if (!blocks_ || frames_.empty()) {
            return nullptr;
        }
        std::size_t top = frames_.size();
        while (top > 0 && !frames_[top - 1].type) {
            --top;
        }
        if (top == 0) {
            return nullptr;
        }
        BlockFrame& frame = frames_[top - 1];
        if (!frame.intent) {
            std::vector<IntentType> components;
            components.reserve(top);
            for (std::size_t i = top; i > 0; --i) {
                if (frames_[i - 1].type) {
                    components.push_back(*frames_[i - 1].type);
                }
            }
            frame.intent =
                std::make_shared<const IntentValue>(PresentationIntent(std::move(components)));
        }
        return frame.intent;
    }

    std::shared_ptr<const TypedAttributeValue<InlinePresentationIntent>>
    inlineIntentValue(std::uint32_t bits) {
        for (const auto& value : inlineIntentValues_) {
            if (value->value.rawValue == bits) {
                return value;
            }
        }
        inlineIntentValues_.push_back(
            std::make_shared<const TypedAttributeValue<InlinePresentationIntent>>(
                InlinePresentationIntent{bits}));
        return inlineIntentValues_.back();
    }

    // The attributes for text at the current place. Within one block the same few combinations
    // of markup come back again and again (plain, emphasised, plain...), so each is made once per
    // block; equal runs then share one container and join without comparing values.
    const AttributeContainer& container(std::uint32_t extraBits) {
        if (blockChanged_) {
            cached_.clear();
            blockChanged_ = false;
        }
        // Each frame holds the markup of all frames around it, so this costs the same at any
        // nesting depth.
        const InlineFrameState* const frame = inlines_.empty() ? nullptr : &inlines_.back();
        const std::uint32_t bits = extraBits | (frame != nullptr ? frame->bits : 0U);
        const URLValue* const link = frame != nullptr ? frame->link.get() : nullptr;
        const URLValue* const image = frame != nullptr ? frame->imageURL.get() : nullptr;
        for (const CachedContainer& cached : cached_) {
            if (cached.bits == bits && cached.link == link && cached.image == image) {
                return cached.attributes;
            }
        }
        AttributeContainer attributes;
        if (auto intent = currentIntent()) {
            attributes.setShared<Foundation::PresentationIntentAttribute>(std::move(intent));
        }
        if (bits != 0) {
            attributes.setShared<Foundation::InlinePresentationIntentAttribute>(
                inlineIntentValue(bits));
        }
        if (link != nullptr) {
            attributes.setShared<Foundation::LinkAttribute>(frame->link);
        }
        if (image != nullptr) {
            attributes.setShared<Foundation::ImageURLAttribute>(frame->imageURL);
        }
        // A long run of differently linked text must not make every lookup slower.
        if (cached_.size() >= 16) {
            cached_.erase(cached_.begin());
        }
        cached_.push_back(CachedContainer{bits, link, image, std::move(attributes)});
        return cached_.back().attributes;
    }

    void emit(std::string_view text, std::uint32_t extraBits = 0, cmark_node* leaf = nullptr) {
        std::string restored;
        if (line_ != nullptr) {
            const std::string& edge = line_->edgeStandIn;
            if (!emittedAny_ && text.starts_with(edge)) {
                text.remove_prefix(edge.size());
                droppedFirst_ = true;
            }
            emittedAny_ = true;
            if (leaf != nullptr && leaf == lastLeaf_ && text.ends_with(edge)) {
                text.remove_suffix(edge.size());
                droppedLast_ = true;
            }
            const auto holds = [&](const std::string& standIn) {
                return !standIn.empty() && text.find(standIn) != std::string_view::npos;
            };
            if (holds(line_->newlineStandIn) || holds(line_->returnStandIn)) {
                restored = std::string(text);
                replaceAll(restored, line_->newlineStandIn, "\n");
                replaceAll(restored, line_->returnStandIn, "\r");
                text = restored;
            }
        }
        if (!text.empty()) {
            result_.append(text, container(extraBits));
            if (!inlines_.empty()) {
                inlines_.back().emitted = true;
            }
        }
    }

    void pushBlock(cmark_node* node, std::optional<IntentType> type) {
        frames_.push_back(BlockFrame{node, std::move(type), nullptr});
        blockChanged_ = true;
    }

    void enter(cmark_node* node) {
        const cmark_node_type type = cmark_node_get_type(node);
        if (type == CMARK_NODE_DOCUMENT) {
            return;
        }
        if (isBlockContainer(node)) {
            pushBlock(node, blocks_ ? std::optional<IntentType>(blockType(node)) : std::nullopt);
            if (type == CMARK_NODE_LIST && cmark_node_get_list_type(node) == CMARK_ORDERED_LIST) {
                // Items count on from the number the list starts with ("3." gives 3, 4, ...).
                frames_.back().nextOrdinal = cmark_node_get_list_start(node);
            }
            return;
        }
        switch (type) {
        case CMARK_NODE_CODE_BLOCK:
            if (blocks_) {
                pushBlock(node, blockType(node));
                emit(literalOf(node));
                popBlock();
            } else {
                emit(literalOf(node));
            }
            return;
        case CMARK_NODE_THEMATIC_BREAK:
            pushBlock(node, blockType(node));
            emit("\n");
            popBlock();
            return;
        case CMARK_NODE_HTML_BLOCK:
            pushBlock(node, blocks_ ? std::optional<IntentType>(IntentType::paragraph(++identity_))
                                    : std::nullopt);
            emit(literalOf(node), InlinePresentationIntent::blockHTMLBit);
            popBlock();
            return;
        case CMARK_NODE_TEXT:
            emit(literalOf(node), 0, node);
            return;
        case CMARK_NODE_CODE:
            emit(literalOf(node), InlinePresentationIntent::codeBit);
            return;
        case CMARK_NODE_HTML_INLINE:
            emit(literalOf(node), InlinePresentationIntent::inlineHTMLBit);
            return;
        case CMARK_NODE_SOFTBREAK:
            emit(" ", InlinePresentationIntent::softBreakBit);
            return;
        case CMARK_NODE_LINEBREAK:
            emit("\n", InlinePresentationIntent::lineBreakBit);
            return;
        case CMARK_NODE_EMPH:
            pushInline(node, InlinePresentationIntent::emphasizedBit);
            return;
        case CMARK_NODE_STRONG:
            pushInline(node, InlinePresentationIntent::stronglyEmphasizedBit);
            return;
        case CMARK_NODE_LINK:
            pushInline(node, 0);
            // An inner link wins over an outer one (only images can nest links).
            inlines_.back().link = resolvedValue(node);
            return;
        case CMARK_NODE_IMAGE:
            pushInline(node, 0);
            inlines_.back().imageURL = resolvedValue(node);
            return;
        default:
            if (extensionNode(node) == ExtensionNode::strikethrough) {
                pushInline(node, InlinePresentationIntent::strikethroughBit);
            }
            return;
        }
    }

    // Pushes a frame that inherits the markup of the one around it.
    void pushInline(cmark_node* node, std::uint32_t bits) {
        InlineFrameState frame{InlineFrame{node, bits, nullptr, nullptr}};
        if (!inlines_.empty()) {
            frame.bits |= inlines_.back().bits;
            frame.link = inlines_.back().link;
            frame.imageURL = inlines_.back().imageURL;
        }
        inlines_.push_back(std::move(frame));
    }

    void popBlock() {
        frames_.pop_back();
        blockChanged_ = true;
    }

    void exit(cmark_node* node) {
        if (!inlines_.empty() && inlines_.back().node == node) {
            const bool image = cmark_node_get_type(node) == CMARK_NODE_IMAGE;
            if (image && !inlines_.back().emitted) {
                emit("\xEF\xBF\xBC"); // U+FFFC stands for an image without alternative text
            }
            const bool emitted = inlines_.back().emitted;
            inlines_.pop_back();
            if (emitted && !inlines_.empty()) {
                inlines_.back().emitted = true;
            }
            return;
        }
        if (!frames_.empty() && frames_.back().node == node) {
            popBlock();
        }
    }

    struct InlineFrameState : InlineFrame {
        bool emitted = false;
    };

    const std::optional<URL>& baseURL_;
    const bool blocks_;
    const SingleLine* line_ = nullptr;
    bool releaseNodes_ = false;
    cmark_node* lastLeaf_ = nullptr;
    bool emittedAny_ = false;
    bool droppedFirst_ = false;
    bool droppedLast_ = false;
    AttributedString result_;
    std::vector<BlockFrame> frames_;
    std::vector<InlineFrameState> inlines_;
    struct CachedContainer {
        std::uint32_t bits;
        const URLValue* link; // identities: the frames keep the values alive
        const URLValue* image;
        AttributeContainer attributes;
    };
    std::vector<CachedContainer> cached_;
    bool blockChanged_ = true;
    // One value per combination of inline bits, shared by all runs that carry it.
    std::vector<std::shared_ptr<const TypedAttributeValue<InlinePresentationIntent>>>
        inlineIntentValues_;
    std::vector<std::pair<cmark_node_type, ExtensionNode>> extensionTypes_;
    int identity_ = 0;
    std::vector<MarkdownTopLevelBlock>* topLevel_ = nullptr;
};

// Most markdown is ASCII: eight bytes at a time until a byte with its high bit set, then the
// full check from there.
bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i + 8 <= text.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) {
            break;
        }
        i += 8;
    }
    return unicode::isValidUtf8(text.substr(i));
}

std::string checkedSource(std::string_view markdown, const MarkdownParsingOptions& options) {
    if (markdown.size() > maximumMarkdownLength) {
        throw MarkdownParsingError("The markdown text is too large to parse.");
    }
    const bool partial = options.failurePolicy ==
                         MarkdownParsingOptions::FailurePolicy::returnPartiallyParsedIfPossible;
    const bool hasNul = std::memchr(markdown.data(), 0, markdown.size()) != nullptr;
    if (!isValidUtf8(markdown)) {
        if (!partial) {
            throw MarkdownParsingError("The markdown text is not valid UTF-8.");
        }
        std::string repaired = unicode::makeValidUtf8(markdown);
        replaceAll(repaired, std::string(1, '\0'), "\xEF\xBF\xBD");
        return repaired;
    }
    if (hasNul) {
        if (!partial) {
            throw MarkdownParsingError("The markdown text contains a NUL character.");
        }
        std::string repaired(markdown);
        replaceAll(repaired, std::string(1, '\0'), "\xEF\xBF\xBD");
        return repaired;
    }
    return std::string(markdown);
}

AttributedString parseInlineOnly(const std::string& source, const std::optional<URL>& baseURL,
                                 std::span<const Regex> verbatim) {
    const SingleLine line = makeSingleLine(source);
    VerbatimParse verbatimParse{verbatim, line.newlineStandIn, line.returnStandIn};
    const auto document =
        parseTree(line.source, false, verbatim.empty() ? nullptr : &verbatimParse);
    Builder builder(baseURL, false);
    builder.restoreLineBreaks(line);
    AttributedString built = builder.build(document.get(), line.source.size());
    if (builder.droppedEdges()) {
        return built;
    }
    // The parser put an edge somewhere unexpected: the slower way by runs finds it anywhere.
    const AttributedString raw = Builder(baseURL, false).build(document.get(), line.source.size());

    // Put the line breaks back and drop the two edge stand-ins.
    AttributedString result;
    result.reserve(raw.characters().size(), raw.runs().size());
    const std::size_t edge = line.edgeStandIn.size();
    const AttributedString::Runs runs = raw.runs();
    const auto holds = [](std::string_view text, const std::string& standIn) {
        return !standIn.empty() && text.find(standIn) != std::string_view::npos;
    };
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const AttributedString::Run run = runs[i];
        std::string_view text =
            raw.characters().substr(run.range.lowerBound.offset, run.range.length());
        if (i == 0 && text.starts_with(line.edgeStandIn)) {
            text.remove_prefix(edge);
        }
        if (i + 1 == runs.size() && text.ends_with(line.edgeStandIn)) {
            text.remove_suffix(edge);
        }
        if (!holds(text, line.newlineStandIn) && !holds(text, line.returnStandIn)) {
            result.append(text, run.attributes);
            continue;
        }
        std::string restored(text);
        replaceAll(restored, line.newlineStandIn, "\n");
        replaceAll(restored, line.returnStandIn, "\r");
        result.append(restored, run.attributes);
    }
    return result;
}

} // namespace

std::string resolveURLReference(std::string_view base, std::string_view reference) {
    const ReferenceParts r = split(reference);
    if (r.scheme) {
        return std::string(reference);
    }
    const ReferenceParts b = split(base);
    std::optional<std::string_view> authority;
    std::string path;
    std::optional<std::string_view> query;
    if (r.authority) {
        authority = r.authority;
        path = removeDotSegments(r.path);
        query = r.query;
    } else {
        authority = b.authority;
        if (r.path.empty()) {
            path = std::string(b.path);
            query = r.query ? r.query : b.query;
        } else {
            if (r.path.starts_with('/')) {
                path = removeDotSegments(r.path);
            } else {
                std::string merged;
                if (b.authority && b.path.empty()) {
                    merged.append("/").append(r.path);
                } else {
                    const std::size_t slash = b.path.rfind('/');
                    if (slash != std::string_view::npos) {
                        merged.append(b.path.substr(0, slash + 1));
                    }
                    merged.append(r.path);
                }
                path = removeDotSegments(merged);
            }
            query = r.query;
        }
    }
    std::string out;
    if (b.scheme) {
        out.append(*b.scheme).append(":");
    }
    if (authority) {
        out.append("//").append(*authority);
    }
    out += path;
    if (query) {
        out.append("?").append(*query);
    }
    if (r.fragment) {
        out.append("#").append(*r.fragment);
    }
    return out;
}

void parseMarkdownSyntaxOnly(std::string_view markdown, const MarkdownParsingOptions& options) {
    // The inline-only mode parses a single-line copy of the text without the table extension;
    // the comparison is with the parser reading the text as it is.
    (void)parseTree(markdown,
                    options.interpretedSyntax == MarkdownParsingOptions::InterpretedSyntax::full);
}

AttributedString parseMarkdown(std::string_view markdown, const MarkdownParsingOptions& options,
                               const std::optional<URL>& baseURL) {
    return parseMarkdown(markdown, options, baseURL, {});
}

AttributedString parseMarkdown(std::string_view markdown, const MarkdownParsingOptions& options,
                               const std::optional<URL>& baseURL, std::span<const Regex> verbatim) {
    const std::string source = checkedSource(markdown, options);
    if (source.empty()) {
        return {};
    }
    if (options.interpretedSyntax ==
        MarkdownParsingOptions::InterpretedSyntax::inlineOnlyPreservingWhitespace) {
        return parseInlineOnly(source, baseURL, verbatim);
    }
    VerbatimParse verbatimParse{verbatim, {}, {}};
    const auto document = parseTree(source, true, verbatim.empty() ? nullptr : &verbatimParse);
    Builder builder(baseURL, true);
    builder.releaseNodesAsBuilt();
    return builder.build(document.get(), source.size());
}

std::optional<MarkdownBlocksParse> parseMarkdownBlocks(std::string_view markdown,
                                                       const MarkdownParsingOptions& options,
                                                       const std::optional<URL>& baseURL,
                                                       std::span<const Regex> verbatim,
                                                       int identitiesBefore, bool closedEnd) {
    if (options.interpretedSyntax != MarkdownParsingOptions::InterpretedSyntax::full ||
        (closedEnd && !markdown.empty() && !markdown.ends_with('\n'))) {
        return std::nullopt;
    }
    std::string source = checkedSource(markdown, options);
    int sentinelLine = 0;
    if (closedEnd) {
        // A line that opens a paragraph of its own only where nothing is left open: an unclosed
        // fence, HTML block or table row would take it in.
        sentinelLine = static_cast<int>(std::count(source.begin(), source.end(), '\n')) + 1;
        source += "x";
    }
    VerbatimParse verbatimParse{verbatim, {}, {}};
    const auto document = parseTree(source, true, verbatim.empty() ? nullptr : &verbatimParse);
    if (closedEnd) {
        cmark_node* const last = cmark_node_last_child(document.get());
        if (last == nullptr || cmark_node_get_type(last) != CMARK_NODE_PARAGRAPH ||
            cmark_node_get_start_line(last) != sentinelLine) {
            return std::nullopt;
        }
        cmark_node_unlink(last);
        cmark_node_free(last);
    }
    MarkdownBlocksParse parse;
    Builder builder(baseURL, true);
    builder.releaseNodesAsBuilt();
    builder.recordTopLevelBlocks(identitiesBefore, parse.blocks);
    parse.text = builder.build(document.get(), source.size());
    return parse;
}

} // namespace platform
