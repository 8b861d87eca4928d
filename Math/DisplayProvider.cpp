#include "Math/DisplayProvider.hpp"

#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"
#include "platform/foundation/FreedMemory.hpp"
#include "platform/foundation/Hash.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <list>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Math {

namespace {

// What a value of a cache holds besides the cache's own bookkeeping, estimated from the sizes of
// the objects and of the buffers they own. Roots and lists share nothing with other entries but
// their font faces, which the registry owns.

std::size_t stringBytes(const std::string& text) {
    // Short strings live inside the object.
    return text.capacity() > std::string().capacity() ? text.capacity() + 1 : 0;
}

template <class T>
std::size_t vectorBytes(const std::vector<T>& values) {
    return values.capacity() * sizeof(T);
}

// A make_shared block: the object and its reference counts.
template <class T>
constexpr std::size_t sharedBytes() {
    return sizeof(T) + 2 * sizeof(long);
}

// Each estimate stops once it passes `cap`: a tree larger than a cache's whole budget is not kept
// whatever its size, and walking all of a formula of a megabyte took a tenth of its typesetting.
std::size_t atomBytes(const Atom& root, std::size_t cap) {
    // Nearly every atom of a long formula is a plain symbol: counted as the walk below counts
    // it, without the walk's stacks.
    if (typeid(root) == typeid(Atom) && root.fusedAtoms.capacity() == 0 && !root.subscript() &&
        !root.superscript()) {
        return stringBytes(root.nucleus) + sharedBytes<LargeOperator>();
    }
    std::size_t bytes = 0;
    // A stack, not recursion: a formula nests as deep as its author likes.
    std::vector<const Atom*> atoms{&root};
    std::vector<const AtomList*> lists;
    const auto list = [&lists](const std::shared_ptr<AtomList>& inner) {
        if (inner) {
            lists.push_back(inner.get());
        }
    };
    while ((!atoms.empty() || !lists.empty()) && bytes <= cap) {
        if (!lists.empty()) {
            const AtomList* inner = lists.back();
            lists.pop_back();
            bytes += sharedBytes<AtomList>() + vectorBytes(inner->atoms);
            for (const auto& atom : inner->atoms) {
                if (atom) {
                    atoms.push_back(atom.get());
                }
            }
            continue;
        }
        const Atom& atom = *atoms.back();
        atoms.pop_back();
        bytes += stringBytes(atom.nucleus) + vectorBytes(atom.fusedAtoms);
        for (const auto& part : atom.fusedAtoms) {
            if (part) {
                atoms.push_back(part.get());
            }
        }
        list(atom.subscript());
        list(atom.superscript());
        if (const auto* fraction = dynamic_cast<const Fraction*>(&atom)) {
            bytes += sharedBytes<Fraction>() + stringBytes(fraction->leftDelimiter) +
                     stringBytes(fraction->rightDelimiter) + stringBytes(fraction->alignment);
            list(fraction->numerator);
            list(fraction->denominator);
        } else if (const auto* radical = dynamic_cast<const Radical*>(&atom)) {
            bytes += sharedBytes<Radical>();
            list(radical->radicand);
            list(radical->degree);
        } else if (const auto* inner = dynamic_cast<const Inner*>(&atom)) {
            bytes += sharedBytes<Inner>();
            list(inner->innerList);
            for (const auto* boundary :
                 {inner->leftBoundary().get(), inner->rightBoundary().get()}) {
                if (boundary) {
                    atoms.push_back(boundary);
                }
            }
        } else if (const auto* underline = dynamic_cast<const Underline*>(&atom)) {
            bytes += sharedBytes<Underline>();
            list(underline->innerList);
        } else if (const auto* overline = dynamic_cast<const Overline*>(&atom)) {
            bytes += sharedBytes<Overline>();
            list(overline->innerList);
        } else if (const auto* accent = dynamic_cast<const Accent*>(&atom)) {
            bytes += sharedBytes<Accent>();
            list(accent->innerList);
        } else if (const auto* colour = dynamic_cast<const Color*>(&atom)) {
            bytes += sharedBytes<Color>() + stringBytes(colour->colorString);
            list(colour->innerList);
        } else if (const auto* textColour = dynamic_cast<const TextColor*>(&atom)) {
            bytes += sharedBytes<TextColor>() + stringBytes(textColour->colorString);
            list(textColour->innerList);
        } else if (const auto* box = dynamic_cast<const ColorBox*>(&atom)) {
            bytes += sharedBytes<ColorBox>() + stringBytes(box->colorString);
            list(box->innerList);
        } else if (const auto* table = dynamic_cast<const Table*>(&atom)) {
            bytes += sharedBytes<Table>() + stringBytes(table->environment) +
                     vectorBytes(table->alignments) + vectorBytes(table->cells);
            for (const auto& row : table->cells) {
                bytes += vectorBytes(row);
                for (const auto& cell : row) {
                    list(cell);
                }
            }
        } else {
            bytes += sharedBytes<LargeOperator>(); // the largest of the classes without lists
        }
    }
    return bytes;
}

template <class T>
std::size_t presentCount(const std::vector<std::shared_ptr<T>>& values) {
    return static_cast<std::size_t>(
        std::count_if(values.begin(), values.end(), [](const auto& value) { return value; }));
}

// Less than or as much as atomBytes counts for `atom`, found without walking it: every atom is at
// least a plain one, and so is every atom of its scripts.
std::size_t leastAtomBytes(const Atom& atom) {
    std::size_t bytes = sharedBytes<Atom>();
    for (const auto* script : {atom.subscript().get(), atom.superscript().get()}) {
        if (script) {
            bytes += sharedBytes<AtomList>() + vectorBytes(script->atoms) +
                     presentCount(script->atoms) * sharedBytes<Atom>();
        }
    }
    return bytes;
}

std::size_t listBytes(const AtomList& root, std::size_t cap) {
    std::size_t bytes = sharedBytes<AtomList>() + vectorBytes(root.atoms);
    // A formula of a megabyte is known to be too large from its atoms and their scripts alone,
    // without walking a third of it.
    std::size_t least = bytes;
    for (const auto& atom : root.atoms) {
        least += atom ? leastAtomBytes(*atom) : 0;
    }
    if (least > cap) {
        return least;
    }
    for (const auto& atom : root.atoms) {
        if (bytes > cap) {
            break;
        }
        bytes += atom ? atomBytes(*atom, cap) : 0;
    }
    return bytes;
}

// Less than or as much as displayBytes counts for a list's child, found without walking it: a text
// run with its atoms, a list or a large operator with the nodes right inside it, each of those at
// least a node.
std::size_t leastChildBytes(const DisplayNode& node) {
    const auto leastListBytes = [](const DisplayList* list) {
        return list ? sharedBytes<DisplayList>() + vectorBytes(list->children) +
                          presentCount(list->children) * sharedBytes<DisplayNode>()
                    : 0;
    };
    // The classes told apart are final: the node's type is its class.
    static_assert(std::is_final_v<DisplayTextRun> && std::is_final_v<DisplayList> &&
                  std::is_final_v<DisplayLargeOperator>);
    const std::type_info& type = typeid(node);
    if (type == typeid(DisplayTextRun)) {
        const auto& run = static_cast<const DisplayTextRun&>(node);
        std::size_t bytes =
            sharedBytes<DisplayTextRun>() + vectorBytes(run.atoms) + vectorBytes(run.shaped.glyphs);
        for (const auto& atom : run.atoms) {
            bytes += atom ? leastAtomBytes(*atom) : 0;
        }
        return bytes;
    }
    if (type == typeid(DisplayList)) {
        return leastListBytes(static_cast<const DisplayList*>(&node));
    }
    if (type == typeid(DisplayLargeOperator)) {
        const auto& op = static_cast<const DisplayLargeOperator&>(node);
        return sharedBytes<DisplayLargeOperator>() + leastListBytes(op.upperLimit.get()) +
               leastListBytes(op.lowerLimit.get()) + (op.nucleus ? sharedBytes<DisplayNode>() : 0);
    }
    return sharedBytes<DisplayNode>();
}

std::size_t displayBytes(const DisplayNode& root, std::size_t cap) {
    // As for lists: a formula of a megabyte is known to be too large from the nodes of its root's
    // children.
    if (const auto* list = dynamic_cast<const DisplayList*>(&root)) {
        std::size_t least = sharedBytes<DisplayList>() + vectorBytes(list->children);
        for (const auto& child : list->children) {
            least += child ? leastChildBytes(*child) : 0;
        }
        if (least > cap) {
            return least;
        }
    }
    std::size_t bytes = 0;
    std::vector<const DisplayNode*> nodes{&root};
    const auto push = [&nodes](const auto& node) {
        if (node) {
            nodes.push_back(node.get());
        }
    };
    while (!nodes.empty() && bytes <= cap) {
        const DisplayNode& node = *nodes.back();
        nodes.pop_back();
        if (const auto* list = dynamic_cast<const DisplayList*>(&node)) {
            bytes += sharedBytes<DisplayList>() + vectorBytes(list->children);
            for (const auto& child : list->children) {
                push(child);
            }
        } else if (const auto* run = dynamic_cast<const DisplayTextRun*>(&node)) {
            // A run keeps the atoms it renders, and with them their scripts.
            const AttributedLine& line = run->attributedString;
            bytes += sharedBytes<DisplayTextRun>() + stringBytes(line.text()) +
                     vectorBytes(line.kerns()) + vectorBytes(line.colors()) +
                     vectorBytes(run->shaped.glyphs) + vectorBytes(run->atoms);
            for (const auto& atom : run->atoms) {
                bytes += atom ? atomBytes(*atom, cap) : 0;
            }
        } else if (const auto* glyphs = dynamic_cast<const DisplayGlyphRun*>(&node)) {
            bytes += sharedBytes<DisplayGlyphRun>() + vectorBytes(glyphs->glyphs) +
                     vectorBytes(glyphs->offsets);
        } else if (const auto* fraction = dynamic_cast<const DisplayFraction*>(&node)) {
            bytes += sharedBytes<DisplayFraction>();
            push(fraction->numerator);
            push(fraction->denominator);
        } else if (const auto* radical = dynamic_cast<const DisplayRadical*>(&node)) {
            bytes += sharedBytes<DisplayRadical>();
            push(radical->radicand);
            push(radical->degree);
            push(radical->radicalGlyph);
        } else if (const auto* accent = dynamic_cast<const DisplayAccent*>(&node)) {
            bytes += sharedBytes<DisplayAccent>();
            push(accent->accentee);
            push(accent->accent);
        } else if (const auto* line = dynamic_cast<const DisplayLine*>(&node)) {
            bytes += sharedBytes<DisplayLine>();
            push(line->inner);
        } else if (const auto* op = dynamic_cast<const DisplayLargeOperator*>(&node)) {
            bytes += sharedBytes<DisplayLargeOperator>();
            push(op->upperLimit);
            push(op->lowerLimit);
            push(op->nucleus);
        } else {
            bytes += sharedBytes<DisplayGlyph>();
        }
    }
    return bytes;
}

std::size_t keyTextBytes(const std::string& key) {
    return stringBytes(key);
}
std::size_t keyTextBytes(const DisplayProvider::Key& key) {
    return stringBytes(key.latex);
}

// A map that keeps at most `limit` entries and at most `byteLimit` bytes of keys and values,
// forgetting the least recently used entries first. Entries may share a value (a root kept
// under two widths): a shared value counts once, for as long as an entry holds it. A value larger
// than the whole byte limit is not kept.
template <class Key, class Value, class Hash = std::hash<Key>>
class BoundedCache {
public:
    BoundedCache(std::size_t limit, std::size_t byteLimit)
        : limit_(limit)
        , byteLimit_(byteLimit) {}

