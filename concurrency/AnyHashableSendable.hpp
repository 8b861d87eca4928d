#pragma once

#include "platform/foundation/Hash.hpp"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <typeinfo>

namespace concurrency {

namespace detail {

template <class T>
concept Streamable = requires(std::ostream& out, const T& value) {
    out << value;
};

std::string quoted(std::string_view text); // a string literal form: "a\"b"
// The shortest text that reads back as exactly `value`, with ".0" on whole numbers: "0.1",
// "1.0", "1e+20", "nan".
std::string describeDouble(double value);

template <class T>
std::string describe(const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return value ? "true" : "false";
    } else if constexpr (std::is_same_v<T, double>) {
        return describeDouble(value);
    } else if constexpr (std::is_same_v<T, std::string>) {
        return value;
    } else if constexpr (Streamable<T>) {
        std::ostringstream out;
        out << value;
        return out.str();
    } else {
        return typeid(T).name();
    }
}

template <class T>
std::string debugDescribe(const T& value) {
    if constexpr (std::is_same_v<T, std::string>) {
        return detail::quoted(value);
    } else {
        return describe(value);
    }
}

} // namespace detail

/// A type-erased hashable key that may be shared between threads (it is immutable).
///
/// Values are normalised the way literals are typed: any integer becomes std::int64_t, any
/// floating-point number double, and C strings and single chars std::string; so
/// AnyHashableSendable(1) equals AnyHashableSendable(1L) and AnyHashableSendable(1u). An unsigned
/// value above INT64_MAX has no std::int64_t form and stays std::uint64_t: it equals no signed
/// value (UINT64_MAX is not -1). Two keys are equal when their bases have
/// the same type and compare equal: the integer 1 and the string "1" differ. Wrapping a wrapper
/// does not nest.
class AnyHashableSendable {
public:
    template <class T, class D = std::decay_t<T>>
    requires(!std::is_same_v<D, AnyHashableSendable>)
        AnyHashableSendable(T&& value) // NOLINT(google-explicit-constructor): literals convert
        : base_(makeBase(std::forward<T>(value))) {}

    friend bool operator==(const AnyHashableSendable& lhs, const AnyHashableSendable& rhs) {
        return lhs.base_ == rhs.base_ || lhs.base_->equals(*rhs.base_);
    }

    [[nodiscard]] std::size_t hashValue() const { return base_->hash(); }

    /// The base described: `42`, `abc`, `true`.
    [[nodiscard]] std::string description() const { return base_->describe(); }
    /// "AnyHashableSendable(" + the base's debug form + ")": strings are quoted.
    [[nodiscard]] std::string debugDescription() const {
        return "AnyHashableSendable(" + base_->debugDescribe() + ")";
    }

    /// The base's type, and the base itself when it has type T.
    [[nodiscard]] std::type_index type() const { return base_->type(); }
    template <class T>
    [[nodiscard]] const T* as() const {
        return base_->type() == typeid(T) ? static_cast<const T*>(base_->address()) : nullptr;
    }

private:
    struct Base {
        virtual ~Base() = default;
        [[nodiscard]] virtual bool equals(const Base& other) const = 0;
        [[nodiscard]] virtual std::size_t hash() const = 0;
        [[nodiscard]] virtual std::string describe() const = 0;
        [[nodiscard]] virtual std::string debugDescribe() const = 0;
        [[nodiscard]] virtual std::type_index type() const = 0;
        [[nodiscard]] virtual const void* address() const = 0;
    };

    template <class T>
    struct Holder final : Base {
        explicit Holder(T value)
            : value(std::move(value)) {}
        bool equals(const Base& other) const override {
            return other.type() == typeid(T) && *static_cast<const T*>(other.address()) == value;
        }
        std::size_t hash() const override {
            if constexpr (std::is_same_v<T, std::uint64_t>) {
                // Only values above INT64_MAX are held unsigned; keep them off the hashes of the
                // signed values with the same bits.
                return platform::hashCombine(std::hash<T>{}(value), 1);
            } else {
                return std::hash<T>{}(value);
            }
        }
        std::string describe() const override { return detail::describe(value); }
        std::string debugDescribe() const override { return detail::debugDescribe(value); }
        std::type_index type() const override { return typeid(T); }
        const void* address() const override { return &value; }
        const T value;
    };

    template <class T, class D = std::decay_t<T>>
    static std::shared_ptr<const Base> makeBase(T&& value) {
        if constexpr (std::is_same_v<D, bool>) {
            return std::make_shared<const Holder<bool>>(value);
        } else if constexpr (std::is_same_v<D, char>) {
            return std::make_shared<const Holder<std::string>>(std::string(1, value));
        } else if constexpr (std::is_integral_v<D> && std::is_unsigned_v<D>) {
            if (static_cast<std::uint64_t>(value) >
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return std::make_shared<const Holder<std::uint64_t>>(value);
            }
            return std::make_shared<const Holder<std::int64_t>>(static_cast<std::int64_t>(value));
        } else if constexpr (std::is_integral_v<D>) {
            return std::make_shared<const Holder<std::int64_t>>(static_cast<std::int64_t>(value));
        } else if constexpr (std::is_floating_point_v<D>) {
            return std::make_shared<const Holder<double>>(static_cast<double>(value));
        } else if constexpr (std::is_convertible_v<D, std::string_view>) {
            return std::make_shared<const Holder<std::string>>(
                std::string(std::string_view(value)));
        } else {
            static_assert(std::equality_comparable<D>, "AnyHashableSendable needs ==");
            return std::make_shared<const Holder<D>>(std::forward<T>(value));
        }
    }

    std::shared_ptr<const Base> base_;
};

std::ostream& operator<<(std::ostream& out, const AnyHashableSendable& key);

} // namespace concurrency

template <>
struct std::hash<concurrency::AnyHashableSendable> {
    std::size_t operator()(const concurrency::AnyHashableSendable& key) const {
        return key.hashValue();
    }
};
