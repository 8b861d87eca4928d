#include "Mossbarrow/MCPBrowserViewModel.hpp"

#include "Mossbarrow/MCPEndpoint.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/Unicode.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <chrono>
#include <unordered_set>

namespace mossbarrow {

using namespace std::chrono_literals;

MCPBrowserViewModel::MCPBrowserViewModel(Creation, std::shared_ptr<APIClient> apiClient)
    : apiClient_(std::move(apiClient)) {}

std::shared_ptr<MCPBrowserViewModel>
MCPBrowserViewModel::make(std::shared_ptr<APIClient> apiClient) {
    const auto model = std::make_shared<MCPBrowserViewModel>(Creation{}, std::move(apiClient));
    // The sink holds the model weakly: the subscription must not keep it alive.
    const std::weak_ptr<MCPBrowserViewModel> weak = model;
    // A settled text equal to the one before it is dropped. Equal as text: a composed and a
    // decomposed spelling of the same search are one search, not two requests.
    model->cancellables_.insert(
        model->searchSubject_.debounce(500ms, platform::MainExecutor::shared())
            .sink([weak, last = std::optional<std::string>()](const std::string& text) mutable {
                if (last && platform::unicode::canonicallyEquivalent(*last, text)) {
                    return;
                }
                last = text;
                if (const auto self = weak.lock()) {
                    self->startLoad(true, text);
                }
            }));
    return model;
}

void MCPBrowserViewModel::setSearchQuery(std::string text) {
    searchQuery_.set(std::move(text));
    searchSubject_.send(searchQuery_.peek());
}

void MCPBrowserViewModel::startLoad(bool reset, std::string search) {
    platform::Task<void>::run([self = shared_from_this(), reset, search = std::move(search)] {
        return self->loadServers(reset, search);
    });
}

void MCPBrowserViewModel::loadIfNeeded() {
    if (servers_.peek().empty()) {
        startLoad(true, searchQuery_.peek());
    }
}

void MCPBrowserViewModel::loadMoreIfNeeded() {
    if (nextCursor_.peek() && !isLoadingMore_.peek()) {
        // Raised now, not when the task first runs: the last row can appear again before then,
        // and that must not ask for the same page twice.
        isLoadingMore_.set(true);
        startLoad(false, cursorSearch_);
    }
}

platform::Task<void> MCPBrowserViewModel::loadServers(bool reset, std::string search) {
    const auto self = shared_from_this(); // a running load keeps the model alive
    std::optional<std::string> cursor;
    if (reset) {
        ++generation_;
        isLoading_.set(true);
        errorMessage_.set(std::nullopt);
        nextCursor_.set(std::nullopt);
    } else {
        isLoadingMore_.set(true);
        cursor = nextCursor_.peek();
    }
    const std::uint64_t generation = generation_;
    const auto endpoint = MCPEndpoint::list(
        pageSize, cursor, search.empty() ? std::nullopt : std::optional<std::string>(search));

    std::optional<ServerListResponse> page;
    std::exception_ptr failure;
    try {
        page = co_await apiClient_->fetch<ServerListResponse>(endpoint);
    } catch (...) {
        failure = std::current_exception();
    }
    if (generation != generation_) {
        co_return; // a newer reset load owns the list, the cursor, the flags and the error
    }
    if (page) {
        const std::vector<ServerResponse> base =
            reset ? std::vector<ServerResponse>{} : servers_.peek();
        servers_.setAlways(mergeServers(base, page->servers));
        nextCursor_.set(page->metadata ? page->metadata->nextCursor : std::nullopt);
        cursorSearch_ = search;
    } else {
        errorMessage_.set(platform::localizedDescription(failure));
    }
    isLoading_.set(false);
    isLoadingMore_.set(false);
}

platform::Task<void> MCPBrowserViewModel::loadVersions(std::string serverName) {
    const auto self = shared_from_this();
    try {
        auto reply =
            co_await apiClient_->fetch<ServerListResponse>(MCPEndpoint::versions(serverName));
        versionsByServer_.modify([&](auto& versions) {
            versions.insert_or_assign(serverName, std::move(reply.servers));
        });
    } catch (...) {
        errorMessage_.set(platform::localizedDescription(std::current_exception()));
    }
}

std::vector<ServerResponse>
MCPBrowserViewModel::mergeServers(const std::vector<ServerResponse>& existing,
                                  const std::vector<ServerResponse>& page) {
    std::vector<ServerResponse> merged;
    merged.reserve(existing.size() + page.size());
    // Ids compare as text does elsewhere, under canonical equivalence: a name sent composed on
    // one page and decomposed on the next is one server. Equivalent texts share their NFC form.
    std::unordered_set<std::string> seen;
    for (const auto* list : {&existing, &page}) {
        for (const auto& entry : *list) {
            std::string id = entry.id();
            if (!platform::unicode::isAscii(id)) {
                id = platform::unicode::nfc(id);
            }
            if (seen.insert(std::move(id)).second) {
                merged.push_back(entry);
            }
        }
    }
    return merged;
}

} // namespace mossbarrow
