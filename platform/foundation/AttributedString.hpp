#pragma once

// Text with attributes, kept as UTF-8 characters and a list of runs: maximal stretches whose
// attributes are equal. Adjacent runs never hold equal attributes (every edit coalesces), except
// that an object replacement character (U+FFFC, the stand-in for an attachment) is always a run
// of its own: two equal attachments side by side stay two. So two attributed strings are equal
// exactly when their characters and runs are.
//
// AttributedString is a value with shared, copy-on-write storage; AttributedSubstring is a slice
// of one that keeps the storage alive, so slices stay valid whatever happens to the string they
// were cut from. Indices are UTF-8 offsets into the whole string (a slice's indices are those of
// its base); the UTF-16 offsets that layout and platform APIs count in are converted explicitly.

#include "platform/foundation/AttributeScope.hpp"
#include "platform/foundation/IndexIterator.hpp"

#include <compare>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class AttributedSubstring;

class AttributedString {
public:
    // A UTF-8 offset into the characters.
    struct Index {
        std::size_t offset = 0;
        friend auto operator<=>(const Index&, const Index&) = default;
    };
    struct Range {
        Index lowerBound;
        Index upperBound;
        [[nodiscard]] bool empty() const noexcept { return lowerBound == upperBound; }
        [[nodiscard]] std::size_t length() const noexcept {
            return upperBound.offset - lowerBound.offset;
        }
        [[nodiscard]] bool contains(Index index) const noexcept {
            return lowerBound <= index && index < upperBound;
        }
        friend bool operator==(const Range&, const Range&) = default;
    };

    struct Run {
        Range range;
        AttributeContainer attributes;

        template <AttributeKey Key>
        [[nodiscard]] const typename Key::Value* get() const {
            return attributes.get<Key>();
        }
    };

    class Storage;

    // The runs of a string or of a slice (clipped to it), by position 0 ..< size().
    class Runs {
    public:
        [[nodiscard]] std::size_t size() const noexcept { return last_ - first_; }
        [[nodiscard]] bool empty() const noexcept { return size() == 0; }
        [[nodiscard]] Run operator[](std::size_t position) const;
        // What operator[] gives, without copying the attributes: a reader of many runs spares a
        // reference count each. The attributes live as long as the storage these runs keep.
        [[nodiscard]] Range range(std::size_t position) const;
        [[nodiscard]] const AttributeContainer& attributes(std::size_t position) const;
        // How many runs, from the first on (from the last back when `fromEnd`), this view and
        // `other` hold alike: over the same bytes counted from each view's start (end), within
        // the first (last) `within` bytes of both, with attributes that share storage or compare
        // equal; `maxRuns` at most. Read in place, for comparing two versions of a long text.
        [[nodiscard]] std::size_t alikeRuns(const Runs& other, std::size_t within, bool fromEnd,
                                            std::size_t maxRuns) const;

        using Iterator = platform::IndexIterator<Runs, Run>;
        [[nodiscard]] Iterator begin() const { return {this, 0}; }
        [[nodiscard]] Iterator end() const { return {this, size()}; }

    private:
        friend class AttributedString;
        friend class AttributedSubstring;
        Runs(std::shared_ptr<const Storage> storage, Range range);

        std::shared_ptr<const Storage> storage_;
        Range range_;
        std::size_t first_ = 0; // storage run indices [first_, last_)
        std::size_t last_ = 0;
    };

    AttributedString();
    // `text` (UTF-8) with `attributes` on all of it.
    explicit AttributedString(std::string_view text, AttributeContainer attributes = {});
    explicit AttributedString(const AttributedSubstring& substring);

    // The characters as UTF-8.
    [[nodiscard]] std::string_view characters() const noexcept;
    [[nodiscard]] std::string string() const { return std::string(characters()); }
    [[nodiscard]] bool empty() const noexcept { return characters().empty(); }

    [[nodiscard]] Index startIndex() const noexcept { return {0}; }
    [[nodiscard]] Index endIndex() const noexcept { return {characters().size()}; }
    [[nodiscard]] Range fullRange() const noexcept { return {startIndex(), endIndex()}; }

