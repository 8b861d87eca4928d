#include "Mossbarrow/Views/OstrelSkillDetailView.hpp"

#include "Mossbarrow/Views/Styles.hpp"
#include "platform/appkit/URLOpener.hpp"

#include <iostream>

namespace mossbarrow {

Glib::ustring OstrelSkillDetailView::markupFor(const platform::AttributedText& text) {
    Glib::ustring markup;
    for (const auto& run : text.runs()) {
        Glib::ustring piece = Glib::Markup::escape_text(run.text);
        const auto& a = run.attributes;
        if (a.code) {
            piece = "<span background=\"#8881\">" + piece + "</span>";
        }
        if (a.strikethrough) {
            piece = "<s>" + piece + "</s>";
        }
        if (a.emphasis) {
            piece = "<i>" + piece + "</i>";
        }
        if (a.strong) {
            piece = "<b>" + piece + "</b>";
        }
        if (a.link) {
            piece = "<a href=\"" + Glib::Markup::escape_text(*a.link) + "\">" + piece + "</a>";
        }
        markup += piece;
    }
    return markup;
}

OstrelSkillDetailView::OstrelSkillDetailView(OstrelSkill skill, bool isBookmarked,
                                             std::function<void()> toggle)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 12)
    , skill_(std::move(skill))
    , copyFirst_("Copy Skill", skill_.longDescription)
    , bookmark_(isBookmarked, std::move(toggle))
    , copyLast_("Copy Skill", skill_.longDescription) {
    auto* const name = makeLabel(skill_.name, {style::title2});
    append(*name);
    auto* const description = makeLabel(skill_.description, {style::secondary});
    append(*description);

    append(*makeGroupBox("Copy to Clipboard", copyFirst_));
    append(*makeGroupBox("Bookmark", bookmark_));

    auto* const body = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    progress_.set_spinning(true);
    progress_.set_halign(Gtk::Align::START);
    progress_.set_visible(!skill_.longDescription.empty());
    body->append(progress_);
    content_.set_selectable(true);
    wrapAnywhere(content_);
    content_.add_css_class(style::monospaced);
    content_.signal_map().connect([this] { parseLongDescription(); });
    content_.signal_activate_link().connect(
        [](const Glib::ustring& uri) {
            const auto result = platform::URLOpener::open(uri.raw());
            if (!result.ok()) {
                std::cerr << "Not opening " << uri << ": " << result.message << '\n';
            }
            return true;
        },
        false);
    body->append(content_);
    append(*makeGroupBox("Skill Content", *body));

    auto* const details = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    details->set_margin(8);
    details->append(*makeLabel("Provider: " + skill_.provider));
    details->append(*makeLabel("Category: " + skill_.category));
    if (skill_.license) {
        details->append(*makeLabel("License: " + *skill_.license));
    }
    append(*makeGroupBox("Details", *details));

    auto* const links = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    links->set_margin(8);
    if (auto* const github = makeLink("GitHub", skill_.githubUrl)) {
        links->append(*github);
    }
    if (auto* const markdown = makeLink("Skill Markdown", skill_.skillMdUrl)) {
        links->append(*markdown);
    }
    append(*makeGroupBox("Links", *links));

    append(*makeGroupBox("Copy to Clipboard", copyLast_));
}

void OstrelSkillDetailView::parseLongDescription() {
    try {
        parsed_ = platform::InlineMarkdown::parse(skill_.longDescription);
    } catch (const std::exception& error) {
        std::cout << "Failed to parse markdown: " << error.what() << std::endl;
        return;
    }
    content_.set_markup(markupFor(parsed_));
    progress_.set_visible(parsed_.empty() && !skill_.longDescription.empty());
}

} // namespace mossbarrow
