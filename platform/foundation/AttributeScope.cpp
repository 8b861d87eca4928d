#include "platform/foundation/AttributeScope.hpp"

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
    const auto found =
        std::lower_bound(entries_->begin(), entries_->end(), name,
                         [](const Entry& entry, std::string_view key) { return entry.name < key; });
    return found != entries_->end() && found->name == name ? found->value.get() : nullptr;
}

void AttributeContainer::put(std::string_view name, std::shared_ptr<const AttributeValue> value) {
    auto entries = entries_ ? std::make_shared<std::vector<Entry>>(*entries_)
                            : std::make_shared<std::vector<Entry>>();
    const auto found =
        std::lower_bound(entries->begin(), entries->end(), name,
                         [](const Entry& entry, std::string_view key) { return entry.name < key; });
    if (found != entries->end() && found->name == name) {
        found->value = std::move(value);
    } else {
        entries->insert(found, Entry{std::string(name), std::move(value)});
    }
    entries_ = std::move(entries);
}

void AttributeContainer::remove(std::string_view name) {
    if (find(name) == nullptr) {
        return;
    }
    auto entries = std::make_shared<std::vector<Entry>>();
    entries->reserve(entries_->size() - 1);
    for (const Entry& entry : *entries_) {
        if (entry.name != name) {
            entries->push_back(entry);
        }
    }
    entries_ = entries->empty() ? nullptr : std::move(entries);
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
            out += entry.name + ": " + entry.value->description();
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
            seed ^= std::hash<std::string>()(entry.name) + entry.value->hash() +
                    0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
        }
    }
    return seed;
}

} // namespace platform