    const Value* find(const Key& key) {
        const auto found = index_.find(key);
        if (found == index_.end()) {
            return nullptr;
        }
        order_.splice(order_.begin(), order_, found->second);
        return &found->second->value;
    }

    // `bytes` estimates what the value holds; the entry's own cost is added here.
    void store(const Key& key, Value value, std::size_t bytes) {
        if (const auto found = index_.find(key); found != index_.end()) {
            const auto entry = found->second;
            release(*entry);
            index_.erase(found);
            order_.erase(entry);
        }
        // The entry in the list and in the map, each with a copy of the key.
        const std::size_t entryBytes =
            sizeof(Entry) + sizeof(Key) + 8 * sizeof(void*) + 2 * keyTextBytes(key);
        if (limit_ == 0 || entryBytes + bytes > byteLimit_) {
            return;
        }
        order_.push_front({key, std::move(value), entryBytes});
        index_.emplace(key, order_.begin());
        hold(order_.front(), bytes);
        while (order_.size() > limit_ || bytes_ > byteLimit_) {
            release(order_.back());
            index_.erase(order_.back().key);
            order_.pop_back();
        }
    }

    // Whether `key` is kept, without making it the most recently used.
    bool contains(const Key& key) const { return index_.contains(key); }
    std::size_t size() const { return order_.size(); }
    std::size_t bytes() const { return bytes_; }
    std::size_t byteLimit() const { return byteLimit_; }

private:
    struct Entry {
        Key key;
        Value value;
        std::size_t entryBytes = 0;
    };
    struct Held {
        std::size_t bytes = 0;
        std::size_t entries = 0;
    };

