#pragma once

#include "platform/data/Schema.hpp"
#include "platform/data/StoreValue.hpp"

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace platform {

// A typed reference to one attribute of a model type, by name; the store checks the name against
// the entity when a fetch uses it.
template <class Root, StorableValue Value>
class KeyPath {
public:
    explicit KeyPath(std::string attributeName)
        : name_(std::move(attributeName)) {}
    [[nodiscard]] const std::string& name() const { return name_; }

private:
    std::string name_;
};

// An untyped condition over one record: a small expression tree that becomes an SQL condition
// with bound parameters, so no value is ever spliced into SQL text.
class PredicateExpression {
public:
    [[nodiscard]] static PredicateExpression constant(bool value);
    // The attribute equals (or differs from) the value; an absent value matches absent attributes.
    [[nodiscard]] static PredicateExpression equal(std::string attribute, StoreValue value);
    [[nodiscard]] static PredicateExpression notEqual(std::string attribute, StoreValue value);
    [[nodiscard]] static PredicateExpression conjunction(PredicateExpression lhs,
                                                         PredicateExpression rhs);
    [[nodiscard]] static PredicateExpression disjunction(PredicateExpression lhs,
                                                         PredicateExpression rhs);
    [[nodiscard]] static PredicateExpression negation(PredicateExpression operand);

    // The condition as SQL over the entity's table, appending the values to bind (in order) to
    // `bindings`. Throws StoreError (invalidQuery) for an attribute the entity does not have or a
    // value that does not fit it.
    [[nodiscard]] std::string sql(const EntityDescription& entity,
                                  std::vector<StoreValue>& bindings) const;

    struct Node;

private:
    explicit PredicateExpression(std::shared_ptr<const Node> node)
        : node_(std::move(node)) {}
    std::shared_ptr<const Node> node_;
};

// A condition over records of one model type. Built from key paths:
//   (kindKey == kind) && (payloadKey == payload)
template <class Root>
class Predicate {
public:
    explicit Predicate(PredicateExpression expression)
        : expression_(std::move(expression)) {}
    [[nodiscard]] static Predicate always() {
        return Predicate(PredicateExpression::constant(true));
    }
    [[nodiscard]] const PredicateExpression& expression() const { return expression_; }

private:
    PredicateExpression expression_;
};

template <class Root, class Value>
[[nodiscard]] Predicate<Root> operator==(const KeyPath<Root, Value>& keyPath,
                                         const std::type_identity_t<Value>& value) {
    return Predicate<Root>(
        PredicateExpression::equal(keyPath.name(), StoreValueTraits<Value>::encode(value)));
}

template <class Root, class Value>
[[nodiscard]] Predicate<Root> operator!=(const KeyPath<Root, Value>& keyPath,
                                         const std::type_identity_t<Value>& value) {
    return Predicate<Root>(
        PredicateExpression::notEqual(keyPath.name(), StoreValueTraits<Value>::encode(value)));
}

template <class Root>
[[nodiscard]] Predicate<Root> operator&&(const Predicate<Root>& lhs, const Predicate<Root>& rhs) {
    return Predicate<Root>(PredicateExpression::conjunction(lhs.expression(), rhs.expression()));
}

template <class Root>
[[nodiscard]] Predicate<Root> operator||(const Predicate<Root>& lhs, const Predicate<Root>& rhs) {
    return Predicate<Root>(PredicateExpression::disjunction(lhs.expression(), rhs.expression()));
}

template <class Root>
[[nodiscard]] Predicate<Root> operator!(const Predicate<Root>& operand) {
    return Predicate<Root>(PredicateExpression::negation(operand.expression()));
}

} // namespace platform
