#pragma once

// Names of delimiters, accents and font styles, and the reverse delimiter and accent tables the
// writer uses. Built once on first use and read-only afterwards, so any thread reads them freely.

#include "Math/Atom.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Math {

using NameTable = std::unordered_map<std::string, std::string>;

// Delimiter name ("(", "langle", "||", "." ...) to delimiter string ("." is the empty one).
const NameTable& delimiterNames();
// Accent command ("hat", "vec" ...) to its combining mark.
const NameTable& accentNames();
// Font-style command ("mathbf", "text", "bm" ...) to its style.
const std::unordered_map<std::string, Atom::FontStyle>& fontStyleNames();

// The command after \not ("in", "equiv" ...) to the negated relation it makes.
const NameTable& negationNames();

// Reverse tables: a value to its shortest name (at equal length the first in byte order).
const NameTable& delimiterValueNames();
const NameTable& accentValueNames();
const NameTable& negationValueNames();
NameTable invertNameTable(const NameTable& table);

// A new boundary atom for a delimiter name, or null when the name is not a delimiter.
std::shared_ptr<Atom> boundaryAtomForDelimiterName(std::string_view name);
// A new accent (mark as nucleus, no inner list) for an accent command, or null.
std::shared_ptr<Accent> accentAtomForName(std::string_view name);
// The style of a font-style command, or nothing.
std::optional<Atom::FontStyle> fontStyleForName(std::string_view name);

} // namespace Math