    void hold(const Entry& entry, std::size_t bytes) {
        Held& held = held_[entry.value.get()];
        if (held.entries++ == 0) {
            held.bytes = bytes;
            bytes_ += bytes;
        }
        bytes_ += entry.entryBytes;
    }

    void release(const Entry& entry) {
        bytes_ -= entry.entryBytes;
        const auto found = held_.find(entry.value.get());
        if (found != held_.end() && --found->second.entries == 0) {
            bytes_ -= found->second.bytes;
            held_.erase(found);
        }
    }

    std::size_t limit_;
    std::size_t byteLimit_;
    std::size_t bytes_ = 0;
    std::list<Entry> order_;
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> index_;
    std::unordered_map<const void*, Held> held_;
};

} // namespace

struct DisplayProvider::Cache {
    explicit Cache(const Limits& limits)
        : atomList(limits.atomLists, limits.atomListBytes)
        , displayNode(limits.displayNodes, limits.displayNodeBytes)
        , measure(limits.measures, limits.measureBytes) {}
    BoundedCache<std::string, std::shared_ptr<AtomList>> atomList;
    BoundedCache<Key, std::shared_ptr<DisplayList>, KeyHash> displayNode;
    // Measures are small: their cost is their key's text.
    BoundedCache<Key, std::shared_ptr<const Measure>, KeyHash> measure;
    // The last root too large for `displayNode`, under the keys it was asked for.
    std::shared_ptr<DisplayList> oversized;
    std::vector<Key> oversizedKeys;
    // (Both it and the list below stay until another as large takes their place.)
    // The finalised list of the last formula too large for `atomList`: a layout typesets such a
    // formula at two widths (without any, for its baseline, and at the width it is given), and
    // parsing and finalising a megabyte of LaTeX again took a fifth of the second.
    std::string oversizedLatex;
    std::shared_ptr<const AtomList> oversizedList;
    std::size_t typesets = 0;
    std::size_t parses = 0;
};

