#pragma once

// How highlighted code looks: a foreground colour for all of it, a background colour for the
// block around it, and a text property per token type on top of the foreground.

#include "Vellum/text/AnyTextProperty.hpp"
#include "Vellum/text/DynamicColor.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

// The predefined token types: member name and the name the highlighter gives them.
#define VELLUM_TOKEN_TYPES(X)                                                                      \
    X(plain, "plain")                                                                              \
    X(keyword, "keyword")                                                                          \
    X(builtin, "builtin")                                                                          \
    X(className, "class-name")                                                                     \
    X(function, "function")                                                                        \
    X(boolean, "boolean")                                                                          \
    X(number, "number")                                                                            \
    X(string, "string")                                                                            \
    X(char_, "char")                                                                               \
    X(symbol, "symbol")                                                                            \
    X(regex, "regex")                                                                              \
    X(url, "url")                                                                                  \
    X(operator_, "operator")                                                                       \
    X(variable, "variable")                                                                        \
    X(constant, "constant")                                                                        \
    X(property, "property")                                                                        \
    X(punctuation, "punctuation")                                                                  \
    X(important, "important")                                                                      \
    X(comment, "comment")                                                                          \
    X(tag, "tag")                                                                                  \
    X(attrName, "attr-name")                                                                       \
    X(attrValue, "attr-value")                                                                     \
    X(namespace_, "namespace")                                                                     \
    X(prolog, "prolog")                                                                            \
    X(doctype, "doctype")                                                                          \
    X(cdata, "cdata")                                                                              \
    X(entity, "entity")                                                                            \
    X(bold, "bold")                                                                                \
    X(italic, "italic")                                                                            \
    X(atrule, "atrule")                                                                            \
    X(selector, "selector")                                                                        \
    X(inserted, "inserted")                                                                        \
    X(deleted, "deleted")                                                                          \
    X(blockComment, "block-comment")                                                               \
    X(docComment, "doc-comment")                                                                   \
    X(mark, "mark")                                                                                \
    X(functionName, "function-name")                                                               \
    X(preprocessor, "preprocessor")                                                                \
    X(directive, "directive")                                                                      \
    X(literal, "literal")                                                                          \
    X(otherDirective, "other-directive")                                                           \
    X(attribute, "attribute")                                                                      \
    X(functionDefinition, "function-definition")                                                   \
    X(label, "label")                                                                              \
    X(nil, "nil")                                                                                  \
    X(shortArgument, "short-argument")                                                             \
    X(omit, "omit")                                                                                \
    X(interpolation, "interpolation")                                                              \
    X(interpolationPunctuation, "interpolation-punctuation")

namespace vellum {

struct HighlighterTheme {
    // The kind of a token, by name. Any name is a token type; the predefined ones are those the
    // themes know.
    class TokenType {
    public:
        explicit TokenType(std::string rawValue)
            : rawValue_(std::move(rawValue)) {}
        TokenType(const char* rawValue) // NOLINT: implicit, written as a literal
            : rawValue_(rawValue) {}

        [[nodiscard]] const std::string& rawValue() const noexcept { return rawValue_; }

        friend bool operator==(const TokenType&, const TokenType&) = default;

#define VELLUM_DECLARE_TOKEN_TYPE(member, name) static const TokenType member;
        VELLUM_TOKEN_TYPES(VELLUM_DECLARE_TOKEN_TYPE)
#undef VELLUM_DECLARE_TOKEN_TYPE

    private:
        std::string rawValue_;
    };

    struct TokenTypeHash {
        std::size_t operator()(const TokenType& type) const noexcept {
            return std::hash<std::string>{}(type.rawValue());
        }
    };
    // Properties by token type. The entries are shared between copies (every code block's view
    // holds the theme of its environment) and copied only when one copy is changed.
    class TokenProperties {
    public:
        using Map = std::unordered_map<TokenType, AnyTextProperty, TokenTypeHash>;
        using const_iterator = Map::const_iterator;
        using value_type = Map::value_type;

        [[nodiscard]] const_iterator begin() const { return map().begin(); }
        [[nodiscard]] const_iterator end() const { return map().end(); }
        [[nodiscard]] const_iterator find(const TokenType& type) const { return map().find(type); }
        [[nodiscard]] std::size_t size() const { return map().size(); }
        [[nodiscard]] bool empty() const { return map().empty(); }

        void reserve(std::size_t count) { mutableMap().reserve(count); }
        template <class... Args>
        auto emplace(Args&&... args) {
            return mutableMap().emplace(std::forward<Args>(args)...);
        }
        template <class Entry>
        auto insert(Entry&& entry) {
            return mutableMap().insert(std::forward<Entry>(entry));
        }
        template <class Property>
        auto insert_or_assign(const TokenType& type, Property&& property) {
            return mutableMap().insert_or_assign(type, std::forward<Property>(property));
        }

        friend bool operator==(const TokenProperties& a, const TokenProperties& b) {
            return a.map_ == b.map_ || a.map() == b.map();
        }

    private:
        [[nodiscard]] const Map& map() const;
        // The entries, copied first when another copy shares them.
        Map& mutableMap();
        std::shared_ptr<Map> map_;
    };

    // Colour of all code text; token properties may override it.
    DynamicColor foregroundColor;
    // Colour behind the code: the code block's business, not the text's.
    DynamicColor backgroundColor;
    // Extra property per token type; types without an entry get none.
    TokenProperties tokenProperties;

    // Light and dark variants; keywords semibold, marks bold, the rest coloured.
    [[nodiscard]] static const HighlighterTheme& defaultTheme();
    // The default theme's colours and no token properties: all code in the foreground colour.
    [[nodiscard]] static const HighlighterTheme& colorOnly();

    friend bool operator==(const HighlighterTheme&, const HighlighterTheme&) = default;
    // Independent of the order the token properties were made in.
    [[nodiscard]] std::size_t hash() const noexcept;
};

#define VELLUM_DEFINE_TOKEN_TYPE(member, name)                                                     \
    inline const HighlighterTheme::TokenType HighlighterTheme::TokenType::member{name};
VELLUM_TOKEN_TYPES(VELLUM_DEFINE_TOKEN_TYPE)
#undef VELLUM_DEFINE_TOKEN_TYPE

// The environment value "highlighterTheme"; the default theme unless written.
struct HighlighterThemeKey {
    using Value = HighlighterTheme;
    static Value defaultValue() { return HighlighterTheme::defaultTheme(); }
};

[[nodiscard]] inline HighlighterTheme
highlighterTheme(const platform::ui::EnvironmentValues& environment) {
    return environment.get<HighlighterThemeKey>();
}
inline void setHighlighterTheme(platform::ui::EnvironmentValues& environment,
                                HighlighterTheme theme) {
    environment.set<HighlighterThemeKey>(std::move(theme));
}

} // namespace vellum

template <>
struct std::hash<vellum::HighlighterTheme::TokenType> {
    std::size_t operator()(const vellum::HighlighterTheme::TokenType& type) const noexcept {
        return vellum::HighlighterTheme::TokenTypeHash{}(type);
    }
};

template <>
struct std::hash<vellum::HighlighterTheme> {
    std::size_t operator()(const vellum::HighlighterTheme& theme) const noexcept {
        return theme.hash();
    }
};
