#include "Vellum/inline/TextFragment.hpp"

#include "Vellum/attachments/AttachmentAttribute.hpp"
#include "Vellum/attachments/AttachmentOverlay.hpp"
#include "Vellum/attachments/LinkAttribute.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/inline/TextFragmentAttribute.hpp"
#include "Vellum/inline/TextLinkInteraction.hpp"
#include "Vellum/inline/TextSelectionBackground.hpp"
#include "Vellum/text/TextPropertyAttributes.hpp"

#include <algorithm>
#include <any>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

namespace vellum {

namespace {

using platform::AttributedString;
using platform::ui::Text;
using Foundation = platform::AttributeScopes::FoundationAttributes;

// The font an attachment is measured with: the run's own, else the environment's.
std::optional<platform::Font> effectiveFont(const platform::AttributeContainer& attributes,
                                            const TextEnvironmentValues& environment) {
    if (const platform::Font* font = attributes.get<TextAttributeScope::FontAttribute>()) {
        return *font;
    }
    return environment.font;
}

TextEnvironmentValues withFont(const TextEnvironmentValues& environment,
                               std::optional<platform::Font> font) {
    TextEnvironmentValues result = environment;
    result.font = std::move(font);
    return result;
}

// The attributes runs are given, each distinct set made once for the runs that carry it: runs
// mostly alternate among a few (a line of formulas: the text's and the boxes').
class SharedAttributesPool {
public:
    Text::SharedAttributes share(const Text::SharedAttributes& attributes) {
        for (const Text::SharedAttributes& known : recent_) {
            if (known == attributes) {
                return known;
            }
        }
        remember(attributes);
        return attributes;
    }
    Text::SharedAttributes share(platform::TextAttributes attributes) {
        for (const Text::SharedAttributes& known : recent_) {
            if (*known == attributes) {
                return known;
            }
        }
        Text::SharedAttributes made(std::move(attributes));
        remember(made);
        return made;
    }

private:
    void remember(const Text::SharedAttributes& attributes) {
        if (recent_.size() == 4) {
            recent_.erase(recent_.begin());
        }
        recent_.push_back(attributes);
    }
    std::vector<Text::SharedAttributes> recent_;
};

// Makes `run` the characters of `range` with the attributes the engine draws (as the modifiers
// of a Text would set them).
void setCharacters(Text::Run& run, const platform::AttributeContainer& attributes,
                   AttributedString::Range range, std::string_view text,
                   SharedAttributesPool& pool) {
    const std::size_t begin = std::min(range.lowerBound.offset, text.size());
    const std::size_t end = std::clamp(range.upperBound.offset, begin, text.size());
    run.text.assign(text.substr(begin, end - begin));
    const auto [font, foreground, background, underline, strikethrough, offset, kerning, tracking] =
        attributes
            .getAll<TextAttributeScope::FontAttribute, TextAttributeScope::ForegroundColorAttribute,
                    TextAttributeScope::BackgroundColorAttribute,
                    TextAttributeScope::UnderlineStyleAttribute,
                    TextAttributeScope::StrikethroughStyleAttribute,
                    TextAttributeScope::BaselineOffsetAttribute,
                    TextAttributeScope::KerningAttribute, TextAttributeScope::TrackingAttribute>();
    platform::TextAttributes a;
    if (font != nullptr) {
        a.font = *font;
    }
    if (foreground != nullptr) {
        a.foregroundColor = *foreground;
    }
    if (background != nullptr) {
        a.backgroundColor = *background;
    }
    if (underline != nullptr) {
        a.underline = platform::TextLineStyle{underline->color};
    }
    if (strikethrough != nullptr) {
        a.strikethrough = platform::TextLineStyle{strikethrough->color};
    }
    if (offset != nullptr) {
        a.baselineOffset = platform::ui::soundCoordinate(*offset);
    }
    if (kerning != nullptr) {
        a.kerning = platform::ui::soundCoordinate(*kerning);
    }
    if (tracking != nullptr) {
        a.tracking = platform::ui::soundCoordinate(*tracking);
    }
    run.attributes = pool.share(std::move(a));
}

// Lays the text out at the proposal but answers no more width than was offered: a text whose
// attachment was measured for more room than the container has (the first text is measured
// without any) would otherwise report its overflowing width as the room it has, and never
// re-measure the attachment to fit.
class FittingLayout final : public platform::ui::Layout {
public:
    platform::Size sizeThatFits(platform::ui::ProposedViewSize proposal,
                                platform::ui::LayoutSubviews subviews,
                                std::any& /*cache*/) const override {
        if (subviews.empty()) {
            return {};
        }
        platform::Size size = subviews.front().sizeThatFits(proposal);
        // A zero width asks for the text's minimum (its longest word), which is answered whole.
        if (proposal.width && std::isfinite(*proposal.width) && *proposal.width > 0) {
            size.width = std::min(size.width, *proposal.width);
        }
        return size;
    }
    void placeSubviews(platform::Rect bounds, platform::ui::ProposedViewSize proposal,
                       platform::ui::LayoutSubviews subviews, std::any& /*cache*/) const override {
        if (!subviews.empty()) {
            subviews.front().place(bounds.origin, platform::ui::UnitPoint::topLeading(), proposal);
        }
    }
    // Stacks that align text baselines see the text's own.
    std::optional<platform::CGFloat> explicitAlignment(const platform::ui::AlignmentID& guide,
                                                       platform::Rect /*bounds*/,
                                                       platform::ui::ProposedViewSize proposal,
                                                       platform::ui::LayoutSubviews subviews,
                                                       std::any& /*cache*/) const override {
        if (subviews.empty() || (&guide != &platform::ui::alignment_ids::firstTextBaseline &&
                                 &guide != &platform::ui::alignment_ids::lastTextBaseline)) {
            return std::nullopt;
        }
        return subviews.front().dimensions(proposal).value(guide);
    }
    bool equals(const Layout& other) const override {
        return dynamic_cast<const FittingLayout*>(&other) != nullptr;
    }
};

} // namespace

TextFragment::TextBuilder::SizeMap
TextFragment::TextBuilder::sizeMap(const AttributedString& content,
                                   platform::ui::ProposedViewSize proposal,
                                   const TextEnvironmentValues& environment) {
    SizeMap sizes;
    const AttributedString::Runs runs = content.runs();
    // A repeated attachment's runs mostly share their attributes (a line of one formula): a run
    // with the very attributes of the last attachment looked at is measured already.
    const platform::AttributeContainer* last = nullptr;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const platform::AttributeContainer& attributes = runs.attributes(i);
        if (last != nullptr && attributes.sharesStorage(*last)) {
            continue;
        }
        const AnyAttachment* attachment = vellum::attachment(attributes);
        if (attachment == nullptr) {
            continue;
        }
        last = &attributes;
        std::optional<platform::Font> font = effectiveFont(attributes, environment);
        const bool known = std::any_of(sizes.begin(), sizes.end(), [&](const AttachmentSize& s) {
            return s.attachment == *attachment && s.font == font;
        });
        if (known) {
            continue;
        }
        const platform::Size size = attachment->sizeThatFits(proposal, withFont(environment, font));
        sizes.push_back({*attachment, std::move(font), size});
    }
    return sizes;
}

