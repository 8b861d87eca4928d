#include "platform/ui/Preference.hpp"

#include "platform/ui/Node.hpp"

#include <algorithm>

namespace platform::ui {

std::span<PreferenceValues::Entry> PreferenceValues::ownEntries() {
    if (!entries_) {
        return {inline_.data(), count_};
    }
    if (entries_.use_count() > 1) {
        entries_ = std::make_shared<Entries>(*entries_);
    }
    return *entries_;
}

void PreferenceValues::append(Entry entry) {
    if (!entries_ && count_ < kInline) {
        inline_[count_++] = std::move(entry);
        return;
    }
    if (!entries_) {
        auto moved = std::make_shared<Entries>();
        moved->reserve(count_ + 2);
        for (std::size_t i = 0; i < count_; ++i) {
            moved->push_back(std::move(inline_[i]));
            inline_[i] = Entry{};
        }
        count_ = 0;
        entries_ = std::move(moved);
    } else if (entries_.use_count() > 1) {
        entries_ = std::make_shared<Entries>(*entries_);
    }
    entries_->push_back(std::move(entry));
}

void PreferenceValues::store(const void* key, std::shared_ptr<const Slot> slot,
                             const Operations* operations) {
    if (lookup(key) != nullptr) {
        for (Entry& e : ownEntries()) {
            if (e.key == key) {
                e.slot = std::move(slot);
                e.operations = operations;
                return;
            }
        }
    }
    append({key, std::move(slot), operations});
}

void PreferenceValues::erase(const void* key) {
    if (lookup(key) == nullptr) {
        return;
    }
    if (entries_) {
        if (entries_.use_count() > 1) {
            entries_ = std::make_shared<Entries>(*entries_);
        }
        std::erase_if(*entries_, [key](const Entry& e) { return e.key == key; });
        return;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        if (inline_[i].key != key) {
            if (kept != i) {
                inline_[kept] = std::move(inline_[i]);
            }
            ++kept;
        }
    }
    for (std::size_t i = kept; i < count_; ++i) {
        inline_[i] = Entry{};
    }
    count_ = static_cast<std::uint8_t>(kept);
}

const void* PreferenceValues::read(const Entry& e) {
    const Slot& slot = *e.slot;
    if (slot.value != nullptr) {
        return slot.value;
    }
    return combine(slot, *e.operations);
}

const void* PreferenceValues::combine(const Slot& slot, const Operations& operations) {
    if (!slot.reduced) {
        std::shared_ptr<void> value;
        for (const auto& part : slot.parts) {
            reduceInto(value, *part, operations);
        }
        slot.reduced = std::move(value);
    }
    return slot.reduced.get();
}

void PreferenceValues::reduceInto(std::shared_ptr<void>& value, const Slot& slot,
                                  const Operations& operations) {
    // A part already reduced (read by a view inside) counts as one value; the others are walked
    // down to the views' own values, folded in tree order. A combination of many parts (a run of
    // a container's many children, or a run of runs) is reduced on its own and keeps its value:
    // the next combination that holds it, after a few of the container's children changed or
    // came, reads it as one value instead of walking down to the views again.
    const void* own = slot.value != nullptr             ? slot.value
                      : slot.parts.size() >= kKeptParts ? combine(slot, operations)
                                                        : slot.reduced.get();
    if (own != nullptr) {
        if (value) {
            operations.reduce(value.get(), own);
        } else {
            value = operations.copy(own);
        }
        return;
    }
    for (const auto& part : slot.parts) {
        reduceInto(value, *part, operations);
    }
}

bool PreferenceValues::identical(const PreferenceValues& other) const {
    if (entries_ && entries_ == other.entries_) {
        return true;
    }
    const std::span<const Entry> mine = entries();
    const std::span<const Entry> theirs = other.entries();
    if (mine.size() != theirs.size()) {
        return false;
    }
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (mine[i].key != theirs[i].key || mine[i].slot != theirs[i].slot) {
            return false;
        }
    }
    return true;
}

void PreferenceValues::merge(const PreferenceValues& next) {
    if (next.empty()) {
        return;
    }
    if (empty()) {
        // Shared, not copied: most subtrees pass their values up unchanged.
        *this = next;
        return;
    }
    for (const Entry& n : next.entries()) {
        Entry* mine = nullptr;
        if (lookup(n.key) != nullptr) {
            for (Entry& e : ownEntries()) {
                if (e.key == n.key) {
                    mine = &e;
                    break;
                }
            }
        }
        if (mine == nullptr) {
            // Shared, not copied: most subtrees pass a value up unchanged.
            append(n);
        } else if (mine->slot->value == nullptr && !mine->slot->reduced &&
                   mine->slot.use_count() == 1) {
            // A combination made by this merge and seen by no one yet: the next part joins it.
            const_cast<Slot&>(*mine->slot).parts.push_back(n.slot);
        } else {
            auto combined = std::make_shared<Slot>();
            combined->parts.reserve(4);
            combined->parts.push_back(std::move(mine->slot));
            combined->parts.push_back(n.slot);
            mine->slot = std::move(combined);
        }
    }
}

namespace {

template <class Slot>
bool sameParts(const Slot& a, const Slot& b) {
    if (a.value != nullptr || b.value != nullptr || a.parts.size() != b.parts.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.parts.size(); ++i) {
        if (a.parts[i] != b.parts[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

void PreferenceValues::keepUnchanged(const PreferenceValues& before) {
    if (entries_ && entries_ == before.entries_) {
        return;
    }
    const std::span<const Entry> previous = before.entries();
    const std::span<const Entry> current = entries();
    // Made writable (copied if shared) only when a value is taken over.
    std::span<Entry> own;
    for (std::size_t i = 0; i < current.size(); ++i) {
        const Entry& e = current[i];
        const Entry* old =
            i < previous.size() && previous[i].key == e.key ? &previous[i] : before.lookup(e.key);
        if (old == nullptr || old->slot == e.slot || old->operations != e.operations) {
            continue;
        }
        const Slot& now = *e.slot;
        const Slot& was = *old->slot;
        const bool same = now.value != nullptr
                              ? was.value != nullptr && e.operations->equal != nullptr &&
                                    e.operations->equal(now.value, was.value)
                              : sameParts(now, was);
        if (same) {
            if (own.empty()) {
                own = ownEntries();
            }
            own[i].slot = old->slot;
        }
    }
}

bool PreferenceValues::equalEntry(const Entry* a, const Entry* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    if (a->slot == b->slot) {
        return true;
    }
    if (a->operations->equal == nullptr) {
        return false;
    }
    return a->operations->equal(read(*a), read(*b));
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

ProposedViewSize GeometryProxy::proposal() const {
    return node_ != nullptr ? node_->placedProposal : ProposedViewSize();
}

} // namespace platform::ui
