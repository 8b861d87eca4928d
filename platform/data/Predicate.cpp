#include "platform/data/Predicate.hpp"

#include "platform/data/SQLite.hpp"
#include "platform/data/StoreError.hpp"

#include <variant>

namespace platform {

struct PredicateExpression::Node {
    enum class Kind { constant, equal, notEqual, conjunction, disjunction, negation };
    Kind kind = Kind::constant;
    bool constant = true;
    std::string attribute;
    StoreValue value;
    std::shared_ptr<const Node> lhs;
    std::shared_ptr<const Node> rhs;
};

namespace {

using Node = PredicateExpression::Node;

std::string compile(const Node& node, const EntityDescription& entity,
                    std::vector<StoreValue>& bindings) {
    switch (node.kind) {
    case Node::Kind::constant:
        return node.constant ? "1" : "0";
    case Node::Kind::equal:
    case Node::Kind::notEqual: {
        const auto index = entity.indexOf(node.attribute);
        if (!index) {
            throw StoreError(StoreError::Code::invalidQuery,
                             entity.name() + " has no attribute " + node.attribute);
        }
        const auto& attribute = entity.attributes()[*index];
        if (!std::holds_alternative<std::monostate>(node.value) && !attribute.accepts(node.value)) {
            throw StoreError(StoreError::Code::invalidQuery,
                             "the value compared with " + entity.name() + "." + node.attribute +
                                 " is of another type");
        }
        bindings.push_back(node.value);
        // IS / IS NOT: an absent value compares equal to an absent attribute, and text compares
        // byte for byte (case-sensitive).
        return data_detail::quotedIdentifier(attribute.name) +
               (node.kind == Node::Kind::equal ? " IS ?" : " IS NOT ?");
    }
    case Node::Kind::conjunction:
    case Node::Kind::disjunction: {
        // Sequenced on purpose: the placeholders must be bound in the order they appear.
        const std::string lhs = compile(*node.lhs, entity, bindings);
        const std::string rhs = compile(*node.rhs, entity, bindings);
        return "(" + lhs + (node.kind == Node::Kind::conjunction ? " AND " : " OR ") + rhs + ")";
    }
    case Node::Kind::negation:
        return "(NOT " + compile(*node.lhs, entity, bindings) + ")";
    }
    return "0";
}

} // namespace

PredicateExpression PredicateExpression::constant(bool value) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::constant;
    node->constant = value;
    return PredicateExpression(std::move(node));
}

PredicateExpression PredicateExpression::equal(std::string attribute, StoreValue value) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::equal;
    node->attribute = std::move(attribute);
    node->value = std::move(value);
    return PredicateExpression(std::move(node));
}

PredicateExpression PredicateExpression::notEqual(std::string attribute, StoreValue value) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::notEqual;
    node->attribute = std::move(attribute);
    node->value = std::move(value);
    return PredicateExpression(std::move(node));
}

PredicateExpression PredicateExpression::conjunction(PredicateExpression lhs,
                                                     PredicateExpression rhs) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::conjunction;
    node->lhs = std::move(lhs.node_);
    node->rhs = std::move(rhs.node_);
    return PredicateExpression(std::move(node));
}

PredicateExpression PredicateExpression::disjunction(PredicateExpression lhs,
                                                     PredicateExpression rhs) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::disjunction;
    node->lhs = std::move(lhs.node_);
    node->rhs = std::move(rhs.node_);
    return PredicateExpression(std::move(node));
}

PredicateExpression PredicateExpression::negation(PredicateExpression operand) {
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::negation;
    node->lhs = std::move(operand.node_);
    return PredicateExpression(std::move(node));
}

std::string PredicateExpression::sql(const EntityDescription& entity,
                                     std::vector<StoreValue>& bindings) const {
    return compile(*node_, entity, bindings);
}

} // namespace platform