std::size_t DisplayProvider::KeyHash::operator()(const Key& key) const noexcept {
    std::size_t seed = std::hash<std::string>{}(key.latex);
    seed = platform::hashCombine(seed, std::hash<Font>{}(key.font));
    seed = platform::hashCombine(seed, static_cast<std::size_t>(key.style));
    // +0.0 and -0.0 are equal widths.
    return platform::hashCombine(
        seed, std::hash<double>{}(key.proposedWidth == 0 ? 0.0 : key.proposedWidth));
}

DisplayProvider& DisplayProvider::shared() {
    static DisplayProvider provider;
    return provider;
}

DisplayProvider::DisplayProvider()
    : DisplayProvider(Limits{}) {}

DisplayProvider::DisplayProvider(Limits limits)
    : cache_(std::make_unique<Cache>(limits)) {}

DisplayProvider::~DisplayProvider() = default;

double DisplayProvider::keyWidth(std::optional<double> width) {
    if (!width || !(*width > 0) || !std::isfinite(*width)) {
        return 0;
    }
    return std::round(*width * 2) / 2;
}

namespace {

// A formula no wider than this share of a width is set at that width as without any: the
// typesetter looks for a break only where a line would come near the width, and its estimates of
// what is still to come never miss by this much.
constexpr double fitsWithinShare = 0.6;

} // namespace