Text TextFragment::TextBuilder::build(const AttributedString& content, const SizeMap& sizes,
                                      const TextEnvironmentValues& environment) {
    const std::string_view text = content.characters();
    const AttributedString::Runs runs = content.runs();
    std::vector<Text::Run> built;
    // A first empty run, as a text that starts empty and has each run appended would have.
    built.reserve(runs.size() + 1);
    built.emplace_back();
    SharedAttributesPool pool;
    struct LastBox {
        const platform::AttributeContainer* attributes = nullptr;
        const AttachmentSize* size = nullptr;
        std::optional<platform::PresentationIntent> intent;
        std::optional<platform::URL> link;
        Text::Run run;
    };
    std::optional<LastBox> lastBox;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const platform::AttributeContainer& attributes = runs.attributes(i);
        // The very attributes of the last box make the same box.
        if (lastBox && attributes.sharesStorage(*lastBox->attributes)) {
            built.push_back(lastBox->run);
            continue;
        }
        const AnyAttachment* attachment = vellum::attachment(attributes);
        const AttachmentSize* size = nullptr;
        std::optional<platform::Font> font;
        if (attachment != nullptr) {
            font = effectiveFont(attributes, environment);
            const auto found = std::find_if(sizes.begin(), sizes.end(), [&](const auto& s) {
                return s.attachment == *attachment && s.font == font;
            });
            size = found == sizes.end() ? nullptr : &*found;
        }
        const platform::URL* link = attributes.get<Foundation::LinkAttribute>();
        if (size != nullptr) {
            const auto* intent = attributes.get<Foundation::PresentationIntentAttribute>();
            // A box like the last one (the same attachment at the same size, in the same block,
            // with the same link) is the same run: a line of one formula repeated holds one
            // mark for all its boxes instead of a mark apiece.
            if (lastBox && lastBox->size == size &&
                lastBox->intent == (intent != nullptr ? std::optional(*intent) : std::nullopt) &&
                lastBox->link == (link != nullptr ? std::optional(*link) : std::nullopt)) {
                built.push_back(lastBox->run);
                continue;
            }
            Text box =
                Text::box(size->size)
                    .baselineOffset(
                        attachment->baselineOffset(withFont(environment, std::move(font))))
                    .customAttribute(AttachmentAttribute{
                        *attachment, intent != nullptr ? std::optional(*intent) : std::nullopt});
            if (link != nullptr) {
                box = std::move(box).customAttribute(LinkAttribute{*link});
            }
            for (const Text::Run& run : box.runs()) {
                built.push_back(run);
                built.back().attributes = pool.share(run.attributes);
            }
            lastBox = LastBox{&attributes, size,
                              intent != nullptr ? std::optional(*intent) : std::nullopt,
                              link != nullptr ? std::optional(*link) : std::nullopt, built.back()};
        } else if (link != nullptr) {
            // Without a known size the attachment shows its placeholder character as text.
            std::vector<Text::Run> one(1);
            setCharacters(one.front(), attributes, runs.range(i), text, pool);
            const Text linked = Text(std::move(one)).customAttribute(LinkAttribute{*link});
            built.push_back(linked.runs().front());
        } else {
            setCharacters(built.emplace_back(), attributes, runs.range(i), text, pool);
        }
    }
    return Text(std::move(built));
}

