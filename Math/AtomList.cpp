#include "Math/AtomList.hpp"

namespace Math {

AtomList::AtomList(std::vector<std::shared_ptr<Atom>> atoms)
    : atoms(std::move(atoms)) {}

std::shared_ptr<AtomList> AtomList::deepCopy() const {
    auto result = std::make_shared<AtomList>();
    result->atoms.reserve(atoms.size());
    for (const auto& atom : atoms) {
        if (atom) {
            result->atoms.push_back(atom->copy());
        }
    }
    return result;
}

void AtomList::append(std::shared_ptr<Atom> atom) {
    if (atom && atom->type != AtomType::boundary) {
        atoms.push_back(std::move(atom));
    }
}

void AtomList::insert(std::shared_ptr<Atom> atom, std::size_t index) {
    if (!atom || atom->type == AtomType::boundary || index > atoms.size()) {
        return;
    }
    atoms.insert(atoms.begin() + static_cast<std::ptrdiff_t>(index), std::move(atom));
}

std::string AtomList::description() const {
    std::string text = "[";
    bool first = true;
    for (const auto& atom : atoms) {
        if (!first) {
            text += ", ";
        }
        first = false;
        if (atom) {
            text += atom->description();
        }
    }
    return text + "]";
}

namespace {

// Types after which a binary operator has no left operand.
bool leavesNoLeftOperand(AtomType type) {
    return type == AtomType::largeOperator || type == AtomType::binaryOperator ||
           type == AtomType::relation || type == AtomType::open || type == AtomType::punctuation;
}

// Style changes and spaces sit between operands without being one: a binary operator after
// them still looks further back for its left operand (and one before them for its right).
bool isOperandCandidate(AtomType type) {
    return type != AtomType::style && type != AtomType::space;
}

} // namespace

std::shared_ptr<AtomList> finalizedAtomList(const AtomList& list) {
    auto result = std::make_shared<AtomList>();
    result->atoms.reserve(list.atoms.size());
    // The atoms looked back at are held by the result, but for a boundary, which is held here:
    // a long formula passes a pointer along per atom instead of counting references to it.
    Atom* previous = nullptr;
    // The nearest atom before this one that can be an operand.
    Atom* operand = nullptr;
    std::shared_ptr<Atom> lastBoundary;
    for (const auto& atom : list.atoms) {
        if (!atom) {
            continue;
        }
        auto finalized = atom->finalized();
        if (atom->indexRange.isZero()) {
            finalized->indexRange =
                previous
                    ? IndexRange{previous->indexRange.location + previous->indexRange.length, 1}
                    : IndexRange{0, 1};
        }
        switch (finalized->type) {
        case AtomType::number:
            if (previous && previous->type == AtomType::number && !previous->subscript() &&
                !previous->superscript()) {
                previous->fuse(finalized);
                continue;
            }
            break;
        case AtomType::binaryOperator:
            if (!operand || leavesNoLeftOperand(operand->type)) {
                finalized->type = AtomType::unaryOperator;
            }
            break;
        case AtomType::relation:
        case AtomType::close:
        case AtomType::punctuation:
            if (operand && operand->type == AtomType::binaryOperator) {
                operand->type = AtomType::unaryOperator;
            }
            break;
        case AtomType::boundary:
            // A boundary is never kept, but it still places the next atom and hides the
            // operator before it from the checks above.
            lastBoundary = std::move(finalized);
            operand = lastBoundary.get();
            previous = lastBoundary.get();
            continue;
        default:
            break;
        }
        if (isOperandCandidate(finalized->type)) {
            operand = finalized.get();
        }
        previous = finalized.get();
        result->atoms.push_back(std::move(finalized));
    }
    if (operand && operand->type == AtomType::binaryOperator) {
        operand->type = AtomType::unaryOperator;
    }
    return result;
}

std::shared_ptr<AtomList> finalizedAtomList(const std::shared_ptr<AtomList>& list) {
    return list ? finalizedAtomList(*list) : nullptr;
}

} // namespace Math
