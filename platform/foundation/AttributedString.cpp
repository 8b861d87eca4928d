#include "platform/foundation/AttributedString.hpp"

#include "platform/foundation/Unicode.hpp"

#include <algorithm>
#include <functional>

namespace platform {

// Characters and runs; run i covers [runs[i-1].end, runs[i].end). Every run is non-empty, every
// U+FFFC is a run of its own and no two other adjacent runs hold equal attributes.
class AttributedString::Storage {
public:
    static constexpr std::string_view objectReplacement = "\xEF\xBF\xBC";

    struct RunRecord {
        std::size_t end;
        AttributeContainer attributes;
    };

    std::string text;
    std::vector<RunRecord> runs;

    [[nodiscard]] std::size_t runStart(std::size_t run) const {
        return run == 0 ? 0 : runs[run - 1].end;
    }
    // The run that holds byte `offset` (offset < text.size()).
    [[nodiscard]] std::size_t runContaining(std::size_t offset) const {
        const auto found = std::upper_bound(
            runs.begin(), runs.end(), offset,
            [](std::size_t value, const RunRecord& run) { return value < run.end; });
        return static_cast<std::size_t>(found - runs.begin());
    }
    // The same, for an offset known to lie in run `from` or after it: a slice's last run is
    // usually its first or a few after it, found in steps doubling from there rather than by a
    // search of the whole text's runs.
    [[nodiscard]] std::size_t runContaining(std::size_t offset, std::size_t from) const {
        std::size_t low = from;
        std::size_t step = 1;
        std::size_t high = from;
        while (high < runs.size() && runs[high].end <= offset) {
            low = high + 1;
            high = std::min(runs.size(), high + step);
            step *= 2;
        }
        const auto found = std::upper_bound(
            runs.begin() + static_cast<std::ptrdiff_t>(low),
            runs.begin() + static_cast<std::ptrdiff_t>(high), offset,
            [](std::size_t value, const RunRecord& run) { return value < run.end; });
        return static_cast<std::size_t>(found - runs.begin());
    }

    // Whether the text at `offset` is U+FFFC, which is then a whole run.
    [[nodiscard]] static bool standsAlone(std::string_view characters, std::size_t offset) {
        return characters.substr(offset, objectReplacement.size()) == objectReplacement;
    }
    // Whether text starting with `first` and holding `attributes` may extend the last run.
    [[nodiscard]] bool joinsLast(const AttributeContainer& attributes, bool firstAlone) const {
        return !runs.empty() && !firstAlone && !standsAlone(text, runStart(runs.size() - 1)) &&
               runs.back().attributes == attributes;
    }

    void append(std::string_view characters, const AttributeContainer& attributes) {
        while (!characters.empty()) {
            const std::size_t at = characters.find(objectReplacement);
            const std::size_t length = at == 0 ? objectReplacement.size() : at;
            const std::string_view piece = characters.substr(0, length);
            const bool joins = joinsLast(attributes, at == 0);
            text.append(piece);
            if (joins) {
                runs.back().end = text.size();
            } else {
                runs.push_back({text.size(), attributes});
            }
            characters.remove_prefix(piece.size());
        }
    }

    void appendSlice(const Storage& other, Range range) {
        if (range.empty()) {
            return;
        }
        // The characters in one piece, then the runs they had, shifted; only the first may join
        // the run before it.
        const std::size_t shift = text.size() - range.lowerBound.offset;
        std::size_t run = other.runContaining(range.lowerBound.offset);
        const bool joins =
            joinsLast(other.runs[run].attributes, standsAlone(other.text, range.lowerBound.offset));
        text.append(other.text, range.lowerBound.offset, range.length());
        for (bool first = true;; ++run, first = false) {
            const std::size_t end = std::min(other.runs[run].end, range.upperBound.offset) + shift;
            if (first && joins) {
                runs.back().end = end;
            } else {
                runs.push_back({end, other.runs[run].attributes});
            }
            if (other.runs[run].end >= range.upperBound.offset) {
                break;
            }
        }
    }

