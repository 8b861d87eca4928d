#include "Mossbarrow/Views/MCPServerRow.hpp"

#include "Mossbarrow/Views/Styles.hpp"

namespace mossbarrow {

MCPServerRow::MCPServerRow() {
    title_.add_css_class(style::headline);
    wrapWhole(title_);
    version_.add_css_class(style::caption);
    version_.add_css_class(style::secondary);
    badge_.add_css_class(style::badge);
    badge_.set_valign(Gtk::Align::CENTER);
    badge_.append(version_);
    header_.set_halign(Gtk::Align::START);
    header_.append(title_);
    header_.append(badge_);
    description_.add_css_class(style::subheadline);
    description_.add_css_class(style::secondary);
    limitToTwoLines(description_);
    append(header_);
    append(description_);
}

void MCPServerRow::show(const ServerResponse& response, bool isSelected) {
    const ServerJSON& server = response.server;
    // An empty title is still the title; the name stands in only when there is none.
    title_.set_text(server.title.value_or(server.name));
    badge_.set_visible(server.version.has_value());
    showBeside(version_, server.version.value_or(""));
    const bool hasDescription = server.description && !server.description->empty();
    description_.set_visible(hasDescription);
    description_.set_text(hasDescription ? *server.description : "");
    setSelected(isSelected);
}

} // namespace mossbarrow
