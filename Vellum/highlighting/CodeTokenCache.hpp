#pragma once

// The tokens of code tokenized lately, by code and language: tokens are a function of the code,
// its language and the script alone, so code shown again need not go to a worker again. Holds at
// most a budget of bytes (an estimate of what the entries occupy), dropping the entries used
// least recently to make room. Safe to use from any thread.

#include "Vellum/highlighting/CodeToken.hpp"

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vellum {

class CodeTokenCache {
public:
    using Tokens = std::shared_ptr<const std::vector<CodeToken>>;

    explicit CodeTokenCache(std::size_t budget)
        : budget_(budget) {}
    CodeTokenCache(const CodeTokenCache&) = delete;
    CodeTokenCache& operator=(const CodeTokenCache&) = delete;

    // The tokens kept for `code` in `language`, now the most recently used; nullptr when none are.
    [[nodiscard]] Tokens find(std::string_view code, std::string_view language);

    // Keeps `tokens` for `code` in `language` (replacing what was kept for them), dropping the
    // least recently used entries while over budget. An entry larger than the whole budget is
    // not kept.
    void insert(std::string code, std::string language, Tokens tokens);

    // What the entries kept now are counted as; never more than the budget.
    [[nodiscard]] std::size_t bytes() const;
    [[nodiscard]] std::size_t budget() const { return budget_; }

    // What an entry is counted as: its code, language and tokens with their bookkeeping.
    [[nodiscard]] static std::size_t cost(std::string_view code, std::string_view language,
                                          const std::vector<CodeToken>& tokens);

private:
    struct Entry {
        std::string code;
        std::string language;
        Tokens tokens;
        std::size_t bytes = 0;
    };
    // Views of an entry's own strings: entries do not move while listed.
    struct Key {
        std::string_view code;
        std::string_view language;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };
    using Entries = std::list<Entry>;

    // With the lock held.
    void erase(Entries::iterator entry);

    const std::size_t budget_;
    mutable std::mutex mutex_;
    // Most recently used first.
    Entries entries_;
    std::unordered_map<Key, Entries::iterator, KeyHash> index_;
    std::size_t bytes_ = 0;
};

} // namespace vellum
