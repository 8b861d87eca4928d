#pragma once

#include <gtkmm.h>
#include <string_view>

namespace mossbarrow {

// The window's text styles and colours, as CSS classes on one provider for the whole display.
// The class names follow the type ramp the views are written against.
namespace style {
inline constexpr const char* headline = "moss-headline";
inline constexpr const char* subheadline = "moss-subheadline";
inline constexpr const char* caption = "moss-caption";
inline constexpr const char* callout = "moss-callout";
inline constexpr const char* title2 = "moss-title2";
inline constexpr const char* secondary = "moss-secondary";
inline constexpr const char* monospaced = "moss-monospaced";
inline constexpr const char* selectedRow = "moss-selected-row";
inline constexpr const char* row = "moss-row";
inline constexpr const char* badge = "moss-badge";
inline constexpr const char* searchField = "moss-search-field";
inline constexpr const char* codeBox = "moss-code-box";
inline constexpr const char* groupBox = "moss-group-box";
inline constexpr const char* groupTitle = "moss-group-title";
inline constexpr const char* success = "moss-success";
} // namespace style

// Installs the style sheet on the default display once; later calls do nothing.
void installStyles();

// A freedesktop icon name for one of the symbol names the views use ("bookmark",
// "magnifyingglass", ...); unknown symbols map to a generic icon.
const char* iconNameForSymbol(std::string_view symbol);

// Lets a label break its text between any two characters where it has no better place (a URL,
// a long identifier, text without spaces), without adding hyphens that are not in the text, so
// that no value is ever wider than its pane.
void wrapAnywhere(Gtk::Label& label);

// Helpers that the views share for building their widget trees.
// A leading-aligned label that wraps anywhere (wrapAnywhere).
Gtk::Label* makeLabel(const Glib::ustring& text, std::initializer_list<const char*> classes = {});
// Every visible label text under `widget`, depth first, one per line; links as "[title]".
std::string collectText(const Gtk::Widget& widget);
// A titled box around `content` (a group box); an empty title gives an untitled one.
Gtk::Box* makeGroupBox(const Glib::ustring& title, Gtk::Widget& content);
// A link that opens `url` with the desktop's browser when it is an http or https address;
// nullptr when `url` does not parse as a URL at all.
Gtk::Widget* makeLink(const Glib::ustring& title, const std::string& url);

} // namespace mossbarrow
