// Highlighted code: tokens in a theme's look for an environment, the themes themselves, and the
// tokens a code block gets with and without a language hint.

#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/highlighting/HighlightedText.hpp"
#include "platform/runtime/Runtime.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vellum {
namespace {

using platform::AttributeContainer;
using platform::AttributedString;
using platform::Color;
using platform::Font;
using platform::PresentationIntent;
using TokenType = HighlighterTheme::TokenType;
using Attributes = TextAttributeScope;
using Intent = platform::AttributeScopes::FoundationAttributes::PresentationIntentAttribute;
using Link = platform::AttributeScopes::FoundationAttributes::LinkAttribute;

TextEnvironmentValues environment(platform::ColorScheme scheme) {
    TextEnvironmentValues values;
    values.colorScheme = scheme;
    return values;
}
const TextEnvironmentValues light = environment(platform::ColorScheme::light);
const TextEnvironmentValues dark = environment(platform::ColorScheme::dark);

// The attributes of each run, with the run's text.
std::vector<std::pair<std::string, AttributeContainer>> runsOf(const AttributedString& text) {
    std::vector<std::pair<std::string, AttributeContainer>> runs;
    for (const AttributedString::Run& run : text.runs()) {
        runs.emplace_back(
            std::string(text.characters().substr(run.range.lowerBound.offset, run.range.length())),
            run.attributes);
    }
    return runs;
}

std::optional<Color> colorOf(const AttributeContainer& attributes) {
    const Color* color = attributes.get<Attributes::ForegroundColorAttribute>();
    return color != nullptr ? std::optional<Color>(*color) : std::nullopt;
}
std::optional<Font> fontOf(const AttributeContainer& attributes) {
    const Font* font = attributes.get<Attributes::FontAttribute>();
    return font != nullptr ? std::optional<Font>(*font) : std::nullopt;
}

AttributedString highlight(const std::vector<CodeToken>& tokens, const HighlighterTheme& theme,
                           const TextEnvironmentValues& env, const AttributedString& content) {
    return highlightCode(tokens, content[{content.startIndex(), content.endIndex()}], theme, env);
}
AttributedString highlight(const std::vector<CodeToken>& tokens, const HighlighterTheme& theme,
                           const TextEnvironmentValues& env) {
    std::string code;
    for (const CodeToken& token : tokens) {
        code += token.content;
    }
    return highlight(tokens, theme, env, AttributedString(code));
}

const std::vector<CodeToken> sample = {{"return", TokenType::keyword},
                                       {" ", TokenType::plain},
                                       {"x", TokenType("made-up")},
                                       {";", TokenType::punctuation},
                                       {"// why", TokenType::comment}};

// --- Themes over tokens ---

TEST(HighlightTests, DefaultThemeColoursTokensByTypeForTheColourScheme) {
    const HighlighterTheme& theme = HighlighterTheme::defaultTheme();
    for (const TextEnvironmentValues& env : {light, dark}) {
        const bool isDark = env.colorScheme == platform::ColorScheme::dark;
        SCOPED_TRACE(isDark ? "dark" : "light");
        const AttributedString text = highlight(sample, theme, env);
        EXPECT_EQ(text.string(), "return x;// why");
        const auto runs = runsOf(text);
        ASSERT_EQ(runs.size(), 3u);

        const Color foreground = isDark ? Color(1, 1, 1, 0.85) : Color(0, 0, 0, 0.85);
        const Color keyword =
            isDark ? Color(0.988394, 0.37355, 0.638329) : Color(0.607592, 0.137526, 0.576284);
        const Color comment =
            isDark ? Color(0.423943, 0.474618, 0.525183) : Color(0.36526, 0.421879, 0.475154);
        EXPECT_EQ(runs[0].first, "return");
        EXPECT_EQ(colorOf(runs[0].second), keyword);
        EXPECT_EQ(fontOf(runs[0].second), Font::body().weight(Font::Weight::semibold()));
        // Types the theme does not list, known or not, get the foreground colour and nothing else.
        EXPECT_EQ(runs[1].first, " x;");
        EXPECT_EQ(colorOf(runs[1].second), foreground);
        EXPECT_EQ(fontOf(runs[1].second), std::nullopt);
        EXPECT_EQ(runs[2].first, "// why");
        EXPECT_EQ(colorOf(runs[2].second), comment);
        EXPECT_EQ(fontOf(runs[2].second), std::nullopt);
    }
}

TEST(HighlightTests, DefaultThemeEntries) {
    const HighlighterTheme& theme = HighlighterTheme::defaultTheme();
    EXPECT_EQ(theme.tokenProperties.size(), 27u);
    EXPECT_EQ(theme.backgroundColor.resolve(dark.colorEnvironment()),
              Color(0.120543, 0.122844, 0.141312));
    const auto look = [&](const TokenType& type, const TextEnvironmentValues& env) {
        const auto runs = runsOf(highlight({{"t", type}}, theme, env));
        return std::pair(colorOf(runs.at(0).second), fontOf(runs.at(0).second));
    };
    // Entries that share a look, and the ones that differ by a hair.
    EXPECT_EQ(look(TokenType::literal, dark), look(TokenType::keyword, dark));
    EXPECT_EQ(look(TokenType::boolean, light), look(TokenType::keyword, light));
    EXPECT_EQ(look(TokenType::regex, dark), look(TokenType::string, dark));
    EXPECT_EQ(look(TokenType::tag, dark), look(TokenType::char_, dark));
    EXPECT_NE(look(TokenType::number, dark), look(TokenType::char_, dark));
    EXPECT_NE(look(TokenType::function, dark), look(TokenType::variable, dark));
    EXPECT_EQ(look(TokenType::constant, dark), look(TokenType::property, dark));
    EXPECT_EQ(look(TokenType::symbol, dark), look(TokenType::plain, dark));
    EXPECT_EQ(look(TokenType::mark, light),
              std::pair(std::optional<Color>(Color(0.290196, 0.333333, 0.376471)),
                        std::optional<Font>(Font::body().weight(Font::Weight::bold()))));
    EXPECT_EQ(look(TokenType::deleted, dark).first, Color(1, 0.258824, 0.270588));
}

TEST(HighlightTests, ColorOnlyThemeShowsEveryTokenInTheForeground) {
    const AttributedString text = highlight(sample, HighlighterTheme::colorOnly(), dark);
    const auto runs = runsOf(text);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].first, "return x;// why");
    EXPECT_EQ(colorOf(runs[0].second), Color(1, 1, 1, 0.85));
    EXPECT_EQ(fontOf(runs[0].second), std::nullopt);
}