bool DisplayProvider::setsAsWithoutWidth(double naturalWidth, double width, double fontSize) {
    if (!(width > 0) || !(fontSize > 0)) {
        return false;
    }
    // Every room the typesetter asks of a line before it breaks it (the pen, the space before
    // the next symbol and that symbol alone; a built node with its scripts measured without the
    // italic correction they are set with, spaced as the next atom's type spaces it) ends within
    // two ems past the widest point the line reaches unbroken, which is its natural width.
    return naturalWidth <= fitsWithinShare * width || naturalWidth + 2 * fontSize <= width;
}

std::shared_ptr<DisplayList> DisplayProvider::find(Cache& cache, const Key& key) {
    const auto exact = [&cache](const Key& wanted) -> std::shared_ptr<DisplayList> {
        if (const auto* hit = cache.displayNode.find(wanted)) {
            return *hit;
        }
        if (cache.oversized && std::find(cache.oversizedKeys.begin(), cache.oversizedKeys.end(),
                                         wanted) != cache.oversizedKeys.end()) {
            return cache.oversized;
        }
        return nullptr;
    };
    if (auto found = exact(key)) {
        return found;
    }
    // A layout measures a formula without a width (its baseline, its ideal size) before the
    // width it is given: a formula that fits that width with room to spare is not set again.
    if (key.proposedWidth > 0) {
        Key unbroken = key;
        unbroken.proposedWidth = 0;
        if (auto root = exact(unbroken);
            root && setsAsWithoutWidth(root->width(), key.proposedWidth, key.font.size)) {
            return root;
        }
    }
    return nullptr;
}

std::shared_ptr<DisplayList> DisplayProvider::typeset(Cache& cache, const Key& key) {
    // The root held for being too large stays while other formulas are typeset, which are small
    // in all but rare cases: it is drawn again, strip by strip, after any of them, and typesetting
    // it again took a second each time. It goes when memory is needed for another as large: before
    // the same formula is set at another width, or one whose parsed list is itself too large to
    // keep, so that two such trees are not held at once.
    const auto dropOversized = [&cache] {
        if (cache.oversized) {
            cache.oversized.reset();
            cache.oversizedKeys.clear();
            // Its pages are given back before the next tree is made, which would not reuse most
            // of them: otherwise both trees' worth stays resident.
            platform::releaseFreedMemory();
        }
    };
    if (!cache.oversizedKeys.empty() && cache.oversizedKeys.front().latex == key.latex) {
        dropOversized();
    }
    // The typesetter leaves the list it is given as it is, so one finalised list serves every
    // width.
    std::shared_ptr<const AtomList> finalized;
    if (const auto* list = cache.atomList.find(key.latex)) {
        finalized = finalizedAtomList(**list);
    } else if (cache.oversizedList && cache.oversizedLatex == key.latex) {
        finalized = cache.oversizedList;
    } else {
        std::shared_ptr<AtomList> parsed = parseLatex(key.latex);
        ++cache.parses;
        if (!parsed) {
            return nullptr;
        }
        cache.atomList.store(key.latex, parsed, listBytes(*parsed, cache.atomList.byteLimit()));
        finalized = finalizedAtomList(*parsed);
        if (!cache.atomList.contains(key.latex)) {
            // The parsed list goes here, before the typesetting, which makes several times its
            // size; its finalised copy is kept in its place.
            cache.oversizedList = finalized;
            cache.oversizedLatex = key.latex;
        }
    }
    if (finalized == cache.oversizedList) {
        dropOversized();
    }
    ++cache.typesets;
    const auto root = Typesetter::createLine(std::move(finalized), PlatformFont::make(key.font),
                                             key.style, false, key.proposedWidth);
    if (!root) {
        return nullptr;
    }
    const std::size_t bytes = displayBytes(*root, cache.displayNode.byteLimit());
    Key naturalKey = key;
    naturalKey.proposedWidth = keyWidth(root->width());
    cache.displayNode.store(key, root, bytes);
    if (naturalKey.proposedWidth != key.proposedWidth) {
        cache.displayNode.store(naturalKey, root, bytes);
    }
    if (!cache.displayNode.contains(key)) {
        // Too large to keep: held alone until another takes its place.
        dropOversized();
        cache.oversized = root;
        cache.oversizedKeys = {key};
        if (naturalKey.proposedWidth != key.proposedWidth) {
            cache.oversizedKeys.push_back(std::move(naturalKey));
        }
    }
    const auto measured = std::make_shared<const Measure>(
        Measure{root->position(), root->width(), root->ascent(), root->descent()});
    cache.measure.store(key, measured, 0);
    return root;
}

