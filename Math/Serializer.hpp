#pragma once

// Writes atom lists back as LaTeX that parses into an equivalent list.

#include "Math/Atom.hpp"
#include "Math/AtomList.hpp"

#include <memory>
#include <string>

namespace Math {

// The LaTeX text of `list` (empty for no list). The list is only read, never changed.
std::string serializeAtomList(const AtomList* list);
std::string serializeAtomList(const std::shared_ptr<AtomList>& list);
std::string serializeAtomList(const AtomList& list);

// The LaTeX for a boundary atom as written after \left or \right ("(", "\langle", "\|" ...);
// empty for any other atom or a delimiter without a name.
std::string delimiterCommandName(const Atom& atom);

} // namespace Math
