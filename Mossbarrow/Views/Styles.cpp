#include "Mossbarrow/Views/Styles.hpp"

#include "platform/appkit/URLOpener.hpp"
#include "platform/foundation/URL.hpp"

#include <array>
#include <iostream>
#include <utility>

namespace mossbarrow {

namespace {

constexpr const char* styleSheet = R"css(
.moss-headline { font-weight: bold; font-size: 13pt; }
.moss-subheadline { font-size: 11pt; }
.moss-caption { font-size: 9pt; }
.moss-callout { font-size: 11.5pt; }
.moss-title2 { font-size: 17pt; font-weight: bold; }
.moss-secondary { opacity: 0.62; }
.moss-monospaced { font-family: monospace; }
label.moss-monospaced.moss-caption { font-size: 9pt; }
.moss-row { padding: 6px 4px; border-radius: 6px; background-color: transparent; }
.moss-selected-row { background-color: rgba(53, 132, 228, 0.1); }
.moss-badge { padding: 2px 6px; border-radius: 999px; background-color: rgba(0, 0, 0, 0.06); }
.moss-search-field { padding: 8px; border-radius: 8px; background-color: rgba(0, 0, 0, 0.06); }
.moss-search-field entry, .moss-search-field text {
  background: none; border: none; box-shadow: none; outline: none; min-height: 0; padding: 0;
}
.moss-code-box { padding: 8px; border-radius: 8px; background-color: #ffffff; }
.moss-group-box { padding: 8px; border-radius: 8px; background-color: rgba(0, 0, 0, 0.04);
  border: 1px solid rgba(0, 0, 0, 0.08); }
.moss-group-title { font-weight: bold; font-size: 10pt; }
.moss-success { color: #26a269; }
listview > row { padding: 0; }
)css";

} // namespace

void installStyles() {
    static bool installed = false;
    if (installed) {
        return;
    }
    const auto display = Gdk::Display::get_default();
    if (!display) {
        return;
    }
    auto provider = Gtk::CssProvider::create();
    provider->load_from_data(styleSheet);
    Gtk::StyleContext::add_provider_for_display(display, provider,
                                                GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    installed = true;
}

const char* iconNameForSymbol(std::string_view symbol) {
    static constexpr std::array<std::pair<std::string_view, const char*>, 9> table{{
        {"sparkles", "starred-symbolic"},
        {"server.rack", "network-server-symbolic"},
        {"bookmark", "bookmark-new-symbolic"},
        {"bookmark.fill", "user-bookmarks-symbolic"},
        {"doc.on.doc", "edit-copy-symbolic"},
        {"checkmark.circle.fill", "emblem-ok-symbolic"},
        {"magnifyingglass", "system-search-symbolic"},
        {"exclamationmark.triangle", "dialog-warning-symbolic"},
        {"link", "web-browser-symbolic"},
    }};
    for (const auto& [name, icon] : table) {
        if (name == symbol) {
            return icon;
        }
    }
    return "image-missing-symbolic";
}

void wrapAnywhere(Gtk::Label& label) {
    label.set_wrap(true);
    label.set_wrap_mode(Pango::WrapMode::WORD_CHAR);
    label.set_xalign(0.0F);
    Pango::AttrList attributes;
    auto noHyphens = Pango::Attribute::create_attr_insert_hyphens(false);
    attributes.insert(noHyphens);
    label.set_attributes(attributes);
}

Gtk::Label* makeLabel(const Glib::ustring& text, std::initializer_list<const char*> classes) {
    auto* const label = Gtk::make_managed<Gtk::Label>(text);
    wrapAnywhere(*label);
    for (const char* name : classes) {
        label->add_css_class(name);
    }
    return label;
}

std::string collectText(const Gtk::Widget& widget) {
    std::string text;
    if (const auto* label = dynamic_cast<const Gtk::Label*>(&widget);
        label != nullptr && label->get_visible()) {
        text += label->get_text() + "\n";
    }
    if (const auto* link = dynamic_cast<const Gtk::LinkButton*>(&widget)) {
        text += "[" + link->get_label() + "]\n";
        return text;
    }
    for (const Gtk::Widget* child = widget.get_first_child(); child != nullptr;
         child = child->get_next_sibling()) {
        if (child->get_visible()) {
            text += collectText(*child);
        }
    }
    return text;
}

Gtk::Box* makeGroupBox(const Glib::ustring& title, Gtk::Widget& content) {
    auto* const outer = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 4);
    if (!title.empty()) {
        outer->append(*makeLabel(title, {style::groupTitle}));
    }
    auto* const frame = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 0);
    frame->add_css_class(style::groupBox);
    frame->append(content);
    content.set_hexpand(true);
    outer->append(*frame);
    return outer;
}

Gtk::Widget* makeLink(const Glib::ustring& title, const std::string& url) {
    if (!platform::URL::fromString(url)) {
        return nullptr;
    }
    auto* const link = Gtk::make_managed<Gtk::LinkButton>(url, title);
    link->set_halign(Gtk::Align::START);
    link->signal_activate_link().connect(
        [url] {
            // Catalogue data chooses these addresses: only web links reach the desktop.
            const auto result = platform::URLOpener::open(url);
            if (!result.ok()) {
                std::cerr << "Not opening " << url << ": " << result.message << '\n';
            }
            return true; // handled: GTK must not open it by itself
        },
        false);
    return link;
}

} // namespace mossbarrow
