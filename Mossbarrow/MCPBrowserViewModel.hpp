#pragma once

#include "Mossbarrow/APIClient.hpp"
#include "Mossbarrow/ServerResponse.hpp"
#include "platform/combine/CancellableSet.hpp"
#include "platform/combine/PassthroughSubject.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/runtime/Task.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

// Everything the MCP registry section shows: the servers loaded so far, the next page's cursor,
// the search text, the loading flags, the error text and the version lists fetched per server.
// Typing is debounced into searches; pages are merged without duplicates. Main actor only.
class MCPBrowserViewModel : public std::enable_shared_from_this<MCPBrowserViewModel> {
public:
    enum class Property {
        servers,
        searchQuery,
        nextCursor,
        isLoading,
        isLoadingMore,
        errorMessage,
        versionsByServer
    };

    static constexpr std::int64_t pageSize = 100;

    static std::shared_ptr<MCPBrowserViewModel> make(std::shared_ptr<APIClient> apiClient);

private:
    // Only make() can name this: the model must live in a shared_ptr for its tasks and sink.
    struct Creation {
        explicit Creation() = default;
    };

public:
    MCPBrowserViewModel(Creation, std::shared_ptr<APIClient> apiClient);

    MCPBrowserViewModel(const MCPBrowserViewModel&) = delete;
    MCPBrowserViewModel& operator=(const MCPBrowserViewModel&) = delete;
    ~MCPBrowserViewModel() = default;

    const platform::ObservationRegistrar& registrar() const { return registrar_; }
    const std::shared_ptr<APIClient>& apiClient() const { return apiClient_; }

    const std::vector<ServerResponse>& servers() const { return servers_.get(); }
    const std::string& searchQuery() const { return searchQuery_.get(); }
    // Every assignment, equal or not, goes on to the search pipeline.
    void setSearchQuery(std::string text);
    const std::optional<std::string>& nextCursor() const { return nextCursor_.get(); }
    bool isLoading() const { return isLoading_.get(); }
    bool isLoadingMore() const { return isLoadingMore_.get(); }
    const std::optional<std::string>& errorMessage() const { return errorMessage_.get(); }
    const std::map<std::string, std::vector<ServerResponse>>& versionsByServer() const {
        return versionsByServer_.get();
    }

    // When nothing is loaded yet, loads the first page for the current search text.
    void loadIfNeeded();
    // Loads one page and applies it, or records the failure; never throws. A reset load starts
    // again from the first page. A load that a newer reset load has superseded changes nothing.
    platform::Task<void> loadServers(bool reset, std::string search);
    // When a next page exists and none is loading, loads it with the search that produced the
    // cursor.
    void loadMoreIfNeeded();
    // Fetches the version history of one server into versionsByServer; never throws.
    platform::Task<void> loadVersions(std::string serverName);

    // `existing` followed by `page`, keeping the first entry of each id.
    static std::vector<ServerResponse> mergeServers(const std::vector<ServerResponse>& existing,
                                                    const std::vector<ServerResponse>& page);

private:
    void startLoad(bool reset, std::string search);

    const std::shared_ptr<APIClient> apiClient_;
    platform::ObservationRegistrar registrar_;
    platform::Observed<std::vector<ServerResponse>> servers_{registrar_, Property::servers};
    platform::Observed<std::string> searchQuery_{registrar_, Property::searchQuery};
    platform::Observed<std::optional<std::string>> nextCursor_{registrar_, Property::nextCursor};
    platform::Observed<bool> isLoading_{registrar_, Property::isLoading, false};
    platform::Observed<bool> isLoadingMore_{registrar_, Property::isLoadingMore, false};
    platform::Observed<std::optional<std::string>> errorMessage_{registrar_,
                                                                 Property::errorMessage};
    platform::Observed<std::map<std::string, std::vector<ServerResponse>>> versionsByServer_{
        registrar_, Property::versionsByServer};
    const platform::PassthroughSubject<std::string> searchSubject_;
    platform::CancellableSet cancellables_;

    // Bumped by every reset load: a completion whose generation is no longer current belongs to
    // a superseded list and is dropped.
    std::uint64_t generation_ = 0;
    // The search text of the load that produced nextCursor; the next page must use it.
    std::string cursorSearch_;
};

} // namespace mossbarrow
