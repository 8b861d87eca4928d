#include "platform/foundation/AttributeScope.hpp"

#include "platform/foundation/Hash.hpp"

#include <algorithm>

namespace platform {

std::string describeAttributeValue(const URL& url) {
    return url.absoluteString();
}

std::string describeAttributeValue(const PresentationIntent& intent) {
    return intent.description();
}

std::string describeAttributeValue(InlinePresentationIntent intent) {
    return describe(intent);
}

const AttributeValue* AttributeContainer::find(std::string_view name) const {
    if (!entries_) {
        return nullptr;
    }
    // A handful of entries: a scan, which usually meets the very same name string first.
    for (const Entry& entry : *entries_) {
        if ((entry.name.data() == name.data() && entry.name.size() == name.size()) ||
            entry.name == name) {
            return entry.value.get();
        }
    }
    return nullptr;
}

std::vector<AttributeContainer::Entry>& AttributeContainer::mutableEntries() {
    if (!entries_) {
        entries_ = std::make_shared<std::vector<Entry>>();
        // Texts carry a handful of attributes per run; one allocation holds them.
        entries_->reserve(4);
    } else if (entries_.use_count() > 1) {
        entries_ = std::make_shared<std::vector<Entry>>(*entries_);
    }
    return *entries_;
}

void AttributeContainer::put(std::string_view name, std::shared_ptr<const AttributeValue> value) {
    std::vector<Entry>& entries = mutableEntries();
    const auto found =
        std::lower_bound(entries.begin(), entries.end(), name,
                         [](const Entry& entry, std::string_view key) { return entry.name < key; });
    if (found != entries.end() && found->name == name) {
        found->value = std::move(value);
    } else {
        entries.insert(found, Entry{name, std::move(value)});
    }
}

void AttributeContainer::remove(std::string_view name) {
    if (find(name) == nullptr) {
        return;
    }
    std::vector<Entry>& entries = mutableEntries();
    std::erase_if(entries, [&](const Entry& entry) { return entry.name == name; });
    if (entries.empty()) {
        entries_.reset();
    }
}

void AttributeContainer::merge(const AttributeContainer& other) {
    if (other.empty()) {
        return;
    }
    if (empty()) {
        entries_ = other.entries_;
        return;
    }
    for (const Entry& entry : *other.entries_) {
        put(entry.name, entry.value);
    }
}

std::vector<std::string_view> AttributeContainer::keys() const {
    std::vector<std::string_view> names;
    if (entries_) {
        for (const Entry& entry : *entries_) {
            names.emplace_back(entry.name);
        }
    }
    return names;
}

std::string AttributeContainer::description() const {
    std::string out = "{";
    if (entries_) {
        for (const Entry& entry : *entries_) {
            out += out.size() == 1 ? "" : ", ";
            out.append(entry.name).append(": ").append(entry.value->description());
        }
    }
    return out + "}";
}

bool operator==(const AttributeContainer& a, const AttributeContainer& b) {
    if (a.entries_ == b.entries_) {
        return true;
    }
    if (a.count() != b.count()) {
        return false;
    }
    if (a.empty()) {
        return true;
    }
    for (std::size_t i = 0; i < a.entries_->size(); ++i) {
        const auto& left = (*a.entries_)[i];
        const auto& right = (*b.entries_)[i];
        if (left.name != right.name ||
            (left.value != right.value && !left.value->equals(*right.value))) {
            return false;
        }
    }
    return true;
}

std::size_t AttributeContainer::hash() const {
    std::size_t seed = count();
    if (entries_) {
        for (const Entry& entry : *entries_) {
            seed =
                hashCombine(seed, std::hash<std::string_view>()(entry.name) + entry.value->hash());
        }
    }
    return seed;
}

} // namespace platform
