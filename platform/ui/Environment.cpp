#include "platform/ui/Environment.hpp"

#include <algorithm>

namespace platform::ui {

namespace detail {

void EnvironmentReads::add(const void* key) {
    const std::uint64_t bit = environmentKeyBit(key);
    if ((recorded & bit) == 0 || std::find(keys.begin(), keys.end(), key) == keys.end()) {
        recorded |= bit;
        keys.push_back(key);
    }
}

} // namespace detail

namespace {
// Beyond this many links a write folds the chain, so that reads stay short.
constexpr std::uint32_t kFoldLength = 24;
} // namespace

EnvironmentValues::EnvironmentValues(const EnvironmentValues& other)
    : top_(other.top_) {
    if (auto* reads = detail::currentEnvironmentReads()) {
        reads->all = true;
    }
}

EnvironmentValues& EnvironmentValues::operator=(const EnvironmentValues& other) {
    if (auto* reads = detail::currentEnvironmentReads()) {
        reads->all = true;
    }
    top_ = other.top_;
    return *this;
}

const EnvironmentValues::Entry* EnvironmentValues::findUnrecorded(const void* key) const {
    // The walk ends where no link below wrote the key.
    const std::uint64_t bit = keyBit(key);
    for (const Entry* e = top_.get(); e != nullptr && (e->keysBelow & bit) != 0;
         e = e->next.get()) {
        if (e->key == key) {
            return e;
        }
    }
    return nullptr;
}

const EnvironmentValues::Entry* EnvironmentValues::find(const void* key) const {
    if (auto* reads = detail::currentEnvironmentReads()) {
        reads->add(key);
    }
    return findUnrecorded(key);
}

void EnvironmentValues::setShared(const void* key, std::shared_ptr<const void> value,
                                  bool (*equal)(const void*, const void*)) {
    std::shared_ptr<const Entry> next = top_;
    if (top_ && top_->length >= kFoldLength) {
        // Folded: the newest write of each other key, linked again oldest first, the values
        // shared with the old chain.
        std::vector<const Entry*> newest;
        for (const Entry* e = top_.get(); e != nullptr; e = e->next.get()) {
            const bool shadowed =
                e->key == key || std::any_of(newest.begin(), newest.end(),
                                             [e](const Entry* n) { return n->key == e->key; });
            if (!shadowed) {
                newest.push_back(e);
            }
        }
        std::shared_ptr<const Entry> folded;
        std::uint32_t length = 0;
        for (auto it = newest.rbegin(); it != newest.rend(); ++it) {
            auto link = std::make_shared<Entry>();
            link->key = (*it)->key;
            link->value = (*it)->value;
            link->equal = (*it)->equal;
            link->keysBelow = keyBit(link->key) | (folded ? folded->keysBelow : 0);
            link->next = std::move(folded);
            link->length = ++length;
            folded = std::move(link);
        }
        next = std::move(folded);
    }
    auto entry = std::make_shared<Entry>();
    entry->key = key;
    entry->value = std::move(value);
    entry->equal = equal;
    entry->length = next ? next->length + 1 : 1;
    entry->keysBelow = keyBit(key) | (next ? next->keysBelow : 0);
    entry->next = std::move(next);
    top_ = std::move(entry);
}

bool EnvironmentValues::sameEntry(const Entry* a, const Entry* b) {
    if (a == b) {
        return true;
    }
    if (a == nullptr || b == nullptr) {
        return false;
    }
    return a->value == b->value ||
           (a->equal != nullptr && a->equal(a->value.get(), b->value.get()));
}

bool EnvironmentValues::sameValue(const void* key, const EnvironmentValues& other) const {
    if (top_ == other.top_) {
        return true;
    }
    return sameEntry(findUnrecorded(key), other.findUnrecorded(key));
}

bool operator==(const EnvironmentValues& a, const EnvironmentValues& b) {
    if (a.top_ == b.top_) {
        return true;
    }
    // Only keys written above the chains' common part can differ.
    const EnvironmentValues::Entry* x = a.top_.get();
    const EnvironmentValues::Entry* y = b.top_.get();
    std::vector<const void*> keys;
    const auto length = [](const EnvironmentValues::Entry* e) { return e ? e->length : 0U; };
    while (x != y) {
        if (length(x) >= length(y)) {
            keys.push_back(x->key);
            x = x->next.get();
        } else {
            keys.push_back(y->key);
            y = y->next.get();
        }
    }
    for (const void* key : keys) {
        if (!EnvironmentValues::sameEntry(a.findUnrecorded(key), b.findUnrecorded(key))) {
            return false;
        }
    }
    return true;
}

std::optional<Font> EnvironmentValues::font() const {
    return get<FontKey>();
}

void EnvironmentValues::setFont(std::optional<Font> font) {
    set<FontKey>(std::move(font));
}

ColorScheme EnvironmentValues::colorScheme() const {
    return get<ColorSchemeKey>();
}

ColorSchemeContrast EnvironmentValues::colorSchemeContrast() const {
    return get<ColorSchemeContrastKey>();
}

double EnvironmentValues::displayScale() const {
    return get<DisplayScaleKey>();
}

LayoutDirection EnvironmentValues::layoutDirection() const {
    return get<LayoutDirectionKey>();
}

OpenURLAction::OpenURLAction()
    : handler_(
          std::make_shared<const Handler>([](const platform::URL&) { return Result::discarded; })) {
}

OpenURLAction::OpenURLAction(Handler handler)
    : handler_(std::make_shared<const Handler>(std::move(handler))) {}

OpenURLAction::Result OpenURLAction::operator()(const platform::URL& url) const {
    return (*handler_)(url);
}

} // namespace platform::ui
