#pragma once

#include "Mossbarrow/SkillSelection.hpp"
#include "Mossbarrow/Views/BookmarkButton.hpp"
#include "Mossbarrow/Views/CopyButton.hpp"
#include "Mossbarrow/Views/EmptyStateView.hpp"
#include "Mossbarrow/Views/OstrelSkillDetailView.hpp"
#include "platform/data/ModelContext.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace mossbarrow {

// The detail column of the Skills section: nothing selected, a ClawHub skill (stats, latest
// version, install command), or an Ostrel skill. Keeps whether the skill shown is bookmarked,
// read from the store when it comes on screen and when another skill is selected.
class SkillDetailView : public Gtk::Stack {
public:
    SkillDetailView(platform::ModelContext& context,
                    std::function<void(const std::string&)> reportFailure);

    void setSelection(const std::optional<SkillSelection>& selection);
    void refreshBookmarkState();

    [[nodiscard]] bool isBookmarked() const noexcept { return isBookmarked_; }
    [[nodiscard]] BookmarkButton* bookmarkButton() noexcept { return bookmark_; }
    [[nodiscard]] CopyButton* installCopyButton() noexcept { return installCopy_; }
    [[nodiscard]] OstrelSkillDetailView* ostrelDetail() noexcept { return ostrel_; }
    [[nodiscard]] std::string shownText() const;

    // The bookmark that a skill is kept under.
    struct BookmarkKey {
        std::string kind;
        std::string title;
        std::optional<std::string> subtitle;
        std::string payload;
    };
    static BookmarkKey bookmarkKey(const SkillSelection& selection);

private:
    // The whole record of the selected skill as text, to tell a changed record from the same.
    static std::string recordText(const SkillSelection& selection);
    void build(const SkillSelection& selection);
    Gtk::Widget* buildClawHub(const ClawHubSkill& skill);
    void toggleBookmark();
    void showBookmarked();

    platform::ModelContext& context_;
    std::function<void(const std::string&)> reportFailure_;
    std::optional<SkillSelection> selection_;
    bool isBookmarked_ = false;

    EmptyStateView empty_{"Select a skill", "Choose a skill from the list."};
    std::unique_ptr<Gtk::ScrolledWindow> scroll_;
    BookmarkButton* bookmark_ = nullptr;
    CopyButton* installCopy_ = nullptr;
    OstrelSkillDetailView* ostrel_ = nullptr;
};

} // namespace mossbarrow
