#pragma once

// Any text property as one value type, and a list of properties applied as one.

#include "Vellum/text/TextProperty.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace vellum {

class AnyTextProperty {
public:
    // Wrapping an AnyTextProperty takes its property over instead of nesting it.
    template <class P>
    requires(!std::same_as<std::decay_t<P>, AnyTextProperty> &&
             TextProperty<P>) explicit AnyTextProperty(P property)
        : base_(std::make_shared<const Model<P>>(std::move(property))) {}
    // Several properties applied as one, in the order given.
    template <class... Ps>
    requires(sizeof...(Ps) > 1) explicit AnyTextProperty(Ps... properties);

    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const {
        base_->apply(container, env);
    }
    [[nodiscard]] std::size_t hash() const noexcept { return base_->hash(); }

    // The wrapped property when it is a P, else nullptr.
    template <TextProperty P>
    [[nodiscard]] const P* as() const {
        const auto* model = dynamic_cast<const Model<P>*>(base_.get());
        return model != nullptr ? &model->property : nullptr;
    }

    // Equal when both wrap properties of one type that are equal as that type.
    friend bool operator==(const AnyTextProperty& a, const AnyTextProperty& b) {
        return a.base_ == b.base_ || a.base_->equals(*b.base_);
    }

private:
    struct Concept {
        virtual ~Concept() = default;
        virtual void apply(platform::AttributeContainer& container,
                           const TextEnvironmentValues& env) const = 0;
        [[nodiscard]] virtual std::size_t hash() const noexcept = 0;
        [[nodiscard]] virtual bool equals(const Concept& other) const = 0;
    };
    template <class P>
    struct Model final : Concept {
        explicit Model(P p)
            : property(std::move(p)) {}
        void apply(platform::AttributeContainer& container,
                   const TextEnvironmentValues& env) const override {
            property.apply(container, env);
        }
        std::size_t hash() const noexcept override {
            // The type takes part, so that fieldless properties of different kinds spread out.
            std::size_t seed = typeid(P).hash_code();
            detail::hashCombine(seed, property.hash());
            return seed;
        }
        bool equals(const Concept& other) const override {
            const auto* same = dynamic_cast<const Model<P>*>(&other);
            return same != nullptr && same->property == property;
        }
        P property;
    };

    std::shared_ptr<const Concept> base_;
};

// Properties applied to one container in order: a later one sees what the earlier ones wrote.
struct TupleTextProperty {
    std::vector<AnyTextProperty> properties;

    TupleTextProperty() = default;
    explicit TupleTextProperty(std::vector<AnyTextProperty> members)
        : properties(std::move(members)) {}

    void apply(platform::AttributeContainer& container, const TextEnvironmentValues& env) const {
        for (const AnyTextProperty& property : properties) {
            property.apply(container, env);
        }
    }
    [[nodiscard]] std::size_t hash() const noexcept {
        std::size_t seed = properties.size();
        for (const AnyTextProperty& property : properties) {
            detail::hashCombine(seed, property.hash());
        }
        return seed;
    }
    friend bool operator==(const TupleTextProperty&, const TupleTextProperty&) = default;
};

template <class... Ps>
requires(sizeof...(Ps) > 1) AnyTextProperty::AnyTextProperty(Ps... properties)
    : AnyTextProperty(TupleTextProperty({AnyTextProperty(std::move(properties))...})) {}

static_assert(TextProperty<AnyTextProperty>);
static_assert(TextProperty<TupleTextProperty>);

} // namespace vellum

template <>
struct std::hash<vellum::AnyTextProperty> {
    std::size_t operator()(const vellum::AnyTextProperty& property) const noexcept {
        return property.hash();
    }
};
