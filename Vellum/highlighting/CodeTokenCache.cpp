#include "Vellum/highlighting/CodeTokenCache.hpp"

#include "platform/foundation/Hash.hpp"

#include <functional>
#include <iterator>

namespace vellum {

std::size_t CodeTokenCache::KeyHash::operator()(const Key& key) const noexcept {
    return platform::hashCombine(std::hash<std::string_view>{}(key.code),
                                 std::hash<std::string_view>{}(key.language));
}

std::size_t CodeTokenCache::cost(std::string_view code, std::string_view language,
                                 const std::vector<CodeToken>& tokens) {
    // The list and index nodes of an entry, and its vector's block.
    constexpr std::size_t entryOverhead = sizeof(Entry) + sizeof(Key) + 8 * sizeof(void*);
    std::size_t bytes = entryOverhead + code.size() + language.size();
    for (const CodeToken& token : tokens) {
        bytes += sizeof(CodeToken) + token.content.size() + token.type.rawValue().size();
    }
    return bytes;
}

CodeTokenCache::Tokens CodeTokenCache::find(std::string_view code, std::string_view language) {
    const std::scoped_lock lock(mutex_);
    const auto found = index_.find(Key{code, language});
    if (found == index_.end()) {
        return nullptr;
    }
    entries_.splice(entries_.begin(), entries_, found->second);
    return found->second->tokens;
}

void CodeTokenCache::insert(std::string code, std::string language, Tokens tokens) {
    if (!tokens) {
        return;
    }
    const std::size_t bytes = cost(code, language, *tokens);
    const std::scoped_lock lock(mutex_);
    if (const auto found = index_.find(Key{code, language}); found != index_.end()) {
        erase(found->second);
    }
    if (bytes > budget_) {
        return;
    }
    while (bytes_ + bytes > budget_) {
        erase(std::prev(entries_.end()));
    }
    entries_.push_front(Entry{std::move(code), std::move(language), std::move(tokens), bytes});
    index_.emplace(Key{entries_.front().code, entries_.front().language}, entries_.begin());
    bytes_ += bytes;
}

std::size_t CodeTokenCache::bytes() const {
    const std::scoped_lock lock(mutex_);
    return bytes_;
}

void CodeTokenCache::erase(Entries::iterator entry) {
    index_.erase(Key{entry->code, entry->language});
    bytes_ -= entry->bytes;
    entries_.erase(entry);
}

} // namespace vellum