    [[nodiscard]] Runs runs() const;
    // The slice over `range` (clamped to the string and to character boundaries of UTF-8).
    [[nodiscard]] AttributedSubstring operator[](Range range) const;
    [[nodiscard]] AttributedSubstring slice() const;

    // Room for this many bytes of characters and runs in all, so that building a long text by
    // appending does not move it again and again.
    void reserve(std::size_t characters, std::size_t runs);

    // Appends with coalescing: text whose attributes equal the last run's extends that run.
    void append(std::string_view text, const AttributeContainer& attributes);
    void append(const AttributedString& other);
    void append(const AttributedSubstring& other);
    AttributedString& operator+=(const AttributedString& other) {
        append(other);
        return *this;
    }
    friend AttributedString operator+(AttributedString a, const AttributedString& b) {
        a.append(b);
        return a;
    }

    // Attribute edits over a range (clamped); runs split at its ends and coalesce afterwards.
    void setAttributes(Range range, const AttributeContainer& attributes);
    void mergeAttributes(Range range, const AttributeContainer& attributes);
    template <AttributeKey Key>
    void setAttribute(Range range, typename Key::Value value) {
        AttributeContainer container;
        container.set<Key>(std::move(value));
        mergeAttributes(range, container);
    }
    template <AttributeKey Key>
    void removeAttribute(Range range) {
        transformAttributes(range, [](AttributeContainer& c) { c.remove<Key>(); });
    }
    // Replaces the characters of `range` by `replacement`, attributes and all.
    void replaceSubrange(Range range, const AttributedString& replacement);

    // UTF-16 length and conversions between indices and UTF-16 offsets from the start.
    [[nodiscard]] std::size_t utf16Length() const noexcept;
    [[nodiscard]] std::size_t utf16Offset(Index index) const noexcept;
    // The index at a UTF-16 offset; an offset inside a surrogate pair or past the end gives the
    // next scalar boundary (the end at most).
    [[nodiscard]] Index index(std::size_t utf16Offset) const noexcept;
    // Moves by user-perceived characters (extended grapheme clusters); clamped at both ends.
    [[nodiscard]] Index index(Index from, std::ptrdiff_t characterOffset) const;
    [[nodiscard]] std::size_t characterCount() const;
    [[nodiscard]] std::u32string unicodeScalars() const;

    // One line per run: "text" {attributes}. For test failures and logs.
    [[nodiscard]] std::string description() const;

    friend bool operator==(const AttributedString& a, const AttributedString& b);

private:
    friend class AttributedSubstring;
    Storage& mutableStorage();
    void transformAttributes(Range range, const std::function<void(AttributeContainer&)>& edit);

    std::shared_ptr<Storage> storage_;
};

class AttributedSubstring {
public:
    using Index = AttributedString::Index;
    using Range = AttributedString::Range;

    [[nodiscard]] std::string_view characters() const noexcept;
    [[nodiscard]] bool empty() const noexcept { return range_.empty(); }
    [[nodiscard]] Index startIndex() const noexcept { return range_.lowerBound; }
    [[nodiscard]] Index endIndex() const noexcept { return range_.upperBound; }
    [[nodiscard]] Range range() const noexcept { return range_; }
    [[nodiscard]] AttributedString::Runs runs() const;
    // A narrower slice of the same base (clamped to this slice).
    [[nodiscard]] AttributedSubstring operator[](Range range) const;

    friend bool operator==(const AttributedSubstring& a, const AttributedSubstring& b);

private:
    friend class AttributedString;
    AttributedSubstring(std::shared_ptr<const AttributedString::Storage> storage, Range range)
        : storage_(std::move(storage))
        , range_(range) {}

    std::shared_ptr<const AttributedString::Storage> storage_;
    Range range_;
};

// The platform's reference attributed string: an immutable shared attributed string whose
// identity is its address. Its length unit is the UTF-16 code unit.
using ReferenceAttributedString = std::shared_ptr<const AttributedString>;

[[nodiscard]] inline ReferenceAttributedString makeReference(AttributedString string) {
    return std::make_shared<const AttributedString>(std::move(string));
}

} // namespace platform
