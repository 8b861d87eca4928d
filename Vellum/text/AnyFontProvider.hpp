#pragma once

// Any font provider as one value type. Copies share the wrapped provider until one of them is
// rescaled, so handing providers out of a cache costs a reference count.

#include "Vellum/text/FontProvider.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <typeinfo>
#include <utility>

namespace vellum {

class AnyFontProvider {
public:
    // Wrapping an AnyFontProvider takes its provider over instead of nesting it.
    template <class P>
    requires(!std::same_as<std::decay_t<P>, AnyFontProvider> &&
             FontProvider<P>) explicit AnyFontProvider(P provider)
        : base_(std::make_shared<const Model<P>>(std::move(provider))) {}

    [[nodiscard]] double scale() const { return base_->scale(); }
    void setScale(double scale);
    [[nodiscard]] double pointSize(const TextEnvironmentValues& environment) const {
        return base_->pointSize(environment);
    }
    [[nodiscard]] platform::Font font(const TextEnvironmentValues& environment) const {
        return base_->font(environment);
    }
    [[nodiscard]] std::size_t hash() const noexcept { return base_->hash(); }

    // The wrapped provider when it is a P, else nullptr.
    template <FontProvider P>
    [[nodiscard]] const P* as() const {
        const auto* model = dynamic_cast<const Model<P>*>(base_.get());
        return model != nullptr ? &model->provider : nullptr;
    }

    // Equal when both wrap providers of one type that are equal as that type.
    friend bool operator==(const AnyFontProvider& a, const AnyFontProvider& b) {
        return a.base_ == b.base_ || a.base_->equals(*b.base_);
    }

private:
    struct Concept {
        virtual ~Concept() = default;
        [[nodiscard]] virtual double scale() const = 0;
        [[nodiscard]] virtual std::shared_ptr<const Concept> withScale(double scale) const = 0;
        [[nodiscard]] virtual double pointSize(const TextEnvironmentValues& env) const = 0;
        [[nodiscard]] virtual platform::Font font(const TextEnvironmentValues& env) const = 0;
        [[nodiscard]] virtual std::size_t hash() const noexcept = 0;
        [[nodiscard]] virtual bool equals(const Concept& other) const = 0;
    };
    template <class P>
    struct Model final : Concept {
        explicit Model(P p)
            : provider(std::move(p)) {}
        double scale() const override { return provider.scale(); }
        std::shared_ptr<const Concept> withScale(double scale) const override {
            P copy = provider;
            copy.setScale(scale);
            return std::make_shared<const Model<P>>(std::move(copy));
        }
        double pointSize(const TextEnvironmentValues& env) const override {
            return provider.pointSize(env);
        }
        platform::Font font(const TextEnvironmentValues& env) const override {
            return provider.font(env);
        }
        std::size_t hash() const noexcept override { return provider.hash(); }
        bool equals(const Concept& other) const override {
            const auto* same = dynamic_cast<const Model<P>*>(&other);
            return same != nullptr && same->provider == provider;
        }
        P provider;
    };

    std::shared_ptr<const Concept> base_;
};

inline void AnyFontProvider::setScale(double scale) {
    // The wrapped provider may be shared with other copies: write the scale into a copy of it.
    base_ = base_->withScale(scale);
}

static_assert(FontProvider<AnyFontProvider>);

} // namespace vellum

template <>
struct std::hash<vellum::AnyFontProvider> {
    std::size_t operator()(const vellum::AnyFontProvider& provider) const noexcept {
        return provider.hash();
    }
};