TextFragment::TextBuilder::TextBuilder(AttributedString content,
                                       const TextEnvironmentValues& environment)
    : content_(std::make_shared<const AttributedString>(std::move(content))) {
    const AttributedString::Runs runs = content_->runs();
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const platform::AttributeContainer& attributes = runs.attributes(i);
        const auto [link, attachment] =
            attributes.getAll<Foundation::LinkAttribute, VellumAttributes::AttachmentAttribute>();
        hasLink_ = hasLink_ || link != nullptr;
        hasAttachment_ = hasAttachment_ || attachment != nullptr;
    }
    // The first text is built before any container is known: attachments at their ideal size.
    text_.setAlways(
        cached(hasAttachment_ ? sizeMap(*content_, {}, environment) : SizeMap(), environment));
}

void TextFragment::TextBuilder::resolveText(platform::Size size,
                                            const TextEnvironmentValues& environment) {
    const platform::ui::ProposedViewSize proposal{size.width, size.height};
    text_.set(cached(sizeMap(*content_, proposal, environment), environment));
}

const Text& TextFragment::TextBuilder::cached(SizeMap sizes,
                                              const TextEnvironmentValues& environment) {
    const auto found = std::find_if(cache_.begin(), cache_.end(),
                                    [&](const Entry& entry) { return entry.sizes == sizes; });
    if (found != cache_.end()) {
        std::rotate(found, std::next(found), cache_.end());
        return cache_.back().text;
    }
    if (cache_.size() >= cacheLimit) {
        cache_.erase(cache_.begin());
    }
    Text text =
        build(*content_, sizes, environment).customAttribute(TextFragmentAttribute{content_});
    ++buildCount_;
    cache_.push_back({std::move(sizes), std::move(text)});
    return cache_.back().text;
}

