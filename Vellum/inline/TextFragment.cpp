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
std::optional<platform::Font> effectiveFont(const AttributedString::Run& run,
                                            const TextEnvironmentValues& environment) {
    if (const platform::Font* font = run.get<TextAttributeScope::FontAttribute>()) {
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

// The run's characters with the attributes the engine draws.
Text characters(const AttributedString::Run& run, std::string_view text) {
    const std::size_t begin = std::min(run.range.lowerBound.offset, text.size());
    const std::size_t end = std::clamp(run.range.upperBound.offset, begin, text.size());
    Text result = Text::verbatim(std::string(text.substr(begin, end - begin)));
    if (const auto* font = run.get<TextAttributeScope::FontAttribute>()) {
        result = std::move(result).font(*font);
    }
    if (const auto* color = run.get<TextAttributeScope::ForegroundColorAttribute>()) {
        result = std::move(result).foregroundColor(*color);
    }
    if (const auto* color = run.get<TextAttributeScope::BackgroundColorAttribute>()) {
        result = std::move(result).backgroundColor(*color);
    }
    if (const auto* style = run.get<TextAttributeScope::UnderlineStyleAttribute>()) {
        result = std::move(result).underline(true, style->color);
    }
    if (const auto* style = run.get<TextAttributeScope::StrikethroughStyleAttribute>()) {
        result = std::move(result).strikethrough(true, style->color);
    }
    if (const double* offset = run.get<TextAttributeScope::BaselineOffsetAttribute>()) {
        result = std::move(result).baselineOffset(*offset);
    }
    if (const double* kerning = run.get<TextAttributeScope::KerningAttribute>()) {
        result = std::move(result).kerning(*kerning);
    }
    if (const double* tracking = run.get<TextAttributeScope::TrackingAttribute>()) {
        result = std::move(result).tracking(*tracking);
    }
    return result;
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

bool hasLink(const AttributedString& content) {
    const AttributedString::Runs runs = content.runs();
    return std::any_of(runs.begin(), runs.end(), [](const AttributedString::Run& run) {
        return run.get<Foundation::LinkAttribute>() != nullptr;
    });
}

} // namespace

TextFragment::TextBuilder::SizeMap
TextFragment::TextBuilder::sizeMap(const AttributedString& content,
                                   platform::ui::ProposedViewSize proposal,
                                   const TextEnvironmentValues& environment) {
    SizeMap sizes;
    for (const AttributedString::Run& run : content.runs()) {
        const AnyAttachment* attachment = vellum::attachment(run.attributes);
        if (attachment == nullptr) {
            continue;
        }
        std::optional<platform::Font> font = effectiveFont(run, environment);
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
    Text result = Text::verbatim("");
    for (const AttributedString::Run& run : content.runs()) {
        Text runText;
        const AnyAttachment* attachment = vellum::attachment(run.attributes);
        const AttachmentSize* size = nullptr;
        std::optional<platform::Font> font;
        if (attachment != nullptr) {
            font = effectiveFont(run, environment);
            const auto found = std::find_if(sizes.begin(), sizes.end(), [&](const auto& s) {
                return s.attachment == *attachment && s.font == font;
            });
            size = found == sizes.end() ? nullptr : &*found;
        }
        if (size != nullptr) {
            const auto* intent = run.get<Foundation::PresentationIntentAttribute>();
            runText =
                Text::box(size->size)
                    .baselineOffset(
                        attachment->baselineOffset(withFont(environment, std::move(font))))
                    .customAttribute(AttachmentAttribute{
                        *attachment, intent != nullptr ? std::optional(*intent) : std::nullopt});
        } else {
            // Without a known size the attachment shows its placeholder character as text.
            runText = characters(run, text);
        }
        if (const platform::URL* link = run.get<Foundation::LinkAttribute>()) {
            runText = std::move(runText).customAttribute(LinkAttribute{*link});
        }
        result += runText;
    }
    return result;
}

TextFragment::TextBuilder::TextBuilder(AttributedString content,
                                       const TextEnvironmentValues& environment)
    : content_(std::move(content)) {
    // The first text is built before any container is known: attachments at their ideal size.
    text_.setAlways(cached(sizeMap(content_, {}, environment), environment));
}

void TextFragment::TextBuilder::resolveText(platform::Size size,
                                            const TextEnvironmentValues& environment) {
    const platform::ui::ProposedViewSize proposal{size.width, size.height};
    text_.set(cached(sizeMap(content_, proposal, environment), environment));
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
    Text text = build(content_, sizes, environment);
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

    // The builder's content, kept alive by the builder itself.
    std::shared_ptr<const AttributedString> source(current, &current->content());
    std::unordered_set<AnyAttachment> attachments = collectAttachments(content_);
    Text marked = current->text().customAttribute(TextFragmentAttribute{std::move(source)});
    // A text without attachments is the one node it needs: laid out at a width it never exceeds
    // (words wider than the line are cut), with nothing to resolve when the room changes and
    // nothing to draw over it.
    if (attachments.empty()) {
        platform::ui::AnyView view =
            withSelectionBehindText(platform::ui::AnyView(std::move(marked)),
                                    context.environment<TextSelectionHighlightKey>());
        // Taps open links; text without any has nothing to hit-test.
        if (hasLink(content_)) {
            view = view.modifier(TextLinkInteraction());
        }
        return view;
    }
    static const auto fitting = std::make_shared<const FittingLayout>();
    platform::ui::AnyView view =
        platform::ui::LayoutView(fitting, {platform::ui::AnyView(std::move(marked))});
    // Only attachments depend on the room the text has.
    view = view.onGeometryChange<std::optional<platform::Size>>(
                   [](const platform::ui::GeometryProxy& proxy) -> std::optional<platform::Size> {
                       if (const auto bounds = proxy.bounds(textContainerSpace)) {
                           return bounds->size;
                       }
                       return std::nullopt;
                   },
                   [current, environment](const std::optional<platform::Size>& /*old*/,
                                          const std::optional<platform::Size>& size) {
                       if (size) {
                           current->resolveText(*size, environment);
                       }
                   })
               .modifier(AttachmentOverlay{std::move(attachments)});
    // The text stands at the origin of the fitting layout, the attachments drawn over it.
    view =
        withSelectionBehindText(std::move(view), context.environment<TextSelectionHighlightKey>());
    if (hasLink(content_)) {
        view = view.modifier(TextLinkInteraction());
    }
    return view;
}

} // namespace vellum
