#pragma once

#include "Mossbarrow/SidebarSection.hpp"

#include <functional>
#include <gtkmm.h>

namespace mossbarrow {

// The first column: the three sections, one always selected.
class SidebarView : public Gtk::Box {
public:
    explicit SidebarView(std::function<void(SidebarSection)> onSelect);

    // Shows `section` as the selected row without reporting it.
    void setSection(SidebarSection section);
    // What a click on the row of `section` does.
    void choose(SidebarSection section);
    [[nodiscard]] SidebarSection section() const noexcept { return section_; }
    [[nodiscard]] Gtk::ListBox& list() noexcept { return list_; }

    static const char* labelFor(SidebarSection section);
    static const char* symbolFor(SidebarSection section);

private:
    std::function<void(SidebarSection)> onSelect_;
    SidebarSection section_ = SidebarSection::skills;
    bool updating_ = false;
    Gtk::Label title_;
    Gtk::ListBox list_;
};

} // namespace mossbarrow
