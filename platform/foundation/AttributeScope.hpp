#pragma once

// Attributes of attributed text.
//
// An attribute key is a type with a `name` (the key's string, which identifies it; it must refer to
// static storage, such as a string literal) and a `Value` type that is copyable,
// equality-comparable and hashable through std::hash:
//
//     struct LinkAttribute {
//         static constexpr std::string_view name = "NSLink";
//         using Value = URL;
//     };
//
// A scope is a namespace-like struct grouping keys: Foundation's keys are below; the view toolkit
// and libraries declare their own the same way (the markdown library's scope holds
// "Vellum.Attachment" and "Vellum.EmojiURL"). Since a container can hold a value of any key, a
// scope only groups names; nothing needs to be registered.
//
// AttributeContainer is a value: a sorted set of (key name, value) entries shared behind an
// immutable pointer, so copying one (every run of a text holds one) costs a reference count.

#include "platform/foundation/PresentationIntent.hpp"
#include "platform/foundation/URL.hpp"

#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <typeinfo>
#include <utility>
#include <vector>

namespace platform {

template <class Key>
concept AttributeKey = requires {
    typename Key::Value;
    { Key::name } -> std::convertible_to<std::string_view>;
}
&&std::equality_comparable<typename Key::Value>&& std::copy_constructible<typename Key::Value>;

// Text for an attribute value in descriptions of attributed text. Types of other layers provide an
// overload of `describeAttributeValue` in their own namespace; others print as "<value>".
std::string describeAttributeValue(const URL& url);
std::string describeAttributeValue(const PresentationIntent& intent);
std::string describeAttributeValue(InlinePresentationIntent intent);

// A value of any key, compared and hashed through its type.
class AttributeValue {
public:
    virtual ~AttributeValue() = default;
    [[nodiscard]] virtual bool equals(const AttributeValue& other) const = 0;
    [[nodiscard]] virtual std::size_t hash() const = 0;
    [[nodiscard]] virtual std::string description() const = 0;
};

template <class T>
class TypedAttributeValue final : public AttributeValue {
public:
    explicit TypedAttributeValue(T value)
        : value(std::move(value)) {}

    [[nodiscard]] bool equals(const AttributeValue& other) const override {
        // The class is final: the exact type settles what a dynamic_cast would.
        return typeid(other) == typeid(TypedAttributeValue<T>) &&
               static_cast<const TypedAttributeValue<T>&>(other).value == value;
    }
    [[nodiscard]] std::size_t hash() const override {
        if constexpr (requires(const T& v) { std::hash<T>()(v); }) {
            return std::hash<T>()(value);
        } else {
            return 0;
        }
    }
    [[nodiscard]] std::string description() const override {
        if constexpr (requires(const T& v) { describeAttributeValue(v); }) {
            return describeAttributeValue(value);
        } else {
            return "<value>";
        }
    }

    const T value;
};

class AttributeContainer {
public:
    AttributeContainer() = default;

    // The key's value, or nullptr when the container has none (or holds another type under the
    // key's name).
    template <AttributeKey Key>
    [[nodiscard]] const typename Key::Value* get() const {
        return typedValue<Key>(find(Key::name));
    }
    // The values of several keys, in the order asked, each nullptr as get() would give it: one
    // pass over the entries instead of a scan per key, for readers of thousands of runs.
    template <AttributeKey... Keys>
    requires(sizeof...(Keys) > 1)
        [[nodiscard]] std::tuple<const typename Keys::Value*...> getAll() const {
        std::tuple<const typename Keys::Value*...> found{};
        if (!entries_) {
            return found;
        }
        for (const Entry& entry : *entries_) {
            [&]<std::size_t... I>(std::index_sequence<I...>) {
                ((std::get<I>(found) = entry.name == Keys::name
                                           ? typedValue<Keys>(entry.value.get())
                                           : std::get<I>(found)),
                 ...);
            }
            (std::index_sequence_for<Keys...>{});
        }
        return found;
    }
    template <AttributeKey Key>
    [[nodiscard]] bool contains() const {
        return get<Key>() != nullptr;
    }
    template <AttributeKey Key>
    void set(typename Key::Value value) {
        put(Key::name,
            std::make_shared<const TypedAttributeValue<typename Key::Value>>(std::move(value)));
    }
    // Sets the value, or removes the key for nullopt.
    template <AttributeKey Key>
    void set(std::optional<typename Key::Value> value) {
        if (value) {
            set<Key>(std::move(*value));
        } else {
            remove<Key>();
        }
    }
    // Sets a value made once and shared by many containers (no copy of the value).
    template <AttributeKey Key>
    void setShared(std::shared_ptr<const TypedAttributeValue<typename Key::Value>> value) {
        put(Key::name, std::move(value));
    }
    template <AttributeKey Key>
    void remove() {
        remove(Key::name);
    }

    // Sets every entry of `other` here, its values winning.
    void merge(const AttributeContainer& other);
    void remove(std::string_view name);

    [[nodiscard]] bool empty() const noexcept { return !entries_ || entries_->empty(); }
    [[nodiscard]] std::size_t count() const noexcept { return entries_ ? entries_->size() : 0; }
    // Key names in order.
    [[nodiscard]] std::vector<std::string_view> keys() const;
    // "{NSLink: https://x, NSPresentationIntent: paragraph #1}"; "{}" when empty.
    [[nodiscard]] std::string description() const;

    friend bool operator==(const AttributeContainer& a, const AttributeContainer& b);
    [[nodiscard]] std::size_t hash() const;

    // True when both share one entry table (equal without comparing values).
    [[nodiscard]] bool sharesStorage(const AttributeContainer& other) const noexcept {
        return entries_ == other.entries_;
    }

private:
    struct Entry {
        std::string_view name; // a key's name, in static storage
        std::shared_ptr<const AttributeValue> value;
    };

    [[nodiscard]] const AttributeValue* find(std::string_view name) const;
    // The value as the key's type, or nullptr when it holds another. TypedAttributeValue is final,
    // so comparing the exact type answers what a dynamic_cast would, without walking the
    // hierarchy: texts ask this for every run.
    template <AttributeKey Key>
    [[nodiscard]] static const typename Key::Value* typedValue(const AttributeValue* value) {
        using Typed = TypedAttributeValue<typename Key::Value>;
        if (value == nullptr || typeid(*value) != typeid(Typed)) {
            return nullptr;
        }
        return &static_cast<const Typed*>(value)->value;
    }
    void put(std::string_view name, std::shared_ptr<const AttributeValue> value);
    // The table, copied first when another container shares it.
    std::vector<Entry>& mutableEntries();

    // Shared between copies; never changed while shared.
    std::shared_ptr<std::vector<Entry>> entries_;
};

// Foundation's attributes, the ones markdown parsing produces.
struct AttributeScopes {
    struct FoundationAttributes {
        struct LinkAttribute {
            static constexpr std::string_view name = "NSLink";
            using Value = URL;
        };
        struct ImageURLAttribute {
            static constexpr std::string_view name = "NSImageURL";
            using Value = URL;
        };
        struct PresentationIntentAttribute {
            static constexpr std::string_view name = "NSPresentationIntent";
            using Value = PresentationIntent;
        };
        struct InlinePresentationIntentAttribute {
            static constexpr std::string_view name = "NSInlinePresentationIntent";
            using Value = InlinePresentationIntent;
        };
    };
};

} // namespace platform

template <>
struct std::hash<platform::AttributeContainer> {
    std::size_t operator()(const platform::AttributeContainer& container) const {
        return container.hash();
    }
};
