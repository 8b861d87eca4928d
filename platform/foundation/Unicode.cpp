#include "platform/foundation/Unicode.hpp"

#include "platform/foundation/ASCII.hpp"

#include <algorithm>
#include <memory>
#include <optional>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

namespace platform::unicode {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

// Decodes one scalar at `pos`, advancing it. A malformed sequence yields U+FFFD and consumes its
// maximal invalid prefix (at least one byte), so decoding always makes progress.
char32_t decodeOne(std::string_view text, std::size_t& pos) noexcept {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++pos;
        return replacementCharacter;
    }
    std::size_t i = 1;
    for (; i < length; ++i) {
        if (pos + i >= text.size() || (byte(pos + i) & 0xC0) != 0x80) {
            break;
        }
        value = (value << 6) | (byte(pos + i) & 0x3F);
        // Reject overlong forms, surrogates and values past U+10FFFF as early as the second byte
        // tells, so that the valid byte after a bad prefix starts a new sequence.
        if (i == 1) {
            const char32_t partialMin = minimum >> (6 * (length - 2));
            const char32_t partialMax = 0x10FFFF >> (6 * (length - 2));
            const bool surrogate = length == 3 && value >= (0xD800 >> 6) && value <= (0xDFFF >> 6);
            if (value < partialMin || value > partialMax || surrogate) {
                break;
            }
        }
    }
    if (i < length) {
        pos += i;
        return replacementCharacter;
    }
    pos += length;
    return value;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = replacementCharacter;
    }
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string toUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = decodeOne(text, pos);
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
    }
    return out;
}

std::string fromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

struct BreakIteratorCloser {
    void operator()(UBreakIterator* iterator) const noexcept { ubrk_close(iterator); }
};
using BreakIteratorPointer = std::unique_ptr<UBreakIterator, BreakIteratorCloser>;

struct TextCloser {
    void operator()(UText* text) const noexcept { utext_close(text); }
};

// Opening a break iterator loads its rules; cloning a process-wide prototype is much cheaper.
// The prototype itself is never iterated, so clones may be taken from any thread.
BreakIteratorPointer cloneBreakIterator(const BreakIteratorPointer& prototype) {
    if (!prototype) {
        return {};
    }
    UErrorCode status = U_ZERO_ERROR;
    BreakIteratorPointer clone{ubrk_clone(prototype.get(), &status)};
    return U_SUCCESS(status) ? std::move(clone) : BreakIteratorPointer{};
}

BreakIteratorPointer openBreakIterator(UBreakIteratorType type) {
    UErrorCode status = U_ZERO_ERROR;
    BreakIteratorPointer iterator{ubrk_open(type, "", nullptr, 0, &status)};
    return U_SUCCESS(status) ? std::move(iterator) : BreakIteratorPointer{};
}

BreakIteratorPointer makeCharacterBreakIterator() {
    static const BreakIteratorPointer prototype = openBreakIterator(UBRK_CHARACTER);
    return cloneBreakIterator(prototype);
}

BreakIteratorPointer makeWordBreakIterator() {
    static const BreakIteratorPointer prototype = openBreakIterator(UBRK_WORD);
    return cloneBreakIterator(prototype);
}

// The word boundaries of one text, asked segment by segment.
class WordSegments {
public:
    explicit WordSegments(std::string_view text)
        : text_(toUtf16(text))
        , iterator_(makeWordBreakIterator()) {
        if (iterator_) {
            UErrorCode status = U_ZERO_ERROR;
            ubrk_setText(iterator_.get(), text_.data(), static_cast<int32_t>(text_.size()),
                         &status);
            if (U_FAILURE(status)) {
                iterator_.reset();
            }
        }
    }
    [[nodiscard]] bool valid() const { return iterator_ != nullptr; }
    [[nodiscard]] std::size_t length() const { return text_.size(); }

    // The boundary after `index`, none at the end.
    [[nodiscard]] std::optional<std::size_t> following(std::size_t index) const {
        return boundary(ubrk_following(iterator_.get(), static_cast<int32_t>(index)));
    }
    // The boundary before `index`, none at the start.
    [[nodiscard]] std::optional<std::size_t> preceding(std::size_t index) const {
        return boundary(ubrk_preceding(iterator_.get(), static_cast<int32_t>(index)));
    }
    // Whether the segment from the boundary `start` to the next one is a word (letters, digits,
    // kana or ideographs), not spaces or punctuation.
    [[nodiscard]] bool isWordAt(std::size_t start) const {
        if (start >= text_.size()) {
            return false;
        }
        // A boundary's status is that of the segment ending there.
        ubrk_following(iterator_.get(), static_cast<int32_t>(start));
        return ubrk_getRuleStatus(iterator_.get()) >= UBRK_WORD_NONE_LIMIT;
    }

private:
    static std::optional<std::size_t> boundary(int32_t value) {
        return value == UBRK_DONE ? std::nullopt
                                  : std::optional<std::size_t>(static_cast<std::size_t>(value));
    }
    std::u16string text_;
    BreakIteratorPointer iterator_;
};

