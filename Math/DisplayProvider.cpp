#include "Math/DisplayProvider.hpp"

#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"
#include "platform/foundation/Hash.hpp"

#include <cmath>
#include <functional>
#include <list>
#include <unordered_map>
#include <utility>

namespace Math {

namespace {

// A map that keeps at most `limit` entries, forgetting the least recently used one first.
template <class Key, class Value, class Hash = std::hash<Key>>
class BoundedCache {
public:
    explicit BoundedCache(std::size_t limit)
        : limit_(limit) {}

    const Value* find(const Key& key) {
        const auto found = index_.find(key);
        if (found == index_.end()) {
            return nullptr;
        }
        order_.splice(order_.begin(), order_, found->second);
        return &found->second->second;
    }

    void store(const Key& key, Value value) {
        if (limit_ == 0) {
            return;
        }
        if (const auto found = index_.find(key); found != index_.end()) {
            found->second->second = std::move(value);
            order_.splice(order_.begin(), order_, found->second);
            return;
        }
        order_.emplace_front(key, std::move(value));
        index_.emplace(key, order_.begin());
        if (order_.size() > limit_) {
            index_.erase(order_.back().first);
            order_.pop_back();
        }
    }

    std::size_t size() const { return order_.size(); }

private:
    using Entry = std::pair<Key, Value>;
    std::size_t limit_;
    std::list<Entry> order_;
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> index_;
};

} // namespace

struct DisplayProvider::Cache {
    Cache(std::size_t atomListLimit, std::size_t displayNodeLimit)
        : atomList(atomListLimit)
        , displayNode(displayNodeLimit) {}
    BoundedCache<std::string, std::shared_ptr<AtomList>> atomList;
    BoundedCache<Key, std::shared_ptr<DisplayList>, KeyHash> displayNode;
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

DisplayProvider::DisplayProvider(std::size_t atomListLimit, std::size_t displayNodeLimit)
    : cache_(std::make_unique<Cache>(atomListLimit, displayNodeLimit)) {}

DisplayProvider::~DisplayProvider() = default;

double DisplayProvider::keyWidth(std::optional<double> width) {
    if (!width || !(*width > 0) || !std::isfinite(*width)) {
        return 0;
    }
    return std::round(*width * 2) / 2;
}

std::shared_ptr<DisplayList> DisplayProvider::displayNode(std::string_view latex, const Font& font,
                                                          Style::Level style,
                                                          std::optional<double> width) {
    Key key{std::string(latex), font, style, keyWidth(width)};
    return cache_.withWriteLock([&](std::unique_ptr<Cache>& cache) -> std::shared_ptr<DisplayList> {
        if (const auto* hit = cache->displayNode.find(key)) {
            return *hit;
        }
        std::shared_ptr<AtomList> parsed;
        if (const auto* list = cache->atomList.find(key.latex)) {
            parsed = *list;
        } else {
            parsed = parseLatex(latex);
            if (!parsed) {
                return nullptr;
            }
            cache->atomList.store(key.latex, parsed);
        }
        const auto root = Typesetter::createLine(
            *finalizedAtomList(*parsed), PlatformFont::make(font), style, false, key.proposedWidth);
        if (!root) {
            return nullptr;
        }
        cache->displayNode.store(key, root);
        const double natural = keyWidth(root->width());
        if (natural != key.proposedWidth) {
            Key naturalKey = key;
            naturalKey.proposedWidth = natural;
            cache->displayNode.store(naturalKey, root);
        }
        return root;
    });
}

std::size_t DisplayProvider::atomListCount() {
    return cache_.withWriteLock(
        [](std::unique_ptr<Cache>& cache) { return cache->atomList.size(); });
}

std::size_t DisplayProvider::displayNodeCount() {
    return cache_.withWriteLock(
        [](std::unique_ptr<Cache>& cache) { return cache->displayNode.size(); });
}

} // namespace Math