TEST(HighlightTests, OnlyAUniformBlockIntentIsCarriedOver) {
    const PresentationIntent block(
        {PresentationIntent::IntentType::codeBlock(std::string("swift"), 3)});
    AttributeContainer intentAndLink;
    intentAndLink.set<Intent>(block);
    intentAndLink.set<Link>(*platform::URL::fromString("https://example.com"));
    AttributeContainer intentOnly;
    intentOnly.set<Intent>(block);

    AttributedString uniform("let ", intentAndLink);
    uniform.append("x", intentOnly);
    const std::vector<CodeToken> tokens = {{"let", TokenType::keyword}, {" x", TokenType::plain}};
    for (const auto& [text, attributes] :
         runsOf(highlight(tokens, HighlighterTheme::defaultTheme(), light, uniform))) {
        SCOPED_TRACE(text);
        ASSERT_NE(attributes.get<Intent>(), nullptr);
        EXPECT_EQ(*attributes.get<Intent>(), block);
        EXPECT_EQ(attributes.get<Link>(), nullptr);
        EXPECT_TRUE(colorOf(attributes));
    }

    AttributeContainer otherIntent;
    otherIntent.set<Intent>(
        PresentationIntent({PresentationIntent::IntentType::codeBlock(std::string("swift"), 4)}));
    AttributedString partly("let ", intentOnly);
    partly.append("x", AttributeContainer());
    AttributedString twoBlocks("let ", intentOnly);
    twoBlocks.append("x", otherIntent);
    for (const AttributedString& mixed : {partly, twoBlocks}) {
        for (const auto& [text, attributes] :
             runsOf(highlight(tokens, HighlighterTheme::defaultTheme(), light, mixed))) {
            EXPECT_EQ(attributes.get<Intent>(), nullptr) << text;
        }
    }
}

TEST(HighlightTests, NoTokensGiveNoText) {
    EXPECT_TRUE(
        highlight({}, HighlighterTheme::defaultTheme(), light, AttributedString("code")).empty());
}

