#include "Mossbarrow/SkillsBrowserViewModel.hpp"

#include "Mossbarrow/ClawHubEndpoint.hpp"
#include "Mossbarrow/OstrelEndpoint.hpp"
#include "platform/foundation/ASCII.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <array>
#include <chrono>
#include <cstdio>
#include <unordered_set>

namespace mossbarrow {

using namespace std::chrono_literals;
namespace unicode = platform::unicode;

namespace {

// Lower-cased the same way in every locale, then put in composed form, so that text typed
// decomposed finds text stored composed and the other way round (they are the same text).
std::string foldedText(std::string_view text) {
    return unicode::nfc(unicode::lowercased(text));
}

// Trimmed of white space and line breaks, then folded as the fields are.
std::string normalisedQuery(std::string_view query) {
    const std::string_view trimmed = unicode::trimmingWhitespaceAndNewlines(query);
    if (unicode::isAscii(trimmed)) {
        return unicode::lowercased(trimmed);
    }
    return foldedText(trimmed);
}

// Plain substring containment of the (already lower-cased) needle in the lower-cased field.
// ASCII fields, the common case, are lower-cased in the same pass that checks them, into a
// stack buffer when they are short; only other text goes through the full Unicode case mapping.
bool containsLowercased(std::string_view field, std::string_view needle) {
    std::array<char, 256> small; // written before it is read
    std::string large;
    char* out = small.data();
    if (field.size() > small.size()) {
        large.resize(field.size());
        out = large.data();
    }
    unsigned char nonAscii = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        nonAscii |= c;
        out[i] = platform::ascii::toLower(field[i]);
    }
    if ((nonAscii & 0x80U) != 0) {
        return foldedText(field).find(needle) != std::string::npos;
    }
    return std::string_view(out, field.size()).find(needle) != std::string_view::npos;
}

// One line per page, so that a registry that changes its format again is seen in the log
// without flooding it.
void logSkippedSkills(const SkillListResponse& page) {
    std::string line = "ClawHub: left out " + std::to_string(page.skippedItems.size()) + " of " +
                       std::to_string(page.items.size() + page.skippedItems.size()) +
                       " skills on this page (unreadable):";
    for (const std::string& item : page.skippedItems) {
        line += " " + item + ";";
    }
    // Texts from the server stay on this one line.
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    line.back() = '\n';
    std::fputs(line.c_str(), stderr);
}

} // namespace

SkillsBrowserViewModel::SkillsBrowserViewModel(Creation, std::shared_ptr<APIClient> apiClient)
    : apiClient_(std::move(apiClient)) {}

std::shared_ptr<SkillsBrowserViewModel>
SkillsBrowserViewModel::make(std::shared_ptr<APIClient> apiClient) {
    const auto model = std::make_shared<SkillsBrowserViewModel>(Creation{}, std::move(apiClient));
    const std::weak_ptr<SkillsBrowserViewModel> weak = model;
    // The delivered text is not used: the filter reads the current search text.
    model->cancellables_.insert(
        model->searchSubject_.debounce(500ms, platform::MainExecutor::shared())
            .removeDuplicates()
            .sink([weak](const std::string&) {
                if (const auto self = weak.lock()) {
                    self->applyOstrelFilter();
                }
            }));
    return model;
}

void SkillsBrowserViewModel::setProvider(SkillProvider provider) {
    provider_.set(provider);
    providerDidChange();
}

void SkillsBrowserViewModel::setSearchQuery(std::string text) {
    searchQuery_.set(std::move(text));
    searchSubject_.send(searchQuery_.peek());
}

std::optional<std::string_view>
SkillsBrowserViewModel::catalogueProviderKey(SkillProvider provider) {
    switch (provider.value()) {
    case SkillProvider::claude:
        return "anthropic";
    case SkillProvider::openAI:
        return "openai";
    case SkillProvider::openClaw:
        return std::nullopt;
    }
    return std::nullopt;
}

std::vector<OstrelSkill> SkillsBrowserViewModel::filterOstrel(const std::vector<OstrelSkill>& all,
                                                              std::string_view key,
                                                              std::string_view query) {
    const std::string needle = normalisedQuery(query);
    std::vector<OstrelSkill> result;
    for (const auto& skill : all) {
        if (skill.provider != key) {
            continue;
        }
        if (needle.empty() || containsLowercased(skill.name, needle) ||
            containsLowercased(skill.description, needle) ||
            containsLowercased(skill.longDescription, needle) ||
            containsLowercased(skill.slug, needle)) {
            result.push_back(skill);
        }
    }
    return result;
}

std::vector<ClawHubSkill> SkillsBrowserViewModel::filteredOpenClawItems() const {
    return filterClawHub(openClawItems_.get(), searchQuery_.get());
}

std::vector<ClawHubSkill>
SkillsBrowserViewModel::filterClawHub(const std::vector<ClawHubSkill>& items,
                                      std::string_view query) {
    const std::string needle = normalisedQuery(query);
    if (needle.empty()) {
        return items;
    }
    std::vector<ClawHubSkill> result;
    for (const auto& skill : items) {
        if (containsLowercased(skill.displayName, needle) ||
            (skill.summary && containsLowercased(*skill.summary, needle)) ||
            containsLowercased(skill.slug, needle)) {
            result.push_back(skill);
        }
    }
    return result;
}

