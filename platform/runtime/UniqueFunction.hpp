#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace platform {

template <class Signature>
class UniqueFunction;

/// A move-only type-erased callable. std::function needs copyable targets, which rules out
/// lambdas owning coroutine handles or unique_ptrs; small targets live inline so that the
/// per-resume jobs of the runtime do not allocate.
template <class R, class... Args>
class UniqueFunction<R(Args...)> {
public:
    UniqueFunction() noexcept = default;
    UniqueFunction(std::nullptr_t) noexcept {}

    template <class F, class D = std::decay_t<F>>
    requires(!std::is_same_v<D, UniqueFunction> && std::is_invocable_r_v<R, D&, Args...>)
        UniqueFunction(F&& f) { // NOLINT(google-explicit-constructor): callables convert implicitly
        if constexpr (fitsInline<D>()) {
            ::new (static_cast<void*>(&storage_)) D(std::forward<F>(f));
            ops_ = &inlineOps<D>;
        } else {
            heap_ = std::make_unique<D>(std::forward<F>(f)).release();
            ops_ = &heapOps<D>;
        }
    }

    UniqueFunction(UniqueFunction&& other) noexcept { moveFrom(other); }
    UniqueFunction& operator=(UniqueFunction&& other) noexcept {
        if (this != &other) {
            reset();
            moveFrom(other);
        }
        return *this;
    }
    UniqueFunction(const UniqueFunction&) = delete;
    UniqueFunction& operator=(const UniqueFunction&) = delete;
    ~UniqueFunction() { reset(); }

    explicit operator bool() const noexcept { return ops_ != nullptr; }

    R operator()(Args... args) { return ops_->invoke(*this, std::forward<Args>(args)...); }

private:
    struct Ops {
        R (*invoke)(UniqueFunction&, Args&&...);
        void (*move)(UniqueFunction& to, UniqueFunction& from) noexcept;
        void (*destroy)(UniqueFunction&) noexcept;
    };

    static constexpr std::size_t inlineSize = 4 * sizeof(void*);

    template <class D>
    static constexpr bool fitsInline() {
        return sizeof(D) <= inlineSize && alignof(D) <= alignof(std::max_align_t) &&
               std::is_nothrow_move_constructible_v<D>;
    }

    template <class D>
    D* inlineTarget() noexcept {
        return std::launder(reinterpret_cast<D*>(&storage_));
    }

    template <class D>
    static constexpr Ops inlineOps{
        [](UniqueFunction& self, Args&&... args) -> R {
            return std::invoke(*self.template inlineTarget<D>(), std::forward<Args>(args)...);
        },
        [](UniqueFunction& to, UniqueFunction& from) noexcept {
            D* source = from.template inlineTarget<D>();
            ::new (static_cast<void*>(&to.storage_)) D(std::move(*source));
            source->~D();
        },
        [](UniqueFunction& self) noexcept { self.template inlineTarget<D>()->~D(); }};

    template <class D>
    static constexpr Ops heapOps{[](UniqueFunction& self, Args&&... args) -> R {
                                     return std::invoke(*static_cast<D*>(self.heap_),
                                                        std::forward<Args>(args)...);
                                 },
                                 [](UniqueFunction& to, UniqueFunction& from) noexcept {
                                     to.heap_ = from.heap_;
                                     from.heap_ = nullptr;
                                 },
                                 [](UniqueFunction& self) noexcept {
                                     std::unique_ptr<D> owned(static_cast<D*>(self.heap_));
                                     self.heap_ = nullptr;
                                 }};

    void moveFrom(UniqueFunction& other) noexcept {
        if (other.ops_ != nullptr) {
            other.ops_->move(*this, other);
            ops_ = other.ops_;
            other.ops_ = nullptr;
        }
    }

    void reset() noexcept {
        if (ops_ != nullptr) {
            const Ops* ops = ops_;
            ops_ = nullptr;
            ops->destroy(*this);
        }
    }

    const Ops* ops_ = nullptr;
    union {
        alignas(std::max_align_t) unsigned char storage_[inlineSize];
        void* heap_;
    };
};

} // namespace platform
