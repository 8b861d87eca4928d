// The tokens kept for code shown again: found by code and language, within a budget of bytes,
// the least recently used going first.

#include "Vellum/highlighting/CodeTokenCache.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vellum {
namespace {

using Tokens = CodeTokenCache::Tokens;

Tokens tokensOf(const std::string& code, HighlighterTheme::TokenType type = "keyword") {
    return std::make_shared<const std::vector<CodeToken>>(
        std::vector<CodeToken>{{code, std::move(type)}});
}

// What one entry of `code` (as made by tokensOf, in language "cpp") is counted as.
std::size_t entryCost(const std::string& code) {
    return CodeTokenCache::cost(code, "cpp", *tokensOf(code));
}

TEST(CodeTokenCacheTests, FindsTokensByCodeAndLanguage) {
    CodeTokenCache cache(1 << 20);
    EXPECT_EQ(cache.find("int x;", "cpp"), nullptr);
    const Tokens tokens = tokensOf("int x;");
    cache.insert("int x;", "cpp", tokens);
    EXPECT_EQ(cache.find("int x;", "cpp"), tokens);
    // The language is part of the key, and the two do not run into each other.
    EXPECT_EQ(cache.find("int x;", "c"), nullptr);
    EXPECT_EQ(cache.find("int x;cpp", ""), nullptr);
    EXPECT_EQ(cache.find("int x", ";cpp"), nullptr);
    // A newer answer for the same code takes the old one's place.
    const Tokens newer = tokensOf("int x;", "plain");
    cache.insert("int x;", "cpp", newer);
    EXPECT_EQ(cache.find("int x;", "cpp"), newer);
    // The replaced one is counted no more.
    EXPECT_EQ(cache.bytes(), CodeTokenCache::cost("int x;", "cpp", *newer));
}

TEST(CodeTokenCacheTests, StaysWithinItsBudgetDroppingTheLeastRecentlyUsed) {
    const std::string a(100, 'a');
    const std::string b(100, 'b');
    const std::string c(100, 'c');
    const std::string d(100, 'd');
    // Room for three entries of this size, not four.
    CodeTokenCache cache(entryCost(a) * 3 + entryCost(a) / 2);
    cache.insert(a, "cpp", tokensOf(a));
    cache.insert(b, "cpp", tokensOf(b));
    cache.insert(c, "cpp", tokensOf(c));
    EXPECT_EQ(cache.bytes(), entryCost(a) * 3);
    // Used again, `a` is now the most recent: `b` goes for `d`.
    ASSERT_NE(cache.find(a, "cpp"), nullptr);
    cache.insert(d, "cpp", tokensOf(d));
    EXPECT_LE(cache.bytes(), cache.budget());
    EXPECT_NE(cache.find(a, "cpp"), nullptr);
    EXPECT_EQ(cache.find(b, "cpp"), nullptr);
    EXPECT_NE(cache.find(c, "cpp"), nullptr);
    EXPECT_NE(cache.find(d, "cpp"), nullptr);

    // Many more, of growing sizes: never over budget, and the newest always kept.
    for (int i = 0; i < 200; ++i) {
        const std::string code(static_cast<std::size_t>(i) * 3, 'x');
        cache.insert(code, std::to_string(i), tokensOf(code));
        ASSERT_LE(cache.bytes(), cache.budget()) << i;
        ASSERT_NE(cache.find(code, std::to_string(i)), nullptr) << i;
    }

    // An entry larger than the whole budget is not kept, and drops nothing.
    const std::size_t before = cache.bytes();
    const std::string huge(cache.budget(), 'h');
    cache.insert(huge, "cpp", tokensOf(huge));
    EXPECT_EQ(cache.find(huge, "cpp"), nullptr);
    EXPECT_EQ(cache.bytes(), before);
}

TEST(CodeTokenCacheTests, CountsWhatTheTokensHold) {
    const std::vector<CodeToken> few = {{"int", "keyword"}};
    const std::vector<CodeToken> many = {{"int", "keyword"}, {" ", "plain"}, {"x", "plain"}};
    EXPECT_LT(CodeTokenCache::cost("int x", "cpp", few),
              CodeTokenCache::cost("int x", "cpp", many));
    EXPECT_LT(CodeTokenCache::cost("int x", "cpp", few),
              CodeTokenCache::cost(std::string(1000, 'x'), "cpp", few));
    EXPECT_GE(CodeTokenCache::cost("int x", "cpp", many), 5 + 3 + 3 * sizeof(CodeToken));
}

} // namespace
} // namespace vellum
