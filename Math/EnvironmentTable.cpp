#include "Math/EnvironmentTable.hpp"

#include "Math/NameTables.hpp"
#include "Math/SymbolTable.hpp"

#include <algorithm>

namespace Math {

namespace {

using Alignment = Table::ColumnAlignment;

void setColumnError(std::optional<ParserError>& error, const std::string& name,
                    std::string_view text) {
    if (!error) {
        error = ParserError{ParserError::Code::invalidNumberOfColumns, name + std::string(text)};
    }
}

// One shared atom at the front of every cell of the table.
void insertAtFrontOfEveryCell(Table& table, const std::shared_ptr<Atom>& atom) {
    for (auto& row : table.cells) {
        for (auto& cell : row) {
            cell->insert(atom, 0);
        }
    }
}

} // namespace

const std::unordered_map<std::string, std::vector<std::string>>& matrixEnvironments() {
    static const std::unordered_map<std::string, std::vector<std::string>> table{
        {"matrix", {}},
        {"pmatrix", {"(", ")"}},
        {"bmatrix", {"[", "]"}},
        {"Bmatrix", {"{", "}"}},
        {"vmatrix", {"vert", "vert"}},
        {"Vmatrix", {"Vert", "Vert"}},
        {"smallmatrix", {}},
        {"matrix*", {}},
        {"pmatrix*", {"(", ")"}},
        {"bmatrix*", {"[", "]"}},
        {"Bmatrix*", {"{", "}"}},
        {"vmatrix*", {"vert", "vert"}},
        {"Vmatrix*", {"Vert", "Vert"}},
    };
    return table;
}

std::shared_ptr<Atom> makeEnvironmentTable(const std::optional<std::string>& name,
                                           const TableRows& rows,
                                           std::optional<Table::ColumnAlignment> alignment,
                                           std::optional<ParserError>& error) {
    auto table = std::make_shared<Table>();
    table->environment = name.value_or("");
    std::size_t widest = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        widest = std::max(widest, rows[r].size());
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            table->setCell(rows[r][c] ? rows[r][c] : std::make_shared<AtomList>(), r, c);
        }
    }

    if (!name) {
        table->interColumnSpacing = 0;
        table->interRowAdditionalSpacing = 1;
        for (std::size_t c = 0; c < widest; ++c) {
            table->setAlignment(Alignment::left, c);
        }
        return table;
    }

    const auto& matrices = matrixEnvironments();
    if (const auto matrix = matrices.find(*name); matrix != matrices.end()) {
        table->environment = "matrix";
        table->interRowAdditionalSpacing = 0;
        const bool small = *name == "smallmatrix";
        table->interColumnSpacing = small ? 6 : 18;
        insertAtFrontOfEveryCell(
            *table, std::make_shared<Style>(small ? Style::Level::script : Style::Level::text));
        if (alignment) {
            for (std::size_t c = 0; c < widest; ++c) {
                table->setAlignment(*alignment, c);
            }
        }
        const auto& delimiters = matrix->second;
        if (delimiters.size() == 2) {
            return std::make_shared<Inner>(
                std::make_shared<AtomList>(std::vector<std::shared_ptr<Atom>>{table}),
                boundaryAtomForDelimiterName(delimiters[0]),
                boundaryAtomForDelimiterName(delimiters[1]));
        }
        return table;
    }

    if (*name == "eqalign" || *name == "split" || *name == "aligned") {
        if (widest != 2) {
            setColumnError(error, *name, " environment can only have 2 columns");
            return nullptr;
        }
        const auto spacer = std::make_shared<Atom>(AtomType::ordinary);
        for (auto& row : table->cells) {
            if (row.size() >= 2) {
                row[1]->insert(spacer, 0);
            }
        }
        table->interColumnSpacing = 0;
        table->interRowAdditionalSpacing = 1;
        table->setAlignment(Alignment::right, 0);
        table->setAlignment(Alignment::left, 1);
        return table;
    }

    if (*name == "displaylines" || *name == "gather") {
        if (widest != 1) {
            setColumnError(error, *name, " environment can only have 1 column");
            return nullptr;
        }
        table->interColumnSpacing = 0;
        table->interRowAdditionalSpacing = 1;
        table->setAlignment(Alignment::center, 0);
        return table;
    }

    if (*name == "eqnarray") {
        if (widest != 3) {
            setColumnError(error, *name, " environment can only have 3 columns");
            return nullptr;
        }
        table->interColumnSpacing = 18;
        table->interRowAdditionalSpacing = 1;
        table->setAlignment(Alignment::right, 0);
        table->setAlignment(Alignment::center, 1);
        table->setAlignment(Alignment::left, 2);
        return table;
    }

    if (*name == "cases") {
        if (!rows.empty() && widest != 1 && widest != 2) {
            if (!error) {
                error = ParserError{ParserError::Code::invalidNumberOfColumns,
                                    "cases environment can have 1 or 2 columns"};
            }
            return nullptr;
        }
        table->interColumnSpacing = 18;
        table->interRowAdditionalSpacing = 0;
        table->setAlignment(Alignment::left, 0);
        if (widest == 2) {
            table->setAlignment(Alignment::left, 1);
        }
        insertAtFrontOfEveryCell(*table, std::make_shared<Style>(Style::Level::text));
        auto innerList = std::make_shared<AtomList>();
        innerList->append(symbolAtomForName(","));
        innerList->append(table);
        return std::make_shared<Inner>(std::move(innerList), boundaryAtomForDelimiterName("{"),
                                       boundaryAtomForDelimiterName("."));
    }

    error = ParserError{ParserError::Code::invalidEnvironment, "Unknown environment " + *name};
    return nullptr;
}

} // namespace Math