std::vector<ClawHubSkill> SkillsBrowserViewModel::uniqueBySlug(std::vector<ClawHubSkill> skills) {
    std::unordered_set<ClawHubSkill> seen; // hashed and compared by slug
    std::vector<ClawHubSkill> result;
    result.reserve(skills.size());
    for (auto& skill : skills) {
        if (seen.insert(skill).second) {
            result.push_back(std::move(skill));
        }
    }
    return result;
}

void SkillsBrowserViewModel::applyOstrelFilter(bool reloaded) {
    const auto key = catalogueProviderKey(provider_.peek());
    if (!key) {
        return;
    }
    auto filtered = filterOstrel(ostrelAll_.peek(), *key, searchQuery_.peek());
    if (reloaded) {
        ostrelFiltered_.setAlways(std::move(filtered));
    } else {
        ostrelFiltered_.set(std::move(filtered));
    }
}

void SkillsBrowserViewModel::startOpenClawLoad(bool reset) {
    platform::Task<void>::run(
        [self = shared_from_this(), reset] { return self->loadOpenClaw(reset); });
}

void SkillsBrowserViewModel::startOstrelLoad() {
    platform::Task<void>::run([self = shared_from_this()] { return self->loadOstrel(); });
}

void SkillsBrowserViewModel::providerDidChange() {
    if (provider_.peek() == SkillProvider::openClaw) {
        if (openClawItems_.peek().empty()) {
            startOpenClawLoad(true);
        }
        return;
    }
    if (!ostrelAll_.peek().empty()) {
        applyOstrelFilter();
    } else {
        startOstrelLoad();
    }
}

void SkillsBrowserViewModel::loadIfNeeded() {
    if (provider_.peek() == SkillProvider::openClaw) {
        if (openClawItems_.peek().empty()) {
            startOpenClawLoad(true);
        }
    } else if (ostrelAll_.peek().empty()) {
        startOstrelLoad();
    }
}

void SkillsBrowserViewModel::refresh() {
    if (provider_.peek() == SkillProvider::openClaw) {
        startOpenClawLoad(true);
    } else {
        startOstrelLoad();
    }
}

void SkillsBrowserViewModel::changeSort(SkillSort sort) {
    if (provider_.peek() != SkillProvider::openClaw) {
        return;
    }
    openClawSort_.set(sort);
    startOpenClawLoad(true);
}

void SkillsBrowserViewModel::loadMoreOpenClawIfNeeded() {
    if (provider_.peek() == SkillProvider::openClaw && openClawCursor_.peek() &&
        !isLoadingMoreOpenClaw_.peek()) {
        // Raised now, not when the task first runs: the last row can appear again before then,
        // and that must not ask for the same page twice.
        isLoadingMoreOpenClaw_.set(true);
        startOpenClawLoad(false);
    }
}

platform::Task<void> SkillsBrowserViewModel::loadOpenClaw(bool reset) {
    const auto self = shared_from_this(); // a running load keeps the model alive
    std::optional<std::string> cursor;
    SkillSort sort = openClawSort_.peek();
    if (reset) {
        ++openClawGeneration_;
        isLoadingOpenClaw_.set(true);
        errorMessage_.set(std::nullopt);
        openClawCursor_.set(std::nullopt);
    } else {
        isLoadingMoreOpenClaw_.set(true);
        cursor = openClawCursor_.peek();
        sort = cursorSort_; // a cursor only means something in the order that produced it
    }
    const std::uint64_t generation = openClawGeneration_;

    std::optional<SkillListResponse> page;
    std::exception_ptr failure;
    try {
        page = co_await apiClient_->fetch<SkillListResponse>(
            ClawHubEndpoint::list(sort, openClawPageSize, cursor));
    } catch (...) {
        failure = std::current_exception();
    }
    if (generation != openClawGeneration_) {
        co_return; // superseded by a newer first-page load
    }
    if (page) {
        if (!page->skippedItems.empty()) {
            logSkippedSkills(*page);
        }
        std::vector<ClawHubSkill> items;
        if (!reset) {
            items = openClawItems_.peek();
        }
        items.insert(items.end(), std::make_move_iterator(page->items.begin()),
                     std::make_move_iterator(page->items.end()));
        // Skills compare by slug: a reload that renames a skill must still reach the rows.
        openClawItems_.setAlways(uniqueBySlug(std::move(items)));
        openClawCursor_.set(page->nextCursor);
        cursorSort_ = sort;
    } else {
        errorMessage_.set(platform::localizedDescription(failure));
    }
    isLoadingOpenClaw_.set(false);
    isLoadingMoreOpenClaw_.set(false);
}

platform::Task<void> SkillsBrowserViewModel::loadOstrel() {
    const auto self = shared_from_this();
    const std::uint64_t generation = ++ostrelGeneration_;
    isLoadingOstrel_.set(true);
    errorMessage_.set(std::nullopt);

    std::optional<OstrelSkillsResponse> catalogue;
    std::exception_ptr failure;
    try {
        catalogue = co_await apiClient_->fetch<OstrelSkillsResponse>(OstrelEndpoint::skills());
    } catch (...) {
        failure = std::current_exception();
    }
    if (generation != ostrelGeneration_) {
        co_return; // a newer catalogue load (Refresh, provider change) owns the result
    }
    if (catalogue) {
        // Skills compare by id: a reload that renames a skill must still reach the rows.
        ostrelAll_.setAlways(std::move(catalogue->skills));
        applyOstrelFilter(/*reloaded=*/true);
    } else {
        errorMessage_.set(platform::localizedDescription(failure));
    }
    isLoadingOstrel_.set(false);
}

} // namespace mossbarrow
