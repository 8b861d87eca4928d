#include "platform/foundation/PresentationIntent.hpp"

#include "platform/foundation/Hash.hpp"

#include <functional>

namespace platform {

namespace {} // namespace

std::string describe(InlinePresentationIntent intent) {
    static constexpr std::pair<std::uint32_t, const char*> names[] = {
        {InlinePresentationIntent::emphasizedBit, "emphasized"},
        {InlinePresentationIntent::stronglyEmphasizedBit, "stronglyEmphasized"},
        {InlinePresentationIntent::codeBit, "code"},
        {InlinePresentationIntent::strikethroughBit, "strikethrough"},
        {InlinePresentationIntent::softBreakBit, "softBreak"},
        {InlinePresentationIntent::lineBreakBit, "lineBreak"},
        {InlinePresentationIntent::inlineHTMLBit, "inlineHTML"},
        {InlinePresentationIntent::blockHTMLBit, "blockHTML"},
    };
    std::string out;
    std::uint32_t rest = intent.rawValue;
    for (const auto& [bit, name] : names) {
        if ((rest & bit) != 0) {
            out += out.empty() ? "" : "|";
            out += name;
            rest &= ~bit;
        }
    }
    if (rest != 0) {
        out += out.empty() ? "" : "|";
        out += "0x" + std::to_string(rest);
    }
    return out;
}

const char* describe(PresentationIntent::Kind kind) {
    using Kind = PresentationIntent::Kind;
    switch (kind) {
    case Kind::paragraph:
        return "paragraph";
    case Kind::header:
        return "header";
    case Kind::orderedList:
        return "orderedList";
    case Kind::unorderedList:
        return "unorderedList";
    case Kind::listItem:
        return "listItem";
    case Kind::codeBlock:
        return "codeBlock";
    case Kind::blockQuote:
        return "blockQuote";
    case Kind::thematicBreak:
        return "thematicBreak";
    case Kind::table:
        return "table";
    case Kind::tableHeaderRow:
        return "tableHeaderRow";
    case Kind::tableRow:
        return "tableRow";
    case Kind::tableCell:
        return "tableCell";
    }
    return "unknown";
}

using IntentType = PresentationIntent::IntentType;

IntentType IntentType::header(int level, int identity) {
    IntentType type{Kind::header, identity};
    type.value_ = level;
    return type;
}

IntentType IntentType::listItem(int ordinal, int identity) {
    IntentType type{Kind::listItem, identity};
    type.value_ = ordinal;
    return type;
}

IntentType IntentType::codeBlock(std::optional<std::string> languageHint, int identity) {
    IntentType type{Kind::codeBlock, identity};
    if (languageHint) {
        type.payload_ = std::make_shared<const Payload>(Payload{std::move(languageHint), {}});
    }
    return type;
}

IntentType IntentType::table(std::vector<TableColumn> columns, int identity) {
    IntentType type{Kind::table, identity};
    if (!columns.empty()) {
        type.payload_ = std::make_shared<const Payload>(Payload{std::nullopt, std::move(columns)});
    }
    return type;
}

IntentType IntentType::tableRow(int rowIndex, int identity) {
    IntentType type{Kind::tableRow, identity};
    type.value_ = rowIndex;
    return type;
}

IntentType IntentType::tableCell(int columnIndex, int identity) {
    IntentType type{Kind::tableCell, identity};
    type.value_ = columnIndex;
    return type;
}

const std::optional<std::string>& IntentType::languageHint() const noexcept {
    static const std::optional<std::string> none;
    return payload_ ? payload_->languageHint : none;
}

const std::vector<PresentationIntent::TableColumn>& IntentType::columns() const noexcept {
    static const std::vector<TableColumn> none;
    return payload_ ? payload_->columns : none;
}

bool operator==(const IntentType& a, const IntentType& b) {
    return a.kind_ == b.kind_ && a.identity_ == b.identity_ && a.value_ == b.value_ &&
           (a.payload_ == b.payload_ ||
            (a.languageHint() == b.languageHint() && a.columns() == b.columns()));
}

std::size_t IntentType::hash() const noexcept {
    std::size_t seed = static_cast<std::size_t>(kind_);
    seed = hashCombine(seed, std::hash<int>()(identity_));
    seed = hashCombine(seed, std::hash<int>()(value_));
    if (languageHint()) {
        seed = hashCombine(seed, std::hash<std::string>()(*languageHint()));
    }
    for (const TableColumn& column : columns()) {
        seed = hashCombine(seed, static_cast<std::size_t>(column.alignment));
    }
    return seed;
}

std::string IntentType::description() const {
    std::string out = describe(kind_);
    switch (kind_) {
    case Kind::header:
        out += "(level: " + std::to_string(value_) + ")";
        break;
    case Kind::listItem:
        out += "(ordinal: " + std::to_string(value_) + ")";
        break;
    case Kind::tableRow:
        out += "(rowIndex: " + std::to_string(value_) + ")";
        break;
    case Kind::tableCell:
        out += "(columnIndex: " + std::to_string(value_) + ")";
        break;
    case Kind::codeBlock:
        out += "(languageHint: " + (languageHint() ? "\"" + *languageHint() + "\"" : "nil") + ")";
        break;
    case Kind::table: {
        out += "(columns: [";
        for (std::size_t i = 0; i < columns().size(); ++i) {
            static constexpr const char* alignments[] = {"left", "center", "right"};
            out += i == 0 ? "" : ", ";
            out += alignments[static_cast<int>(columns()[i].alignment)];
        }
        out += "])";
        break;
    }
    default:
        break;
    }
    out += " #" + std::to_string(identity_);
    return out;
}

PresentationIntent::PresentationIntent(IntentType type, const PresentationIntent* parent) {
    components_.reserve(1 + (parent != nullptr ? parent->components_.size() : 0));
    components_.push_back(std::move(type));
    if (parent != nullptr) {
        components_.insert(components_.end(), parent->components_.begin(),
                           parent->components_.end());
    }
}

std::size_t PresentationIntent::hash() const noexcept {
    std::size_t seed = components_.size();
    for (const IntentType& component : components_) {
        seed = hashCombine(seed, component.hash());
    }
    return seed;
}

std::string PresentationIntent::description() const {
    std::string out;
    for (const IntentType& component : components_) {
        out += out.empty() ? "" : " < ";
        out += component.description();
    }
    return out;
}

} // namespace platform
