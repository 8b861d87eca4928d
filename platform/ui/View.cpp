#include "platform/ui/View.hpp"

#include "platform/ui/Containers.hpp"
#include "platform/ui/Node.hpp"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <string>

namespace platform::ui {

namespace detail {

ViewImpl::~ViewImpl() = default;

void ViewImpl::flatten(const AnyView& self, const ViewID& key, std::vector<FlatChild>& out) const {
    out.push_back({self, key});
}

namespace {

class EmptyNode final : public LeafNode {
protected:
    Size computeSize(ProposedViewSize) override { return {}; }
};

class EmptyImpl final : public ViewImpl {
public:
    const void* typeTag() const override { return &detail::typeTag<EmptyImpl>; }
    bool equals(const ViewImpl&) const override { return true; }
    std::unique_ptr<Node> makeNode() const override { return std::make_unique<EmptyNode>(); }
    void flatten(const AnyView&, const ViewID&, std::vector<FlatChild>&) const override {}
};

/// A list of views that expands into its container; standing alone it is a ZStack.
class ListImpl final : public ViewImpl {
public:
    std::vector<FlatChild> items;
    const void* typeTag() const override { return &detail::typeTag<ListImpl>; }
    bool equals(const ViewImpl& other) const override {
        const auto& o = static_cast<const ListImpl&>(other);
        if (o.items.size() != items.size()) {
            return false;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!(items[i].key == o.items[i].key) || !sameView(items[i].view, o.items[i].view)) {
                return false;
            }
        }
        return true;
    }
    std::unique_ptr<Node> makeNode() const override { return std::make_unique<LayoutNode>(); }
    void flatten(const AnyView&, const ViewID& key, std::vector<FlatChild>& out) const override {
        for (const FlatChild& item : items) {
            item.view.impl()->flatten(item.view, ViewID::pair(key, item.key), out);
        }
    }
};

} // namespace

const std::vector<FlatChild>* listItems(const ViewImpl& impl) {
    const auto* list = dynamic_cast<const ListImpl*>(&impl);
    return list != nullptr ? &list->items : nullptr;
}

void flattenRows(const std::vector<AnyView>& children, std::vector<FlatChild>& out) {
    if (children.size() == 1) {
        if (const auto* list = dynamic_cast<const ListImpl*>(children.front().impl().get())) {
            // One list alone: its ids tell its views apart without the list's position.
            out.reserve(list->items.size());
            for (const FlatChild& item : list->items) {
                item.view.impl()->flatten(item.view, item.key, out);
            }
            return;
        }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        children[i].impl()->flatten(children[i], ViewID(static_cast<std::int64_t>(i)), out);
    }
}

const std::shared_ptr<const ViewImpl>& emptyViewImpl() {
    static const std::shared_ptr<const ViewImpl> empty = std::make_shared<EmptyImpl>();
    return empty;
}

} // namespace detail

// ---- ViewID ----

namespace {
struct IDPair {
    ViewID outer;
    ViewID inner;
    friend bool operator==(const IDPair&, const IDPair&) = default;
};
} // namespace

} // namespace platform::ui

template <>
struct std::hash<platform::ui::IDPair> {
    std::size_t operator()(const platform::ui::IDPair& p) const noexcept {
        return p.outer.hash() * 31 + p.inner.hash();
    }
};

namespace platform::ui {

ViewID ViewID::pair(const ViewID& outer, const ViewID& inner) {
    return ViewID(IDPair{outer, inner});
}

bool operator==(const ViewID& a, const ViewID& b) {
    if (a.smallTag_ != nullptr || b.smallTag_ != nullptr) {
        return a.smallTag_ == b.smallTag_ && a.smallValue() == b.smallValue();
    }
    if (a.holder_ == b.holder_) {
        return true;
    }
    if (!a.holder_ || !b.holder_ || a.holder_->tag() != b.holder_->tag()) {
        return false;
    }
    return a.holder_->equals(*b.holder_);
}

// ---- AnyView ----

bool AnyView::isEmpty() const {
    return !impl_ || impl_ == detail::emptyViewImpl();
}

std::shared_ptr<const detail::ViewImpl> Group::makeImpl() const {
    auto impl = std::make_shared<detail::ListImpl>();
    for (std::size_t i = 0; i < children_.size(); ++i) {
        impl->items.push_back({children_[i], ViewID(static_cast<std::int64_t>(i))});
    }
    return impl;
}

std::shared_ptr<const detail::ViewImpl> ForEach::makeImpl() const {
    auto impl = std::make_shared<detail::ListImpl>();
    impl->items = items_;
    return impl;
}

std::vector<std::pair<ViewID, AnyView>> subviewsOf(const AnyView& content) {
    std::vector<detail::FlatChild> flat;
    content.impl()->flatten(content, ViewID(), flat);
    std::vector<std::pair<ViewID, AnyView>> out;
    out.reserve(flat.size());
    for (auto& f : flat) {
        out.emplace_back(std::move(f.key), std::move(f.view));
    }
    return out;
}

// ---- State ----

namespace {
std::string readableTypeName(const std::type_info& type) {
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}
} // namespace

StateTypeMismatch::StateTypeMismatch(const std::type_info& held, const std::type_info& asked,
                                     std::size_t position)
    : held_(readableTypeName(held))
    , asked_(readableTypeName(asked))
    , position_(position) {}

std::string StateTypeMismatch::localizedDescription() const {
    return "State slot " + std::to_string(position_) + " of this view holds a value of type " +
           held_ + ", but the body read it as " + asked_ +
           ": a body must ask for the same state, of the same types, in the same order at "
           "every evaluation.";
}

ViewContext::StateSlot& ViewContext::typedSlot(const std::type_info& type) {
    StateSlot& slot = nextSlot();
    if (slot.type == nullptr) {
        slot.type = &type;
    } else if (*slot.type != type) {
        throw StateTypeMismatch(*slot.type, type, slot.position);
    }
    return slot;
}

AnyView ConditionalContent(bool condition, AnyView whenTrue, AnyView whenFalse) {
    return (condition ? std::move(whenTrue) : std::move(whenFalse)).id(ViewID(condition));
}

} // namespace platform::ui
