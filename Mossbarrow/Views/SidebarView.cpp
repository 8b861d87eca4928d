#include "Mossbarrow/Views/SidebarView.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

const char* SidebarView::labelFor(SidebarSection section) {
    switch (section.value()) {
    case SidebarSection::skills:
        return "Skills";
    case SidebarSection::mcpRegistry:
        return "MCP Registry";
    case SidebarSection::bookmarks:
        return "Bookmarks";
    }
    return "";
}

const char* SidebarView::symbolFor(SidebarSection section) {
    switch (section.value()) {
    case SidebarSection::skills:
        return "sparkles";
    case SidebarSection::mcpRegistry:
        return "server.rack";
    case SidebarSection::bookmarks:
        return "bookmark";
    }
    return "";
}

SidebarView::SidebarView(std::function<void(SidebarSection)> onSelect)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 6)
    , onSelect_(std::move(onSelect))
    , title_("Mossbarrow") {
    title_.add_css_class(style::headline);
    title_.set_xalign(0.0F);
    title_.set_margin_start(12);
    title_.set_margin_top(12);
    append(title_);
    list_.add_css_class("navigation-sidebar");
    list_.set_selection_mode(Gtk::SelectionMode::BROWSE);
    for (const SidebarSection section : SidebarSection::allCases()) {
        auto* const row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
        row->set_margin(6);
        auto* const icon = Gtk::make_managed<Gtk::Image>();
        icon->set_from_icon_name(iconNameForSymbol(symbolFor(section)));
        row->append(*icon);
        row->append(*Gtk::make_managed<Gtk::Label>(labelFor(section)));
        list_.append(*row);
    }
    list_.signal_row_selected().connect([this](Gtk::ListBoxRow* row) {
        if (updating_ || row == nullptr) {
            return;
        }
        const auto index = static_cast<std::size_t>(row->get_index());
        if (index < SidebarSection::allCases().size()) {
            choose(SidebarSection::allCases()[index]);
        }
    });
    list_.set_vexpand(true);
    append(list_);
    setSection(SidebarSection::skills);
}

void SidebarView::setSection(SidebarSection section) {
    section_ = section;
    updating_ = true;
    for (std::size_t i = 0; i < SidebarSection::allCases().size(); ++i) {
        if (SidebarSection::allCases()[i] == section) {
            list_.select_row(*list_.get_row_at_index(static_cast<int>(i)));
        }
    }
    updating_ = false;
}

void SidebarView::choose(SidebarSection section) {
    const bool changed = section != section_;
    setSection(section);
    if (changed && onSelect_) {
        onSelect_(section);
    }
}

} // namespace mossbarrow
