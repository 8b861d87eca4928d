#pragma once

// The LaTeX math parser: a recursive-descent reader over the characters (grapheme clusters) of a
// formula that builds an atom list, or stops at the first error.

#include "Math/Atom.hpp"
#include "Math/AtomList.hpp"
#include "Math/ParserError.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Math {

// Parses `latex` (optionally wrapped in $...$, $$...$$, \(...\) or \[...\]). Gives null when the
// text has an error; use a Parser to learn which.
std::shared_ptr<AtomList> parseLatex(std::string_view latex);

class Parser {
public:
    // `display` for plain text, $$...$$ and \[...\]; `inline_` for $...$ and \(...\).
    enum class Mode : std::uint8_t { display, inline_ };

    // The table environment being read; no name for an implicit table started by & or \\.
    struct Environment {
        std::optional<std::string> name;
        bool ended = false;
        std::int64_t numberOfRows = 0;
        std::optional<Table::ColumnAlignment> alignment;
    };

    // How deeply groups, scripts, arguments, \left groups and environments may nest. Deeper
    // input is an error rather than a risk to the stack.
    static constexpr int maximumDepth = 128;

    // Prepares a parse of `latex`. A parser is used once.
    explicit Parser(std::string_view latex);
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // The list, or null when an error was met (see error()).
    std::shared_ptr<AtomList> buildAtomList();

    // The first error met, if any.
    const std::optional<ParserError>& error() const { return error_; }
    Mode mode() const { return mode_; }

private:
    struct Character {
        std::string_view text; // as written
        std::string_view key;  // canonical (NFC) form, for comparisons and lookups
    };

    void detectMathMode();
    void setCharacters(std::string_view text, std::vector<Character>& out);

    std::shared_ptr<AtomList> parseAtoms(bool oneCharOnly,
                                         std::optional<std::string_view> stopCharacter);
    std::shared_ptr<AtomList> parseStopCommand(const std::string& command,
                                               const std::shared_ptr<AtomList>& list,
                                               std::optional<std::string_view> stopCharacter);
    bool applyLimits(const std::string& command, const std::shared_ptr<Atom>& previous);
    std::shared_ptr<Atom> parseEnvironmentBody(const std::optional<std::string>& name,
                                               std::optional<Table::ColumnAlignment> alignment,
                                               const std::shared_ptr<AtomList>& firstCell,
                                               bool startsWithRowBreak);
    std::shared_ptr<Atom> parseCommand(const std::string& command);
    std::shared_ptr<Atom> parseFraction(bool hasRule, std::string left, std::string right);
    std::shared_ptr<Atom> parseLeft();
    std::shared_ptr<Atom> parseMathKern();
    std::shared_ptr<AtomList> parseArgument();

    // Readers: each advances the read position.
    bool hasCharacters() const { return index_ < characters_.size(); }
    const Character& nextCharacter() { return characters_[index_++]; }
    void unreadCharacter() { --index_; }
    void skipSpaces();
    bool expectCharacter(std::string_view character);
    std::string readCommand();
    std::string readCommandName();
    std::string peekCommand();
    std::optional<std::string> readEnvironmentName();
    std::optional<std::string> readColorArgument();
    std::optional<std::string> readDelimiter();
    std::shared_ptr<Atom> parseDelimiter(std::string_view command);

    void setError(ParserError::Code code, std::string message);

    std::string source_;                 // the input as valid UTF-8
    std::deque<std::string> keyStorage_; // canonical forms that differ from the text
    std::vector<Character> characters_;  // the text being read, after math-mode detection
    std::size_t index_ = 0;
    std::shared_ptr<Inner> currentInnerAtom_;
    std::optional<Environment> currentEnvironment_;
    Atom::FontStyle currentFontStyle_ = Atom::FontStyle::default_;
    bool spacesAllowed_ = false;
    Mode mode_ = Mode::display;
    std::optional<ParserError> error_;
    int depth_ = 0;
    bool used_ = false;
};

} // namespace Math
