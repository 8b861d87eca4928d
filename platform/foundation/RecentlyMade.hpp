#pragma once

// The last few values made from their keys, kept so that the same few requests asked over and
// over (a page's fonts, its colours) are answered without making them again. Meant to be kept
// per thread: it has no lock. The oldest entry gives way to a new one.

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <utility>

namespace platform {

template <class Key, class Value, std::size_t Kept = 8>
class RecentlyMade {
public:
    // The value kept for `key`, or nullptr.
    [[nodiscard]] const Value* find(const Key& key) const {
        for (std::size_t i = 0; i < count_; ++i) {
            if (entries_[i]->first == key) {
                return &entries_[i]->second;
            }
        }
        return nullptr;
    }

    // Keeps `value` for `key` in place of the oldest entry once all are taken.
    const Value& remember(Key key, Value value) {
        std::optional<std::pair<Key, Value>>& entry = entries_[next_];
        entry.emplace(std::move(key), std::move(value));
        next_ = (next_ + 1) % Kept;
        count_ = std::min(count_ + 1, Kept);
        return entry->second;
    }

private:
    std::array<std::optional<std::pair<Key, Value>>, Kept> entries_;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
};

} // namespace platform
