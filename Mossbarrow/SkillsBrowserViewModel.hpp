#pragma once

#include "Mossbarrow/APIClient.hpp"
#include "Mossbarrow/ClawHubSkill.hpp"
#include "Mossbarrow/OstrelSkill.hpp"
#include "Mossbarrow/SkillProvider.hpp"
#include "Mossbarrow/SkillSort.hpp"
#include "platform/combine/CancellableSet.hpp"
#include "platform/combine/PassthroughSubject.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "platform/runtime/Task.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mossbarrow {

// The state of the Skills section. OpenClaw skills come from the ClawHub registry page by page
// and are filtered as the list is drawn; Claude and OpenAI skills come from the Ostrel catalogue,
// fetched whole once, selected by provider and narrowed by the search text after a pause in
// typing. Main actor only.
class SkillsBrowserViewModel : public std::enable_shared_from_this<SkillsBrowserViewModel> {
public:
    enum class Property {
        provider,
        searchQuery,
        openClawSort,
        openClawItems,
        openClawCursor,
        isLoadingOpenClaw,
        isLoadingMoreOpenClaw,
        ostrelAll,
        ostrelFiltered,
        isLoadingOstrel,
        errorMessage,
    };

    static constexpr std::int64_t openClawPageSize = 50;

    static std::shared_ptr<SkillsBrowserViewModel> make(std::shared_ptr<APIClient> apiClient);

private:
    // Only make() can name this: the model must live in a shared_ptr for its tasks and sink.
    struct Creation {
        explicit Creation() = default;
    };

public:
    SkillsBrowserViewModel(Creation, std::shared_ptr<APIClient> apiClient);

    SkillsBrowserViewModel(const SkillsBrowserViewModel&) = delete;
    SkillsBrowserViewModel& operator=(const SkillsBrowserViewModel&) = delete;
    ~SkillsBrowserViewModel() = default;

    const platform::ObservationRegistrar& registrar() const { return registrar_; }
    const std::shared_ptr<APIClient>& apiClient() const { return apiClient_; }

    SkillProvider provider() const { return provider_.get(); }
    // Every assignment, equal or not, is followed by providerDidChange.
    void setProvider(SkillProvider provider);
    const std::string& searchQuery() const { return searchQuery_.get(); }
    // Every assignment, equal or not, goes on to the search pipeline.
    void setSearchQuery(std::string text);
    SkillSort openClawSort() const { return openClawSort_.get(); }
    // For the two-way binding of the sort picker, which then calls changeSort.
    void setOpenClawSort(SkillSort sort) { openClawSort_.set(sort); }
    const std::vector<ClawHubSkill>& openClawItems() const { return openClawItems_.get(); }
    const std::optional<std::string>& openClawCursor() const { return openClawCursor_.get(); }
    bool isLoadingOpenClaw() const { return isLoadingOpenClaw_.get(); }
    bool isLoadingMoreOpenClaw() const { return isLoadingMoreOpenClaw_.get(); }
    const std::vector<OstrelSkill>& ostrelAll() const { return ostrelAll_.get(); }
    const std::vector<OstrelSkill>& ostrelFiltered() const { return ostrelFiltered_.get(); }
    bool isLoadingOstrel() const { return isLoadingOstrel_.get(); }
    const std::optional<std::string>& errorMessage() const { return errorMessage_.get(); }

    // The ClawHub rows to show: the loaded skills whose display name, summary or slug contain
    // the trimmed search text, ignoring case.
    std::vector<ClawHubSkill> filteredOpenClawItems() const;

    // Only with OpenClaw shown: stores the sort and reloads the first page, even for the same
    // sort.
    void changeSort(SkillSort sort);
    // The list appeared: fetches the shown family's catalogue if it is still empty.
    void loadIfNeeded();
    // Fetches the shown family's catalogue again.
    void refresh();
    // The last ClawHub row appeared: loads the next page if there is one and none is loading.
    void loadMoreOpenClawIfNeeded();

    // The family's text in the Ostrel catalogue ("anthropic", "openai"); none for OpenClaw.
    static std::optional<std::string_view> catalogueProviderKey(SkillProvider provider);
    // The skills of `all` whose provider is exactly `key` and which contain the normalised
    // `query` (trimmed, lower-cased) in their name, description, long description or slug.
    static std::vector<OstrelSkill> filterOstrel(const std::vector<OstrelSkill>& all,
                                                 std::string_view key, std::string_view query);
    // The skills that contain the trimmed, lower-cased `query` in their lower-cased display
    // name, summary (when they have one) or slug; all of them when the query is blank.
    static std::vector<ClawHubSkill> filterClawHub(const std::vector<ClawHubSkill>& items,
                                                   std::string_view query);
    static std::vector<ClawHubSkill> uniqueBySlug(std::vector<ClawHubSkill> skills);

private:
    void providerDidChange();
    // `reloaded`: the catalogue was fetched again, so an equal-by-id list may still hold new
    // titles and must notify.
    void applyOstrelFilter(bool reloaded = false);
    platform::Task<void> loadOpenClaw(bool reset);
    platform::Task<void> loadOstrel();
    void startOpenClawLoad(bool reset);
    void startOstrelLoad();

    const std::shared_ptr<APIClient> apiClient_;
    platform::ObservationRegistrar registrar_;
    platform::Observed<SkillProvider> provider_{registrar_, Property::provider,
                                                SkillProvider::claude};
    platform::Observed<std::string> searchQuery_{registrar_, Property::searchQuery};
    platform::Observed<SkillSort> openClawSort_{registrar_, Property::openClawSort,
                                                SkillSort::trending};
    platform::Observed<std::vector<ClawHubSkill>> openClawItems_{registrar_,
                                                                 Property::openClawItems};
    platform::Observed<std::optional<std::string>> openClawCursor_{registrar_,
                                                                   Property::openClawCursor};
    platform::Observed<bool> isLoadingOpenClaw_{registrar_, Property::isLoadingOpenClaw, false};
    platform::Observed<bool> isLoadingMoreOpenClaw_{registrar_, Property::isLoadingMoreOpenClaw,
                                                    false};
    platform::Observed<std::vector<OstrelSkill>> ostrelAll_{registrar_, Property::ostrelAll};
    platform::Observed<std::vector<OstrelSkill>> ostrelFiltered_{registrar_,
                                                                 Property::ostrelFiltered};
    platform::Observed<bool> isLoadingOstrel_{registrar_, Property::isLoadingOstrel, false};
    platform::Observed<std::optional<std::string>> errorMessage_{registrar_,
                                                                 Property::errorMessage};
    const platform::PassthroughSubject<std::string> searchSubject_;
    platform::CancellableSet cancellables_;

    // Bumped by every first-page ClawHub load and every catalogue load: a completion whose
    // generation is no longer current was superseded and is dropped.
    std::uint64_t openClawGeneration_ = 0;
    std::uint64_t ostrelGeneration_ = 0;
    // The sort of the load that produced openClawCursor; the next page must use it.
    SkillSort cursorSort_ = SkillSort::trending;
};

} // namespace mossbarrow