    // Splits so that a run boundary falls at `offset`; returns the index of the run that starts
    // there (runs.size() at the end).
    std::size_t split(std::size_t offset) {
        if (offset >= text.size()) {
            return runs.size();
        }
        const std::size_t run = runContaining(offset);
        if (runStart(run) == offset) {
            return run;
        }
        runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(run),
                    RunRecord{offset, runs[run].attributes});
        return run + 1;
    }

    void coalesce() {
        if (runs.size() < 2) {
            return;
        }
        std::size_t out = 0;
        for (std::size_t i = 1; i < runs.size(); ++i) {
            if (runs[i].attributes == runs[out].attributes && !standsAlone(text, runStart(i)) &&
                !standsAlone(text, out == 0 ? 0 : runs[out - 1].end)) {
                runs[out].end = runs[i].end;
            } else {
                runs[++out] = std::move(runs[i]);
            }
        }
        runs.resize(out + 1);
    }
};

namespace {

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Moves `offset` forward to the next UTF-8 sequence start (or the end).
std::size_t scalarBoundary(std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    while (offset < text.size() && isContinuationByte(text[offset])) {
        ++offset;
    }
    return offset;
}

AttributedString::Range clampRange(std::string_view text, AttributedString::Range range,
                                   AttributedString::Range within) {
    std::size_t lower =
        std::clamp(range.lowerBound.offset, within.lowerBound.offset, within.upperBound.offset);
    std::size_t upper = std::clamp(range.upperBound.offset, lower, within.upperBound.offset);
    lower = std::min(scalarBoundary(text, lower), within.upperBound.offset);
    upper = std::max(std::min(scalarBoundary(text, upper), within.upperBound.offset), lower);
    return {{lower}, {upper}};
}

std::size_t utf16Units(unsigned char lead) {
    return lead >= 0xF0 ? 2 : 1;
}

} // namespace

AttributedString::Runs::Runs(std::shared_ptr<const Storage> storage, Range range)
    : storage_(std::move(storage))
    , range_(range) {
    if (!range.empty()) {
        first_ = storage_->runContaining(range.lowerBound.offset);
        last_ = storage_->runContaining(range.upperBound.offset - 1, first_) + 1;
    }
}

AttributedString::Run AttributedString::Runs::operator[](std::size_t position) const {
    return Run{range(position), attributes(position)};
}

AttributedString::Range AttributedString::Runs::range(std::size_t position) const {
    const std::size_t run = first_ + position;
    const std::size_t start = std::max(storage_->runStart(run), range_.lowerBound.offset);
    const std::size_t end = std::min(storage_->runs[run].end, range_.upperBound.offset);
    return {{start}, {end}};
}

const AttributeContainer& AttributedString::Runs::attributes(std::size_t position) const {
    return storage_->runs[first_ + position].attributes;
}

std::size_t AttributedString::Runs::alikeRuns(const Runs& other, std::size_t within, bool fromEnd,
                                              std::size_t maxRuns) const {
    const std::size_t count = std::min({maxRuns, size(), other.size()});
    const auto& mine = storage_->runs;
    const auto& theirs = other.storage_->runs;
    const auto alike = [](const AttributeContainer& a, const AttributeContainer& b) {
        return a.sharesStorage(b) || a == b;
    };
    if (!fromEnd) {
        // A run ends where its record says, the view's last one where the view does.
        const std::size_t base = range_.lowerBound.offset;
        const std::size_t otherBase = other.range_.lowerBound.offset;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t end = std::min(mine[first_ + i].end, range_.upperBound.offset) - base;
            const std::size_t otherEnd =
                std::min(theirs[other.first_ + i].end, other.range_.upperBound.offset) - otherBase;
            if (end > within || end != otherEnd ||
                !alike(mine[first_ + i].attributes, theirs[other.first_ + i].attributes)) {
                return i;
            }
        }
        return count;
    }
    // Counted back from the views' ends: run last_-k starts at the end of the run before it, or
    // at the view's start.
    const std::size_t top = range_.upperBound.offset;
    const std::size_t otherTop = other.range_.upperBound.offset;
    for (std::size_t k = 1; k <= count; ++k) {
        const std::size_t run = last_ - k;
        const std::size_t otherRun = other.last_ - k;
        const std::size_t start = std::max(storage_->runStart(run), range_.lowerBound.offset);
        const std::size_t otherStart =
            std::max(other.storage_->runStart(otherRun), other.range_.lowerBound.offset);
        if (top - start > within || top - start != otherTop - otherStart ||
            !alike(mine[run].attributes, theirs[otherRun].attributes)) {
            return k - 1;
        }
    }
    return count;
}