TEST(HighlightTests, ThemesCompareAndHashByContent) {
    const HighlighterTheme& standard = HighlighterTheme::defaultTheme();
    EXPECT_EQ(highlighterTheme(platform::ui::EnvironmentValues()), standard);
    EXPECT_NE(HighlighterTheme::colorOnly(), standard);

    // The same entries made in another order (and kept in other buckets) are the same theme.
    HighlighterTheme reordered{standard.foregroundColor, standard.backgroundColor, {}};
    reordered.tokenProperties.reserve(512);
    std::vector<std::pair<TokenType, AnyTextProperty>> entries(standard.tokenProperties.begin(),
                                                               standard.tokenProperties.end());
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first.rawValue() > b.first.rawValue(); });
    for (const auto& entry : entries) {
        reordered.tokenProperties.insert(entry);
    }
    const auto keys = [](const HighlighterTheme& theme) {
        std::vector<std::string> names;
        for (const auto& [type, property] : theme.tokenProperties) {
            names.push_back(type.rawValue());
        }
        return names;
    };
    ASSERT_NE(keys(reordered), keys(standard)) << "the two themes should be kept differently";
    EXPECT_EQ(reordered, standard);
    EXPECT_EQ(std::hash<HighlighterTheme>{}(reordered), std::hash<HighlighterTheme>{}(standard));

    reordered.tokenProperties.insert_or_assign(
        TokenType::keyword, AnyTextProperty(ForegroundColorProperty{Color(1, 0, 0)}));
    EXPECT_NE(reordered, standard);
    EXPECT_NE(std::hash<HighlighterTheme>{}(reordered), std::hash<HighlighterTheme>{}(standard));

    platform::ui::EnvironmentValues values;
    setHighlighterTheme(values, HighlighterTheme::colorOnly());
    EXPECT_EQ(highlighterTheme(values), HighlighterTheme::colorOnly());

    // Copies share their entries until one is changed, which leaves the others as they were.
    const HighlighterTheme copied = standard;
    HighlighterTheme changed = copied;
    changed.tokenProperties.insert_or_assign(
        TokenType::keyword, AnyTextProperty(ForegroundColorProperty{Color(0, 1, 0)}));
    EXPECT_NE(changed, copied);
    EXPECT_EQ(copied.tokenProperties.find(TokenType::keyword)->second,
              standard.tokenProperties.find(TokenType::keyword)->second);
    EXPECT_NE(changed.tokenProperties.find(TokenType::keyword)->second,
              standard.tokenProperties.find(TokenType::keyword)->second);
}

// --- Tokens for a code block ---

// A tokenizer whose tokens name the language it was asked for.
std::shared_ptr<CodeTokenizer> echoTokenizer() {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("vellum-echo-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    std::ofstream(directory / "prism-bundle.js")
        << "function tokenizeCode(c, l) { return [{content: c, type: 'asked:' + l}]; }";
    auto tokenizer =
        CodeTokenizer::make(platform::Bundle::at(directory), platform::Logger::disabled());
    std::filesystem::remove_all(directory);
    return tokenizer;
}

TEST(HighlightTests, CodeBlocksAreTokenizedOnlyWithAHintAndATokenizer) {
    const std::shared_ptr<CodeTokenizer> tokenizer = echoTokenizer();
    ASSERT_NE(tokenizer, nullptr);
    // Null stands for code shown plain, never sent to the tokenizer.
    const auto tokens = [](std::optional<std::string> hint, std::shared_ptr<CodeTokenizer> with) {
        const auto shared =
            platform::blockingWait(tokenizeCodeBlock("a b", std::move(hint), std::move(with)));
        return shared ? std::optional<std::vector<CodeToken>>(*shared) : std::nullopt;
    };
    EXPECT_EQ(tokens(std::nullopt, tokenizer), std::nullopt);
    EXPECT_EQ(tokens("rust", nullptr), std::nullopt);
    EXPECT_EQ(tokens("rust", tokenizer),
              (std::vector<CodeToken>{{"a b", TokenType("asked:rust")}}));
    // An empty hint is still a hint.
    EXPECT_EQ(tokens("", tokenizer), (std::vector<CodeToken>{{"a b", TokenType("asked:")}}));
    EXPECT_EQ(tokenizer->requestCount(), 2U);
}

TEST(HighlightTests, BundledTokenizerThroughTheDefaultTheme) {
    const std::shared_ptr<CodeTokenizer>& tokenizer = CodeTokenizer::shared();
    ASSERT_NE(tokenizer, nullptr);
    const std::string code = "int main() { return 0; }";
    const auto shared = platform::blockingWait(tokenizeCodeBlock(code, "cpp", tokenizer));
    ASSERT_NE(shared, nullptr);
    const std::vector<CodeToken>& tokens = *shared;
    const AttributedString text = highlight(tokens, HighlighterTheme::defaultTheme(), dark);
    EXPECT_EQ(text.string(), code);
    const auto runs = runsOf(text);
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs[0].first, "int");
    EXPECT_EQ(colorOf(runs[0].second), Color(0.988394, 0.37355, 0.638329));
}

} // namespace
} // namespace vellum