const UNormalizer2* normalizer(bool compose) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* instance =
        compose ? unorm2_getNFCInstance(&status) : unorm2_getNFDInstance(&status);
    return U_SUCCESS(status) ? instance : nullptr;
}

std::string normalize(std::string_view text, bool compose) {
    const UNormalizer2* norm = normalizer(compose);
    const std::u16string source = toUtf16(text);
    if (norm == nullptr) {
        return fromUtf16(source);
    }
    UErrorCode status = U_ZERO_ERROR;
    if (unorm2_isNormalized(norm, source.data(), static_cast<int32_t>(source.size()), &status) &&
        U_SUCCESS(status)) {
        return fromUtf16(source);
    }
    // Decomposition can grow text; ask for the size first when the guess is too small.
    std::u16string result(source.size() * 3 + 4, u'\0');
    status = U_ZERO_ERROR;
    int32_t length = unorm2_normalize(norm, source.data(), static_cast<int32_t>(source.size()),
                                      result.data(), static_cast<int32_t>(result.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        result.assign(static_cast<std::size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        length = unorm2_normalize(norm, source.data(), static_cast<int32_t>(source.size()),
                                  result.data(), static_cast<int32_t>(result.size()), &status);
    }
    if (U_FAILURE(status)) {
        return fromUtf16(source);
    }
    result.resize(static_cast<std::size_t>(length));
    return fromUtf16(result);
}

using CaseMapper = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

std::string mapCase(std::string_view text, CaseMapper mapper) {
    const std::u16string source = toUtf16(text);
    std::u16string result(source.size() + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = mapper(result.data(), static_cast<int32_t>(result.size()), source.data(),
                            static_cast<int32_t>(source.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        result.assign(static_cast<std::size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        length = mapper(result.data(), static_cast<int32_t>(result.size()), source.data(),
                        static_cast<int32_t>(source.size()), "", &status);
    }
    if (U_FAILURE(status)) {
        return fromUtf16(source);
    }
    result.resize(static_cast<std::size_t>(length));
    return fromUtf16(result);
}

// The single scalar of a one-scalar character, or nothing.
bool singleScalar(std::string_view character, char32_t& scalar) {
    if (character.empty()) {
        return false;
    }
    std::size_t pos = 0;
    scalar = decodeOne(character, pos);
    return pos == character.size();
}

} // namespace

bool isAscii(std::string_view text) noexcept {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isValidUtf8(std::string_view text) noexcept {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const char32_t c = decodeOne(text, pos);
        if (c == replacementCharacter &&
            text.substr(start, pos - start) != std::string_view("\xEF\xBF\xBD")) {
            return false;
        }
    }
    return true;
}

std::string makeValidUtf8(std::string_view text) {
    if (isValidUtf8(text)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t pos = 0; pos < text.size();) {
        appendUtf8(out, decodeOne(text, pos));
    }
    return out;
}

std::u32string scalars(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        out.push_back(decodeOne(text, pos));
    }
    return out;
}

std::string utf8(char32_t scalar) {
    std::string out;
    appendUtf8(out, scalar);
    return out;
}

std::string utf8(std::u32string_view values) {
    std::string out;
    out.reserve(values.size());
    for (const char32_t c : values) {
        appendUtf8(out, c);
    }
    return out;
}

bool isGraphemePrepend(char32_t scalar) noexcept {
    return u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_GRAPHEME_CLUSTER_BREAK) ==
           U_GCB_PREPEND;
}

std::vector<std::string_view> graphemeClusters(std::string_view text) {
    std::vector<std::string_view> clusters;
    if (text.empty()) {
        return clusters;
    }
    if (isAscii(text)) {
        // In ASCII text every byte is a cluster of its own except CR LF, which stays together.
        clusters.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const std::size_t length =
                (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            clusters.push_back(text.substr(i, length));
            i += length - 1;
        }
        return clusters;
    }
    // The text is opened first so that it outlives the iterator that reads it.
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UText, TextCloser> utext{
        utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status)};
    // One iterator per thread: callers split short texts by the thousand (a character added to a
    // formula's pending run), and a clone costs more than the splitting. Nothing here calls back
    // into this function, so the thread's iterator is never in use twice.
    thread_local const BreakIteratorPointer iterator = makeCharacterBreakIterator();
    if (iterator) {
        ubrk_setUText(iterator.get(), utext.get(), &status);
    }
    if (!iterator || U_FAILURE(status)) {
        // Without ICU's rules fall back to one cluster per scalar.
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t start = pos;
            decodeOne(text, pos);
            clusters.push_back(text.substr(start, pos - start));
        }
        return clusters;
    }
    std::size_t start = 0;
    for (int32_t end = ubrk_following(iterator.get(), 0); end != UBRK_DONE;
         end = ubrk_next(iterator.get())) {
        const auto stop = std::min(static_cast<std::size_t>(end), text.size());
        if (stop > start) {
            clusters.push_back(text.substr(start, stop - start));
            start = stop;
        }
    }
    if (start < text.size()) {
        clusters.push_back(text.substr(start));
    }
    return clusters;
}

