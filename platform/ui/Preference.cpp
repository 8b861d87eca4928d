#include "platform/ui/Preference.hpp"

#include "platform/ui/Node.hpp"

#include <algorithm>

namespace platform::ui {

const PreferenceValues::Entry* PreferenceValues::lookup(const void* key) const {
    for (const Entry& e : entries_) {
        if (e.key == key) {
            return &e;
        }
    }
    return nullptr;
}

void PreferenceValues::store(Entry entry) {
    for (Entry& e : entries_) {
        if (e.key == entry.key) {
            e = std::move(entry);
            return;
        }
    }
    entries_.push_back(std::move(entry));
}

void PreferenceValues::erase(const void* key) {
    std::erase_if(entries_, [key](const Entry& e) { return e.key == key; });
}

bool PreferenceValues::identical(const PreferenceValues& other) const {
    if (entries_.size() != other.entries_.size()) {
        return false;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].key != other.entries_[i].key ||
            entries_[i].value != other.entries_[i].value) {
            return false;
        }
    }
    return true;
}

void PreferenceValues::merge(const PreferenceValues& next) {
    for (const Entry& n : next.entries_) {
        Entry* mine = nullptr;
        for (Entry& e : entries_) {
            if (e.key == n.key) {
                mine = &e;
                break;
            }
        }
        if (mine == nullptr) {
            // Shared, not copied: most subtrees pass a value up unchanged.
            entries_.push_back(n);
        } else {
            mine->value = mine->reduce(std::move(mine->value), n.value.get());
        }
    }
}

bool PreferenceValues::equalEntry(const Entry* a, const Entry* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    if (a->value == b->value) {
        return true;
    }
    return a->equal != nullptr && a->equal(a->value.get(), b->value.get());
}

Rect GeometryProxy::frame(const CoordinateSpace& space) const {
    switch (space.kind()) {
    case CoordinateSpace::Kind::global:
        return frame_;
    case CoordinateSpace::Kind::local:
        return Rect({0, 0}, frame_.size);
    case CoordinateSpace::Kind::named:
        if (auto r = bounds(space.name())) {
            return *r;
        }
        return frame_;
    }
    return frame_;
}

std::optional<Rect> GeometryProxy::bounds(const std::string& name) const {
    for (const detail::Node* n = node_; n != nullptr; n = n->parent) {
        if (const std::string* own = n->coordinateSpaceName(); own != nullptr && *own == name) {
            const Point origin = n->rootOrigin();
            return frame_.offsetBy(-origin.x, -origin.y);
        }
    }
    return std::nullopt;
}

} // namespace platform::ui