std::shared_ptr<DisplayList> DisplayProvider::displayNode(std::string_view latex, const Font& font,
                                                          Style::Level style,
                                                          std::optional<double> width) {
    Key key{std::string(latex), font, style, keyWidth(width)};
    return cache_.withWriteLock([&](std::unique_ptr<Cache>& cache) -> std::shared_ptr<DisplayList> {
        if (auto found = find(*cache, key)) {
            return found;
        }
        return typeset(*cache, key);
    });
}

std::optional<DisplayProvider::Measure> DisplayProvider::measure(std::string_view latex,
                                                                 const Font& font,
                                                                 Style::Level style,
                                                                 std::optional<double> width) {
    Key key{std::string(latex), font, style, keyWidth(width)};
    return cache_.withWriteLock([&](std::unique_ptr<Cache>& cache) -> std::optional<Measure> {
        if (const auto* known = cache->measure.find(key)) {
            return **known;
        }
        if (key.proposedWidth > 0) {
            Key unbroken = key;
            unbroken.proposedWidth = 0;
            if (const auto* known = cache->measure.find(unbroken);
                known && setsAsWithoutWidth((*known)->width, key.proposedWidth, key.font.size)) {
                return **known;
            }
        }
        auto root = find(*cache, key);
        if (!root) {
            root = typeset(*cache, key);
        }
        if (!root) {
            return std::nullopt;
        }
        return Measure{root->position(), root->width(), root->ascent(), root->descent()};
    });
}

std::size_t DisplayProvider::typesetCount() {
    return cache_.withWriteLock([](std::unique_ptr<Cache>& cache) { return cache->typesets; });
}

std::size_t DisplayProvider::parseCount() {
    return cache_.withWriteLock([](std::unique_ptr<Cache>& cache) { return cache->parses; });
}

std::size_t DisplayProvider::atomListCount() {
    return cache_.withWriteLock(
        [](std::unique_ptr<Cache>& cache) { return cache->atomList.size(); });
}

std::size_t DisplayProvider::displayNodeCount() {
    return cache_.withWriteLock(
        [](std::unique_ptr<Cache>& cache) { return cache->displayNode.size(); });
}

std::size_t DisplayProvider::atomListBytes() {
    return cache_.withWriteLock(
        [](std::unique_ptr<Cache>& cache) { return cache->atomList.bytes(); });
}

std::size_t DisplayProvider::displayNodeBytes() {
    return cache_.withWriteLock(
        [](std::unique_ptr<Cache>& cache) { return cache->displayNode.bytes(); });
}

} // namespace Math
