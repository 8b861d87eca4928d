#pragma once

// Turns the rows of cells read between \begin{name} and \end{name} (or split by & and \\ outside
// any environment) into the atom the formula holds: a table laid out by the environment's rules,
// possibly wrapped in delimiters.

#include "Math/Atom.hpp"
#include "Math/AtomList.hpp"
#include "Math/ParserError.hpp"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Math {

using TableRows = std::vector<std::vector<std::shared_ptr<AtomList>>>;

// The matrix environments and their delimiter names (none, or left and right).
const std::unordered_map<std::string, std::vector<std::string>>& matrixEnvironments();

// The table (or an Inner around it) for environment `name` (none for an implicit table), or null
// after recording the failure in `error`. A column-count error is recorded only when `error` is
// empty; an unknown environment replaces whatever `error` held.
std::shared_ptr<Atom> makeEnvironmentTable(const std::optional<std::string>& name,
                                           const TableRows& rows,
                                           std::optional<Table::ColumnAlignment> alignment,
                                           std::optional<ParserError>& error);

} // namespace Math
