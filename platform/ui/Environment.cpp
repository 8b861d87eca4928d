#include "platform/ui/Environment.hpp"

#include <algorithm>

namespace platform::ui {

const EnvironmentValues::Entry* EnvironmentValues::find(const void* key) const {
    if (!entries_) {
        return nullptr;
    }
    for (const Entry& e : *entries_) {
        if (e.key == key) {
            return &e;
        }
    }
    return nullptr;
}

void EnvironmentValues::store(Entry entry) {
    auto copy = entries_ ? std::make_shared<std::vector<Entry>>(*entries_)
                         : std::make_shared<std::vector<Entry>>();
    const auto it = std::find_if(copy->begin(), copy->end(),
                                 [&](const Entry& e) { return e.key == entry.key; });
    if (it != copy->end()) {
        *it = std::move(entry);
    } else {
        copy->push_back(std::move(entry));
    }
    entries_ = std::move(copy);
}

bool operator==(const EnvironmentValues& a, const EnvironmentValues& b) {
    if (a.entries_ == b.entries_) {
        return true;
    }
    const std::size_t na = a.entries_ ? a.entries_->size() : 0;
    const std::size_t nb = b.entries_ ? b.entries_->size() : 0;
    if (na != nb) {
        return false;
    }
    for (std::size_t i = 0; i < na; ++i) {
        const auto& e = (*a.entries_)[i];
        const EnvironmentValues::Entry* o = b.find(e.key);
        if (o == nullptr) {
            return false;
        }
        if (e.value == o->value) {
            continue;
        }
        if (e.equal == nullptr || !e.equal(e.value.get(), o->value.get())) {
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
