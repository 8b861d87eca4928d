#pragma once

// The LaTeX symbol table: command names (without the backslash) to the atoms they stand for,
// and back from a nucleus to the shortest command that produces it.

#include "Math/Atom.hpp"
#include "Math/ReadWriteLockIsolated.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Math {

using SymbolDictionary = std::unordered_map<std::string, std::shared_ptr<const Atom>>;

// The process-wide table box, built on first use. Lookups take its read lock, so that formulas
// parse on several threads at once; a change would take the write lock.
ReadWriteLockIsolated<SymbolDictionary>& symbolTable();

// Alternative names and the command they stand for ("le" -> "leq", "to" -> "rightarrow" ...).
const std::unordered_map<std::string, std::string>& symbolAliases();

// The name after alias resolution.
std::string_view resolveSymbolAlias(std::string_view name);

// A fresh copy of the atom stored under `name` in `table`, or null. The caller holds the lock.
std::shared_ptr<Atom> copySymbolAtom(const SymbolDictionary& table, std::string_view name);

// The atom of a command (aliases resolved) as a new copy owned by the caller, or null.
std::shared_ptr<Atom> symbolAtomForName(std::string_view name);

// The command that produces `atom`'s nucleus (the shortest, then the first in byte order), or
// nothing; an empty nucleus has no command.
std::optional<std::string> commandNameForAtom(const Atom& atom);

} // namespace Math