AttributedString::AttributedString()
    : storage_(std::make_shared<Storage>()) {}

AttributedString::AttributedString(std::string_view text, AttributeContainer attributes)
    : storage_(std::make_shared<Storage>()) {
    storage_->append(text, attributes);
}

AttributedString::AttributedString(const AttributedSubstring& substring)
    : storage_(std::make_shared<Storage>()) {
    storage_->appendSlice(*substring.storage_, substring.range_);
}

AttributedString::Storage& AttributedString::mutableStorage() {
    if (storage_.use_count() > 1) {
        storage_ = std::make_shared<Storage>(*storage_);
    }
    return *storage_;
}

std::string_view AttributedString::characters() const noexcept {
    return storage_->text;
}

AttributedString::Runs AttributedString::runs() const {
    return Runs(storage_, fullRange());
}

AttributedSubstring AttributedString::operator[](Range range) const {
    return AttributedSubstring(storage_, clampRange(storage_->text, range, fullRange()));
}

AttributedSubstring AttributedString::slice() const {
    return AttributedSubstring(storage_, fullRange());
}

void AttributedString::reserve(std::size_t characters, std::size_t runs) {
    Storage& storage = mutableStorage();
    storage.text.reserve(characters);
    storage.runs.reserve(runs);
}

void AttributedString::append(std::string_view text, const AttributeContainer& attributes) {
    if (!text.empty()) {
        mutableStorage().append(text, attributes);
    }
}

void AttributedString::append(const AttributedString& other) {
    if (other.empty()) {
        return;
    }
    // Keep `other` alive and unchanged even when it is this very string.
    const std::shared_ptr<const Storage> source = other.storage_;
    mutableStorage().appendSlice(*source, {{0}, {source->text.size()}});
}

void AttributedString::append(const AttributedSubstring& other) {
    if (other.empty()) {
        return;
    }
    const std::shared_ptr<const Storage> source = other.storage_;
    mutableStorage().appendSlice(*source, other.range_);
}

void AttributedString::transformAttributes(Range range,
                                           const std::function<void(AttributeContainer&)>& edit) {
    range = clampRange(storage_->text, range, fullRange());
    if (range.empty()) {
        return;
    }
    Storage& storage = mutableStorage();
    const std::size_t first = storage.split(range.lowerBound.offset);
    const std::size_t last = storage.split(range.upperBound.offset);
    for (std::size_t run = first; run < last; ++run) {
        edit(storage.runs[run].attributes);
    }
    storage.coalesce();
}

void AttributedString::setAttributes(Range range, const AttributeContainer& attributes) {
    transformAttributes(range, [&](AttributeContainer& c) { c = attributes; });
}

void AttributedString::mergeAttributes(Range range, const AttributeContainer& attributes) {
    transformAttributes(range, [&](AttributeContainer& c) { c.merge(attributes); });
}

void AttributedString::replaceSubrange(Range range, const AttributedString& replacement) {
    range = clampRange(storage_->text, range, fullRange());
    const std::shared_ptr<const Storage> source = storage_;
    const std::shared_ptr<const Storage> inserted = replacement.storage_;
    auto result = std::make_shared<Storage>();
    result->text.reserve(source->text.size() - range.length() + inserted->text.size());
    result->appendSlice(*source, {{0}, range.lowerBound});
    result->appendSlice(*inserted, {{0}, {inserted->text.size()}});
    result->appendSlice(*source, {range.upperBound, {source->text.size()}});
    storage_ = std::move(result);
}

std::size_t AttributedString::utf16Length() const noexcept {
    return utf16Offset(endIndex());
}