std::string nfc(std::string_view text) {
    return isAscii(text) ? std::string(text) : normalize(text, true);
}

std::string nfd(std::string_view text) {
    return isAscii(text) ? std::string(text) : normalize(text, false);
}

bool isNfc(std::string_view text) {
    if (isAscii(text)) {
        return true;
    }
    if (!isValidUtf8(text)) {
        return false;
    }
    const UNormalizer2* norm = normalizer(true);
    if (norm == nullptr) {
        return true;
    }
    const std::u16string source = toUtf16(text);
    UErrorCode status = U_ZERO_ERROR;
    const UBool normalized =
        unorm2_isNormalized(norm, source.data(), static_cast<int32_t>(source.size()), &status);
    return U_SUCCESS(status) && normalized;
}

bool canonicallyEquivalent(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    return nfc(a) == nfc(b);
}

bool isUppercase(std::string_view character) {
    char32_t scalar = 0;
    if (singleScalar(character, scalar) &&
        u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_UPPERCASE)) {
        return true;
    }
    return canonicallyEquivalent(uppercased(character), character) && isCased(character);
}

bool isLowercase(std::string_view character) {
    char32_t scalar = 0;
    if (singleScalar(character, scalar) &&
        u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_LOWERCASE)) {
        return true;
    }
    return canonicallyEquivalent(lowercased(character), character) && isCased(character);
}

bool isCased(std::string_view character) {
    char32_t scalar = 0;
    if (singleScalar(character, scalar) &&
        u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_CASED)) {
        return true;
    }
    return !canonicallyEquivalent(uppercased(character), character) ||
           !canonicallyEquivalent(lowercased(character), character);
}

std::string uppercased(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out) {
            c = ascii::toUpper(c);
        }
        return out;
    }
    return mapCase(text, u_strToUpper);
}

std::string lowercased(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (char& c : out) {
            c = ascii::toLower(c);
        }
        return out;
    }
    return mapCase(text, u_strToLower);
}

bool isWhitespaceOrNewline(char32_t scalar) noexcept {
    if (scalar == 0x09 || (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85) {
        return true;
    }
    if (scalar > 0x10FFFF) {
        return false;
    }
    const int8_t category = u_charType(static_cast<UChar32>(scalar));
    return category == U_SPACE_SEPARATOR || category == U_LINE_SEPARATOR ||
           category == U_PARAGRAPH_SEPARATOR;
}

std::string_view trimmingWhitespaceAndNewlines(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = begin;
        if (!isWhitespaceOrNewline(decodeOne(text, next))) {
            break;
        }
        begin = next;
    }
    std::size_t end = begin;
    for (std::size_t pos = begin; pos < text.size();) {
        const char32_t c = decodeOne(text, pos);
        if (!isWhitespaceOrNewline(c)) {
            end = pos;
        }
    }
    return text.substr(begin, end - begin);
}

// In valid UTF-8 every byte but a continuation byte starts a scalar, and a four-byte scalar (the
// only ones that take two UTF-16 units) starts with 0xF0 or above.
std::size_t utf16Length(std::string_view text) {
    std::size_t length = 0;
    for (const char byte : text) {
        const auto unit = static_cast<unsigned char>(byte);
        length += (unit & 0xC0) == 0x80 ? 0 : (unit >= 0xF0 ? 2 : 1);
    }
    return length;
}

std::pair<std::size_t, std::size_t> wordRange(std::string_view text, std::size_t index) {
    const WordSegments segments(text);
    const std::size_t length = segments.length();
    if (index >= length) {
        return {length, length};
    }
    if (!segments.valid()) {
        return {index, index + 1};
    }
    std::size_t start = segments.preceding(index + 1).value_or(0);
    std::size_t end = segments.following(start).value_or(length);
    if (segments.isWordAt(start)) {
        return {start, end};
    }
    // Between words: the spaces and punctuation there together, as far as the words either side.
    while (start > 0) {
        const std::size_t before = segments.preceding(start).value_or(0);
        if (segments.isWordAt(before)) {
            break;
        }
        start = before;
    }
    while (end < length && !segments.isWordAt(end)) {
        end = segments.following(end).value_or(length);
    }
    return {start, end};
}

std::size_t nextWordBoundary(std::string_view text, std::size_t index, bool forward) {
    const WordSegments segments(text);
    const std::size_t length = segments.length();
    index = std::min(index, length);
    if (!segments.valid()) {
        return forward ? length : 0;
    }
    if (forward) {
        // The first word ending after `index`: the segment before each boundary from there on.
        for (std::optional<std::size_t> start = segments.preceding(index + 1); start;) {
            const std::optional<std::size_t> end = segments.following(*start);
            if (!end) {
                break;
            }
            if (*end > index && segments.isWordAt(*start)) {
                return *end;
            }
            start = end;
        }
        return length;
    }
    for (std::optional<std::size_t> start = segments.preceding(index); start;
         start = segments.preceding(*start)) {
        if (segments.isWordAt(*start)) {
            return *start;
        }
    }
    return 0;
}

} // namespace platform::unicode
