#include "Math/Parser.hpp"

#include "Math/CharacterClassification.hpp"
#include "Math/EnvironmentTable.hpp"
#include "Math/NameTables.hpp"
#include "Math/SymbolTable.hpp"
#include "Math/TextCharacters.hpp"
#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/runtime/ScopeExit.hpp"

#include <array>
#include <charconv>
#include <unordered_map>

namespace Math {

namespace ascii = platform::ascii;
namespace unicode = platform::unicode;

namespace {

// Names are compared by canonical equivalence: the lookup key of a name is its NFC form.
std::string keyOf(std::string_view name) {
    return unicode::isAscii(name) ? std::string(name) : unicode::nfc(name);
}

// Printable ASCII other than the space: the only characters skipSpaces stops at. (A character
// whose scalar values add up to 33..126 can only be a single such scalar.)
bool isPrintableAscii(std::string_view text) {
    return text.size() == 1 && text[0] >= 33 && text[0] <= 126;
}

bool isCommandLetter(std::string_view text) {
    if (text.size() == 1) {
        return ascii::isAlpha(text[0]);
    }
    if (unicode::isAscii(text)) {
        return false;
    }
    return unicode::isUppercase(text) || unicode::isLowercase(text);
}

bool isSingleCharacterCommand(std::string_view key) {
    static constexpr std::array<std::string_view, 13> names{"{", "}", "$", "#", "%", "_", "|",
                                                            " ", ",", ">", ";", "!", "\\"};
    for (const auto name : names) {
        if (key == name) {
            return true;
        }
    }
    return false;
}

bool isColorCharacter(std::string_view key) {
    if (key.size() != 1) {
        return false;
    }
    const char c = key[0];
    return c == '#' || ascii::isAlnum(c);
}

struct InfixFraction {
    bool hasRule;
    std::string_view left;
    std::string_view right;
};

std::optional<InfixFraction> infixFraction(std::string_view command) {
    if (command == "over")
        return InfixFraction{true, "", ""};
    if (command == "atop")
        return InfixFraction{false, "", ""};
    if (command == "choose")
        return InfixFraction{false, "(", ")"};
    if (command == "brack")
        return InfixFraction{false, "[", "]"};
    if (command == "brace")
        return InfixFraction{false, "{", "}"};
    return std::nullopt;
}

} // namespace

std::shared_ptr<AtomList> parseLatex(std::string_view latex) {
    Parser parser(latex);
    return parser.buildAtomList();
}

Parser::Parser(std::string_view latex)
    : source_(unicode::makeValidUtf8(latex)) {}

void Parser::setError(ParserError::Code code, std::string message) {
    if (!error_) {
        error_ = ParserError{code, std::move(message)};
    }
}

void Parser::setCharacters(std::string_view text, std::vector<Character>& out) {
    out.clear();
    const auto clusters = textCharacters(text);
    out.reserve(clusters.size());
    for (const auto cluster : clusters) {
        if ((cluster.size() == 1 && static_cast<unsigned char>(cluster[0]) < 0x80) ||
            unicode::isAscii(cluster) || unicode::isNfc(cluster)) {
            out.push_back({cluster, cluster});
        } else {
            out.push_back({cluster, keyStorage_.emplace_back(unicode::nfc(cluster))});
        }
    }
}

void Parser::detectMathMode() {
    // Only a text that starts with "$", "\[" or "\(" can be wrapped (no other character has
    // one of them for its normal form); any other is read as given, and its characters, which take
    // a tenth of parsing a long formula to find, are found once.
    // The start alone tells, and the end is looked for only then: trimming a long formula at both
    // ends reads it whole.
    std::size_t start = 0;
    for (std::size_t next = 0; start < source_.size(); start = next) {
        if (!unicode::isWhitespaceOrNewline(decodeScalar(source_, next))) {
            break;
        }
    }
    const std::string_view leading = std::string_view(source_).substr(start);
    if (!leading.starts_with('$') && !leading.starts_with("\\[") && !leading.starts_with("\\(")) {
        setCharacters(source_, characters_);
        mode_ = Mode::display;
        index_ = 0;
        return;
    }
    const std::string_view trimmedText = unicode::trimmingWhitespaceAndNewlines(source_);
    std::vector<Character> trimmed;
    setCharacters(trimmedText, trimmed);
    const std::size_t count = trimmed.size();
    const auto is = [&](std::size_t i, std::string_view c) { return trimmed[i].key == c; };
    const auto take = [&](std::size_t cut, Mode mode) {
        characters_.assign(trimmed.begin() + static_cast<std::ptrdiff_t>(cut),
                           trimmed.end() - static_cast<std::ptrdiff_t>(cut));
        mode_ = mode;
    };
    if (count >= 5 && is(0, "\\") && is(1, "[") && is(count - 2, "\\") && is(count - 1, "]")) {
        take(2, Mode::display);
    } else if (count >= 5 && is(0, "$") && is(1, "$") && is(count - 2, "$") && is(count - 1, "$")) {
        take(2, Mode::display);
    } else if (count >= 5 && is(0, "\\") && is(1, "(") && is(count - 2, "\\") &&
               is(count - 1, ")")) {
        take(2, Mode::inline_);
    } else if (count >= 3 && is(0, "$") && is(count - 1, "$") && !is(1, "$")) {
        take(1, Mode::inline_);
    } else {
        // Not wrapped: the text is read as given, untrimmed.
        setCharacters(source_, characters_);
        mode_ = Mode::display;
    }
    index_ = 0;
}

std::shared_ptr<AtomList> Parser::buildAtomList() {
    if (used_) {
        return nullptr;
    }
    used_ = true;
    detectMathMode();
    auto list = parseAtoms(false, std::nullopt);
    if (!hasCharacters()) {
        if (error_) {
            return nullptr;
        }
        if (!list) {
            setError(ParserError::Code::internalError, "Internal error");
            return nullptr;
        }
        if (mode_ == Mode::inline_ && !list->atoms.empty()) {
            list->insert(std::make_shared<Style>(Style::Level::text), 0);
        }
        return list;
    }
    if (!error_) {
        std::string whole;
        for (const auto& c : characters_) {
            whole += c.text;
        }
        setError(ParserError::Code::mismatchedBraces, "Mismatched braces: " + whole);
    }
    return nullptr;
}

std::shared_ptr<AtomList> Parser::parseAtoms(bool oneCharOnly,
                                             std::optional<std::string_view> stopCharacter) {
    if (depth_ >= maximumDepth) {
        setError(ParserError::Code::nestingTooDeep, "Nesting too deep");
        return nullptr;
    }
    ++depth_;
    const platform::ScopeExit leave([this] { --depth_; });

    auto list = std::make_shared<AtomList>();
    std::shared_ptr<Atom> previous;

    // Gives an atom its style and puts it in the list; tells whether reading ends here.
    const auto addAtom = [&](std::shared_ptr<Atom> atom) {
        atom->fontStyle = currentFontStyle_;
        list->append(atom); // a boundary is not stored
        previous = std::move(atom);
        return oneCharOnly;
    };
    // Appends a group's atoms (the braces make no atom of their own).
    const auto addGroup = [&](const AtomList& group) {
        previous = group.atoms.empty() ? nullptr : group.atoms.back();
        for (const auto& atom : group.atoms) {
            list->append(atom);
        }
        return oneCharOnly;
    };

    while (hasCharacters()) {
        if (error_) {
            return nullptr;
        }
        const Character& character = nextCharacter();
        const std::string_view c = character.key;
        // Nearly every character is one byte, told apart by that byte alone.
        const char single = c.size() == 1 ? c[0] : '\0';
        if (oneCharOnly && (single == '^' || single == '}' || single == '_' || single == '&')) {
            unreadCharacter();
            return list;
        }
        if (stopCharacter && c == *stopCharacter) {
            return list;
        }
        if (single == '^' || single == '_') {
            const bool superscript = single == '^';
            if (!previous || (superscript ? previous->superscript() : previous->subscript()) ||
                isScriptlessType(previous->type)) {
                previous = std::make_shared<Atom>(AtomType::ordinary);
                list->append(previous);
            }
            auto script = parseAtoms(true, std::nullopt);
            if (superscript) {
                previous->setSuperscript(std::move(script));
            } else {
                previous->setSubscript(std::move(script));
            }
            continue;
        }
        if (single == '{') {
            const auto group = parseAtoms(false, "}");
            if (group && addGroup(*group)) {
                return list;
            }
            continue;
        }
        if (single == '}') {
            if (currentEnvironment_ && !currentEnvironment_->name) {
                currentEnvironment_->ended = true;
                return list;
            }
            setError(ParserError::Code::mismatchedBraces, "Mismatched braces.");
            return nullptr;
        }
        if (single == '\\') {
            const std::string command = readCommand();
            const std::string key = keyOf(command);
            if (auto result = parseStopCommand(key, list, stopCharacter)) {
                return result;
            }
            if (error_) {
                return nullptr;
            }
            if (applyLimits(key, previous)) {
                continue;
            }
            if (const auto style = fontStyleForName(key)) {
                const bool savedSpacesAllowed = spacesAllowed_;
                const Atom::FontStyle savedFontStyle = currentFontStyle_;
                spacesAllowed_ = key == "text";
                currentFontStyle_ = *style;
                const auto argument = parseAtoms(true, std::nullopt);
                spacesAllowed_ = savedSpacesAllowed;
                currentFontStyle_ = savedFontStyle;
                if (argument && addGroup(*argument)) {
                    return list;
                }
                continue;
            }
            auto atom = parseCommand(command);
            if (!atom) {
                setError(ParserError::Code::internalError, "Internal error");
                return nullptr;
            }
            if (addAtom(std::move(atom))) {
                return list;
            }
            continue;
        }
        if (single == '&') {
            if (currentEnvironment_) {
                return list; // the cell ends
            }
            auto table = parseEnvironmentBody(std::nullopt, std::nullopt, list, false);
            if (!table) {
                return nullptr;
            }
            return std::make_shared<AtomList>(std::vector<std::shared_ptr<Atom>>{std::move(table)});
        }

        std::shared_ptr<Atom> atom;
        if (spacesAllowed_ && single == ' ') {
            atom = symbolAtomForName(resolveSymbolAlias(" "));
        } else {
            atom = atomForCharacter(character.text);
            if (!atom && spacesAllowed_ && currentFontStyle_ == Atom::FontStyle::roman) {
                atom = std::make_shared<Atom>(AtomType::ordinary, std::string(character.text));
            }
        }
        if (atom && addAtom(std::move(atom))) {
            return list;
        }
    }

    if (stopCharacter && !error_) {
        if (*stopCharacter == "}") {
            setError(ParserError::Code::mismatchedBraces, "Missing closing brace");
        } else {
            setError(ParserError::Code::characterNotFound,
                     "Expected character not found: " + std::string(*stopCharacter));
        }
    }
    return list;
}

std::shared_ptr<AtomList> Parser::parseStopCommand(const std::string& command,
                                                   const std::shared_ptr<AtomList>& list,
                                                   std::optional<std::string_view> stopCharacter) {
    if (command == "right") {
        if (!currentInnerAtom_) {
            setError(ParserError::Code::missingLeft, "Missing \\left");
            return nullptr;
        }
        currentInnerAtom_->setRightBoundary(parseDelimiter("right"));
        return currentInnerAtom_->rightBoundary() ? list : nullptr;
    }
    if (const auto infix = infixFraction(command)) {
        auto fraction = std::make_shared<Fraction>();
        fraction->hasRule = infix->hasRule;
        fraction->leftDelimiter = infix->left;
        fraction->rightDelimiter = infix->right;
        fraction->numerator = list;
        fraction->denominator = parseAtoms(false, stopCharacter);
        if (error_) {
            return nullptr;
        }
        return std::make_shared<AtomList>(std::vector<std::shared_ptr<Atom>>{std::move(fraction)});
    }
    if (command == "\\" || command == "cr") {
        if (currentEnvironment_) {
            ++currentEnvironment_->numberOfRows;
            return list; // the cell and the row end
        }
        auto table = parseEnvironmentBody(std::nullopt, std::nullopt, list, true);
        if (!table) {
            return nullptr;
        }
        return std::make_shared<AtomList>(std::vector<std::shared_ptr<Atom>>{std::move(table)});
    }
    if (command == "end") {
        if (!currentEnvironment_) {
            setError(ParserError::Code::missingBegin, "Missing \\begin");
            return nullptr;
        }
        const auto name = readEnvironmentName();
        if (!name) {
            return nullptr;
        }
        if (currentEnvironment_->name && keyOf(*currentEnvironment_->name) == keyOf(*name)) {
            currentEnvironment_->ended = true;
            return list;
        }
        setError(ParserError::Code::invalidEnvironment,
                 "Begin environment name " + currentEnvironment_->name.value_or("(none)") +
                     " does not match end name: " + *name);
        return nullptr;
    }
    return nullptr;
}

bool Parser::applyLimits(const std::string& command, const std::shared_ptr<Atom>& previous) {
    if (command != "limits" && command != "nolimits") {
        return false;
    }
    const bool limits = command == "limits";
    auto* largeOperator = previous && previous->type == AtomType::largeOperator
                              ? dynamic_cast<LargeOperator*>(previous.get())
                              : nullptr;
    if (largeOperator) {
        largeOperator->limits = limits;
    } else {
        setError(ParserError::Code::invalidLimits,
                 limits ? "Limits can only be applied to an operator."
                        : "No limits can only be applied to an operator.");
    }
    return true;
}

std::shared_ptr<Atom> Parser::parseEnvironmentBody(const std::optional<std::string>& name,
                                                   std::optional<Table::ColumnAlignment> alignment,
                                                   const std::shared_ptr<AtomList>& firstCell,
                                                   bool startsWithRowBreak) {
    auto savedEnvironment = std::move(currentEnvironment_);
    currentEnvironment_ = Environment{name, false, 0, alignment};

    TableRows rows(1);
    std::size_t row = 0;
    if (firstCell) {
        rows[0].push_back(firstCell);
        if (startsWithRowBreak) {
            currentEnvironment_->numberOfRows = 1;
            rows.emplace_back();
            row = 1;
        }
    }
    while (!currentEnvironment_->ended) {
        if (!hasCharacters()) {
            if (!name) {
                break;
            }
            setError(ParserError::Code::missingEnd, "Missing \\end");
            return nullptr;
        }
        auto cell = parseAtoms(false, std::nullopt);
        if (!cell || error_) {
            return nullptr;
        }
        rows[row].push_back(std::move(cell));
        const auto rowCount = static_cast<std::size_t>(currentEnvironment_->numberOfRows);
        if (row < rowCount) {
            // A cell can hold more than one row break (one inside a group among them): grow
            // the rows up to the count rather than by one, so the index always exists.
            while (rows.size() <= rowCount) {
                rows.emplace_back();
            }
            row = rowCount;
        }
    }

    std::optional<ParserError> builderError;
    auto table =
        makeEnvironmentTable(name ? std::optional<std::string>(keyOf(*name)) : std::nullopt, rows,
                             alignment, builderError);
    if (!table) {
        if (builderError) {
            setError(builderError->code, builderError->message);
        } else {
            setError(ParserError::Code::internalError, "Internal error");
        }
        return nullptr;
    }
    currentEnvironment_ = std::move(savedEnvironment);
    return table;
}

std::shared_ptr<Atom> Parser::parseMathKern() {
    // \mkern<amount>mu, as the serializer writes spaces without a name of their own.
    skipSpaces();
    std::string number;
    // Long enough for any finite amount written out in full (309 digits), and no longer.
    while (hasCharacters() && number.size() < 330) {
        const std::string_view c = characters_[index_].key;
        const bool sign = number.empty() && (c == "-" || c == "+");
        if (!sign && !(c.size() == 1 && (ascii::isDigit(c[0]) || c[0] == '.'))) {
            break;
        }
        number += c;
        ++index_;
    }
    const std::string_view digits =
        !number.empty() && number[0] == '+' ? std::string_view(number).substr(1) : number;
    double amount = 0;
    const auto [end, status] =
        std::from_chars(digits.data(), digits.data() + digits.size(), amount);
    if (digits.empty() || status != std::errc{} || end != digits.data() + digits.size() ||
        !expectCharacter("m") || !expectCharacter("u")) {
        setError(ParserError::Code::invalidCommand, "Invalid \\mkern amount: " + number);
        return nullptr;
    }
    return std::make_shared<Space>(amount);
}

std::shared_ptr<AtomList> Parser::parseArgument() {
    return parseAtoms(true, std::nullopt);
}

std::shared_ptr<Atom> Parser::parseFraction(bool hasRule, std::string left, std::string right) {
    auto fraction = std::make_shared<Fraction>();
    fraction->hasRule = hasRule;
    fraction->leftDelimiter = std::move(left);
    fraction->rightDelimiter = std::move(right);
    fraction->numerator = parseArgument();
    if (error_) {
        return nullptr;
    }
    fraction->denominator = parseArgument();
    if (error_) {
        return nullptr;
    }
    return fraction;
}

std::shared_ptr<Atom> Parser::parseLeft() {
    auto saved = currentInnerAtom_;
    auto inner = std::make_shared<Inner>();
    currentInnerAtom_ = inner;
    inner->setLeftBoundary(parseDelimiter("left"));
    if (!inner->leftBoundary()) {
        return nullptr;
    }
    inner->innerList = parseAtoms(false, std::nullopt);
    if (error_) {
        return nullptr;
    }
    if (!inner->rightBoundary()) {
        setError(ParserError::Code::missingRight, "Missing \\right");
        return nullptr;
    }
    currentInnerAtom_ = std::move(saved);
    return inner;
}

std::shared_ptr<Atom> Parser::parseCommand(const std::string& command) {
    const std::string name = keyOf(command);
    const std::string_view resolved = resolveSymbolAlias(name);
    if (auto symbol = symbolTable().withReadLock([resolved](const SymbolDictionary& table) {
            return copySymbolAtom(table, resolved);
        })) {
        return symbol;
    }
    if (auto accent = accentAtomForName(name)) {
        accent->innerList = parseArgument();
        return error_ ? nullptr : accent;
    }
    if (name == "frac") {
        return parseFraction(true, "", "");
    }
    if (name == "cfrac") {
        auto fraction = std::make_shared<Fraction>();
        fraction->isContinuedFraction = true;
        skipSpaces();
        if (hasCharacters() && characters_[index_].key == "[") {
            ++index_;
            if (hasCharacters()) {
                const std::string_view alignment = nextCharacter().key;
                if (alignment == "l" || alignment == "r" || alignment == "c") {
                    fraction->alignment = std::string(alignment);
                }
            }
            if (hasCharacters() && characters_[index_].key == "]") {
                ++index_;
            }
        }
        fraction->numerator = parseArgument();
        if (error_) {
            return nullptr;
        }
        fraction->denominator = parseArgument();
        return error_ ? nullptr : fraction;
    }
    if (name == "dfrac" || name == "tfrac") {
        auto atom = parseFraction(true, "", "");
        if (!atom) {
            return nullptr;
        }
        auto& fraction = static_cast<Fraction&>(*atom);
        const auto style =
            std::make_shared<Style>(name == "dfrac" ? Style::Level::display : Style::Level::text);
        fraction.numerator->insert(style, 0);
        fraction.denominator->insert(style, 0);
        return atom;
    }
    if (name == "binom") {
        return parseFraction(false, "(", ")");
    }
    if (name == "sqrt") {
        auto radical = std::make_shared<Radical>();
        if (hasCharacters() && characters_[index_].key == "[") {
            ++index_;
            radical->degree = parseAtoms(false, "]");
            if (error_) {
                return nullptr;
            }
        }
        radical->radicand = parseArgument();
        return error_ ? nullptr : radical;
    }
    if (name == "left") {
        return parseLeft();
    }
    if (name == "overline" || name == "underline") {
        auto argument = parseArgument();
        if (error_) {
            return nullptr;
        }
        if (name == "overline") {
            return std::make_shared<Overline>(std::move(argument));
        }
        return std::make_shared<Underline>(std::move(argument));
    }
    if (name == "substack") {
        auto body = parseArgument();
        if (!body || error_) {
            return nullptr;
        }
        if (body->atoms.size() == 1 && dynamic_cast<Table*>(body->atoms.front().get())) {
            return body->atoms.front();
        }
        std::optional<ParserError> builderError;
        auto table =
            makeEnvironmentTable(std::nullopt, TableRows{{body}}, std::nullopt, builderError);
        if (!table && builderError) {
            setError(builderError->code, builderError->message);
        }
        return table;
    }
    if (name == "begin") {
        const auto environment = readEnvironmentName();
        if (!environment) {
            return nullptr;
        }
        return parseEnvironmentBody(*environment, std::nullopt, nullptr, false);
    }
    if (name == "color" || name == "textcolor" || name == "colorbox") {
        auto colorString = readColorArgument();
        if (!colorString) {
            return nullptr;
        }
        auto argument = parseArgument();
        if (error_) {
            return nullptr;
        }
        if (name == "color") {
            return std::make_shared<Color>(std::move(*colorString), std::move(argument));
        }
        if (name == "textcolor") {
            return std::make_shared<TextColor>(std::move(*colorString), std::move(argument));
        }
        return std::make_shared<ColorBox>(std::move(*colorString), std::move(argument));
    }
    if (name == "mkern") {
        return parseMathKern();
    }
    if (name == "pmod") {
        auto argument = parseArgument();
        if (!argument || error_) {
            return nullptr;
        }
        auto list = std::make_shared<AtomList>();
        list->append(symbolAtomForName("mod"));
        list->append(std::make_shared<Space>(6));
        for (const auto& atom : argument->atoms) {
            list->append(atom);
        }
        return std::make_shared<Inner>(std::move(list), boundaryAtomForDelimiterName("("),
                                       boundaryAtomForDelimiterName(")"));
    }
    if (name == "not") {
        const std::string next = peekCommand();
        const auto& table = negationNames();
        if (const auto found = table.find(keyOf(next)); found != table.end()) {
            skipSpaces();
            nextCharacter(); // the backslash
            readCommand();
            return std::make_shared<Atom>(AtomType::relation, found->second);
        }
        setError(ParserError::Code::invalidCommand, "Unsupported \\not\\" + next + " combination");
        return nullptr;
    }
    setError(ParserError::Code::invalidCommand, "Invalid command \\" + command);
    return nullptr;
}

// MARK: Readers

void Parser::skipSpaces() {
    while (hasCharacters() && !isPrintableAscii(characters_[index_].text)) {
        ++index_;
    }
}

bool Parser::expectCharacter(std::string_view character) {
    skipSpaces();
    if (!hasCharacters()) {
        return false;
    }
    if (nextCharacter().key == character) {
        return true;
    }
    unreadCharacter();
    return false;
}

std::string Parser::readCommand() {
    if (!hasCharacters()) {
        return {};
    }
    const Character& character = nextCharacter();
    if (isSingleCharacterCommand(character.key)) {
        return std::string(character.text);
    }
    unreadCharacter();
    return readCommandName();
}

std::string Parser::readCommandName() {
    std::string name;
    while (hasCharacters()) {
        const Character& character = characters_[index_];
        if (character.key != "*" && !isCommandLetter(character.text)) {
            break;
        }
        name += character.text;
        ++index_;
    }
    return name;
}

std::string Parser::peekCommand() {
    const std::size_t saved = index_;
    skipSpaces();
    std::string name;
    if (hasCharacters() && nextCharacter().key == "\\") {
        name = readCommand();
    }
    index_ = saved;
    return name;
}

std::optional<std::string> Parser::readEnvironmentName() {
    if (!expectCharacter("{")) {
        setError(ParserError::Code::characterNotFound, "Missing {");
        return std::nullopt;
    }
    skipSpaces();
    std::string name = readCommandName();
    if (!expectCharacter("}")) {
        setError(ParserError::Code::characterNotFound, "Missing }");
        return std::nullopt;
    }
    return name;
}

std::optional<std::string> Parser::readColorArgument() {
    if (!expectCharacter("{")) {
        setError(ParserError::Code::characterNotFound, "Missing {");
        return std::nullopt;
    }
    skipSpaces();
    std::string color;
    while (hasCharacters() && isColorCharacter(characters_[index_].key)) {
        color += nextCharacter().key;
    }
    if (!expectCharacter("}")) {
        setError(ParserError::Code::characterNotFound, "Missing }");
        return std::nullopt;
    }
    return color;
}

std::optional<std::string> Parser::readDelimiter() {
    skipSpaces();
    if (!hasCharacters()) {
        return std::nullopt;
    }
    const Character& character = nextCharacter();
    if (character.key != "\\") {
        return std::string(character.text);
    }
    std::string name = readCommand();
    if (keyOf(name) == "|") {
        return std::string("||");
    }
    return name;
}

std::shared_ptr<Atom> Parser::parseDelimiter(std::string_view command) {
    const auto delimiter = readDelimiter();
    if (!delimiter) {
        setError(ParserError::Code::missingDelimiter,
                 "Missing delimiter for \\" + std::string(command));
        return nullptr;
    }
    auto atom = boundaryAtomForDelimiterName(keyOf(*delimiter));
    if (!atom) {
        setError(ParserError::Code::invalidDelimiter,
                 "Invalid delimiter for " + std::string(command) + ": " + *delimiter);
        return nullptr;
    }
    return atom;
}

} // namespace Math