std::size_t AttributedString::utf16Offset(Index index) const noexcept {
    const std::string_view text = storage_->text;
    const std::size_t end = std::min(index.offset, text.size());
    std::size_t units = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (!isContinuationByte(text[i])) {
            units += utf16Units(static_cast<unsigned char>(text[i]));
        }
    }
    return units;
}

AttributedString::Index AttributedString::index(std::size_t utf16Offset) const noexcept {
    const std::string_view text = storage_->text;
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < text.size() && units < utf16Offset) {
        units += utf16Units(static_cast<unsigned char>(text[i]));
        i = scalarBoundary(text, i + 1);
    }
    return {i};
}

AttributedString::Index AttributedString::index(Index from, std::ptrdiff_t characterOffset) const {
    const std::string_view text = storage_->text;
    const std::vector<std::string_view> clusters = unicode::graphemeClusters(text);
    std::vector<std::size_t> starts;
    starts.reserve(clusters.size() + 1);
    for (const std::string_view cluster : clusters) {
        starts.push_back(static_cast<std::size_t>(cluster.data() - text.data()));
    }
    starts.push_back(text.size());
    const auto at = std::lower_bound(starts.begin(), starts.end(), from.offset);
    const std::ptrdiff_t position = at - starts.begin();
    const std::ptrdiff_t target = std::clamp<std::ptrdiff_t>(
        position + characterOffset, 0, static_cast<std::ptrdiff_t>(starts.size()) - 1);
    return {starts[static_cast<std::size_t>(target)]};
}

std::size_t AttributedString::characterCount() const {
    return unicode::graphemeClusters(storage_->text).size();
}

std::u32string AttributedString::unicodeScalars() const {
    return unicode::scalars(storage_->text);
}

std::string AttributedString::description() const {
    std::string out;
    for (const Run& run : runs()) {
        out += "\"";
        out += characters().substr(run.range.lowerBound.offset, run.range.length());
        out += "\" " + run.attributes.description() + "\n";
    }
    return out;
}

bool operator==(const AttributedString& a, const AttributedString& b) {
    if (a.storage_ == b.storage_) {
        return true;
    }
    if (a.storage_->text != b.storage_->text ||
        a.storage_->runs.size() != b.storage_->runs.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.storage_->runs.size(); ++i) {
        if (a.storage_->runs[i].end != b.storage_->runs[i].end ||
            !(a.storage_->runs[i].attributes == b.storage_->runs[i].attributes)) {
            return false;
        }
    }
    return true;
}

std::string_view AttributedSubstring::characters() const noexcept {
    return std::string_view(storage_->text).substr(range_.lowerBound.offset, range_.length());
}

AttributedString::Runs AttributedSubstring::runs() const {
    return AttributedString::Runs(storage_, range_);
}

AttributedSubstring AttributedSubstring::operator[](Range range) const {
    return AttributedSubstring(storage_, clampRange(storage_->text, range, range_));
}

bool operator==(const AttributedSubstring& a, const AttributedSubstring& b) {
    if (a.storage_ == b.storage_ && a.range_ == b.range_) {
        return true;
    }
    if (a.characters() != b.characters()) {
        return false;
    }
    // Compared in place, as copies of the slices would compare: a slice's runs are its base's
    // clipped to it, and the base's are coalesced already, so a copy would hold the same runs.
    const std::vector<AttributedString::Storage::RunRecord>& mine = a.storage_->runs;
    const std::vector<AttributedString::Storage::RunRecord>& theirs = b.storage_->runs;
    if (a.range_.empty()) {
        return true;
    }
    const std::size_t aStart = a.range_.lowerBound.offset;
    const std::size_t bStart = b.range_.lowerBound.offset;
    const std::size_t length = a.range_.length();
    std::size_t i = a.storage_->runContaining(aStart);
    std::size_t j = b.storage_->runContaining(bStart);
    for (;; ++i, ++j) {
        const std::size_t aEnd = std::min(mine[i].end - aStart, length);
        const std::size_t bEnd = std::min(theirs[j].end - bStart, length);
        if (aEnd != bEnd || !(mine[i].attributes == theirs[j].attributes)) {
            return false;
        }
        if (aEnd == length) {
            return true;
        }
    }
}

} // namespace platform