namespace {

// The builder a text fragment shows, kept with its identity and replaced when the content changes.
struct TextBuilderSlot {
    std::shared_ptr<TextFragment::TextBuilder> current;
};

} // namespace

platform::ui::AnyView TextFragment::body(platform::ui::ViewContext& context) const {
    return body(context, TextEnvironmentValues(context.environment()));
}

platform::ui::AnyView TextFragment::body(platform::ui::ViewContext& context,
                                         const TextEnvironmentValues& environment) const {
    // The first builder comes with the view, so that its first layout already has the text
    // (built later, it would lay the view out empty and then again). A change of content
    // replaces it here, as the body runs for the new content, rather than from an observer that
    // would evaluate the fragment once more; views that come and go around the text (for
    // attachments, for links) may also make the fragment anew for another content.
    const std::shared_ptr<TextBuilderSlot> slot = context.stateObject<TextBuilderSlot>([&] {
        return std::make_shared<TextBuilderSlot>(
            TextBuilderSlot{std::make_shared<TextBuilder>(content_, environment)});
    });
    if (slot->current->content() != content_) {
        slot->current = std::make_shared<TextBuilder>(content_, environment);
    }
    const std::shared_ptr<TextBuilder> current = slot->current;

    const Text& marked = current->text();
    // A text without attachments is the one node it needs: laid out at a width it never exceeds
    // (words wider than the line are cut), with nothing to resolve when the room changes and
    // nothing to draw over it.
    if (!current->hasAttachment()) {
        platform::ui::AnyView view = withSelectionBehindText(
            platform::ui::AnyView(marked), context.environment<TextSelectionHighlightKey>());
        // Taps open links; text without any has nothing to hit-test.
        if (current->hasLink()) {
            view = view.modifier(TextLinkInteraction());
        }
        return view;
    }
    static const auto fitting = std::make_shared<const FittingLayout>();
    platform::ui::AnyView view = platform::ui::LayoutView(fitting, {platform::ui::AnyView(marked)});
    // Only attachments depend on the room the text has: the room it is offered, not the size
    // it takes with the attachments it has now, or a picture fitted to a narrow column would keep
    // that width when the column widens again.
    view = view.onGeometryChange<std::optional<platform::Size>>(
                   [](const platform::ui::GeometryProxy& proxy) -> std::optional<platform::Size> {
                       const auto bounds = proxy.bounds(textContainerSpace);
                       if (!bounds) {
                           return std::nullopt;
                       }
                       platform::Size room = bounds->size;
                       const platform::ui::ProposedViewSize offered = proxy.proposal();
                       if (offered.width && std::isfinite(*offered.width)) {
                           room.width = *offered.width;
                       }
                       return room;
                   },
                   [current, environment](const std::optional<platform::Size>& /*old*/,
                                          const std::optional<platform::Size>& size) {
                       if (size) {
                           current->resolveText(*size, environment);
                       }
                   })
               .modifier(AttachmentOverlay{collectAttachments(current->content())});
    // The text stands at the origin of the fitting layout, the attachments drawn over it.
    view =
        withSelectionBehindText(std::move(view), context.environment<TextSelectionHighlightKey>());
    if (current->hasLink()) {
        view = view.modifier(TextLinkInteraction());
    }
    return view;
}

} // namespace vellum
