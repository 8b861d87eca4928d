#pragma once

#include "Math/Atom.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace Math {

// An ordered list of atoms, held by reference.
class AtomList {
public:
    AtomList() = default;
    explicit AtomList(std::vector<std::shared_ptr<Atom>> atoms);
    AtomList(const AtomList&) = delete;
    AtomList& operator=(const AtomList&) = delete;

    std::vector<std::shared_ptr<Atom>> atoms;

    // A new list of copies (Atom::copy) of this list's atoms: no atom object is shared.
    std::shared_ptr<AtomList> deepCopy() const;

    // Boundary atoms are never stored in a list (they belong to Inner); they are ignored here.
    void append(std::shared_ptr<Atom> atom);
    // Inserts before `index`; an index past the end does nothing, the end appends.
    void insert(std::shared_ptr<Atom> atom, std::size_t index);

    // "[x, 2]": the atoms' descriptions, comma separated, in brackets.
    std::string description() const;
};

// The list the typesetter lays out: finalised copies of the atoms, consecutive index ranges,
// runs of digits fused into one number, binary operators without a left operand turned unary, and
// no boundary atoms. `list` itself is left as it was.
std::shared_ptr<AtomList> finalizedAtomList(const AtomList& list);
// Null in, null out: convenience for the optional lists of atoms.
std::shared_ptr<AtomList> finalizedAtomList(const std::shared_ptr<AtomList>& list);

} // namespace Math
