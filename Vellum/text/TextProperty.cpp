#include "Vellum/text/TextProperty.hpp"

#include "Vellum/text/TextEnvironmentValuesHashing.hpp"

namespace vellum {

using platform::AttributeContainer;
using platform::Font;
using Attributes = TextAttributeScope;

namespace {

template <class Key>
void setResolvedColor(AttributeContainer& container, const DynamicColor& color,
                      const TextEnvironmentValues& env) {
    // No fitting variant removes the colour rather than painting the run clear.
    container.set<Key>(color.resolve(env.colorEnvironment()));
}

template <class Modify>
void modifyFont(AttributeContainer& container, const TextEnvironmentValues& env, Modify modify) {
    container.set<Attributes::FontAttribute>(modify(baseFont(container, env)));
}

std::size_t hashLineStyle(const platform::TextLineStyle& style) {
    std::size_t seed = 0;
    detail::hashValue(seed, style.color);
    return seed;
}

} // namespace

Font baseFont(const AttributeContainer& container, const TextEnvironmentValues& environment) {
    if (const Font* font = container.get<Attributes::FontAttribute>()) {
        return *font;
    }
    return environment.font.value_or(Font::body());
}

void ForegroundColorProperty::apply(AttributeContainer& container,
                                    const TextEnvironmentValues& env) const {
    setResolvedColor<Attributes::ForegroundColorAttribute>(container, color, env);
}

void BackgroundColorProperty::apply(AttributeContainer& container,
                                    const TextEnvironmentValues& env) const {
    setResolvedColor<Attributes::BackgroundColorAttribute>(container, color, env);
}

void FontProperty::apply(AttributeContainer& container,
                         const TextEnvironmentValues& /*env*/) const {
    container.set<Attributes::FontAttribute>(font);
}

std::size_t FontProperty::hash() const noexcept {
    std::size_t seed = 0;
    detail::hashValue(seed, font);
    return seed;
}

void BoldProperty::apply(AttributeContainer& container, const TextEnvironmentValues& env) const {
    modifyFont(container, env, [](const Font& f) { return f.bold(); });
}
void ItalicProperty::apply(AttributeContainer& container, const TextEnvironmentValues& env) const {
    modifyFont(container, env, [](const Font& f) { return f.italic(); });
}
void MonospacedProperty::apply(AttributeContainer& container,
                               const TextEnvironmentValues& env) const {
    modifyFont(container, env, [](const Font& f) { return f.monospaced(); });
}
void MonospacedDigitProperty::apply(AttributeContainer& container,
                                    const TextEnvironmentValues& env) const {
    modifyFont(container, env, [](const Font& f) { return f.monospacedDigit(); });
}
void SmallCapsProperty::apply(AttributeContainer& container,
                              const TextEnvironmentValues& env) const {
    modifyFont(container, env, [](const Font& f) { return f.smallCaps(); });
}
void LowercaseSmallCapsProperty::apply(AttributeContainer& container,
                                       const TextEnvironmentValues& env) const {
    modifyFont(container, env, [](const Font& f) { return f.lowercaseSmallCaps(); });
}
void UppercaseSmallCapsProperty::apply(AttributeContainer& container,
                                       const TextEnvironmentValues& env) const {
    modifyFont(container, env, [](const Font& f) { return f.uppercaseSmallCaps(); });
}

void FontWeightProperty::apply(AttributeContainer& container,
                               const TextEnvironmentValues& env) const {
    modifyFont(container, env, [this](const Font& f) { return f.weight(weight); });
}
std::size_t FontWeightProperty::hash() const noexcept {
    return detail::hashLength(weight.value);
}

void FontWidthProperty::apply(AttributeContainer& container,
                              const TextEnvironmentValues& env) const {
    modifyFont(container, env, [this](const Font& f) { return f.width(width); });
}
std::size_t FontWidthProperty::hash() const noexcept {
    return detail::hashLength(width.value);
}

void FontLeadingProperty::apply(AttributeContainer& container,
                                const TextEnvironmentValues& env) const {
    modifyFont(container, env, [this](const Font& f) { return f.leading(leading); });
}

void FontScaleProperty::apply(AttributeContainer& container,
                              const TextEnvironmentValues& env) const {
    // Fonts scale themselves: the scale stays a modifier of the description, so the result keeps
    // following its text style and a second scale compounds with the first.
    modifyFont(container, env, [this](const Font& f) { return f.scaled(scale); });
}
std::size_t FontScaleProperty::hash() const noexcept {
    return detail::hashLength(scale);
}

void UnderlineStyleProperty::apply(AttributeContainer& container,
                                   const TextEnvironmentValues& /*env*/) const {
    container.set<Attributes::UnderlineStyleAttribute>(style);
}
std::size_t UnderlineStyleProperty::hash() const noexcept {
    return hashLineStyle(style);
}

void StrikethroughStyleProperty::apply(AttributeContainer& container,
                                       const TextEnvironmentValues& /*env*/) const {
    container.set<Attributes::StrikethroughStyleAttribute>(style);
}
std::size_t StrikethroughStyleProperty::hash() const noexcept {
    return hashLineStyle(style);
}

void BaselineOffsetProperty::apply(AttributeContainer& container,
                                   const TextEnvironmentValues& /*env*/) const {
    container.set<Attributes::BaselineOffsetAttribute>(offset);
}
std::size_t BaselineOffsetProperty::hash() const noexcept {
    return detail::hashLength(offset);
}

void KerningProperty::apply(AttributeContainer& container,
                            const TextEnvironmentValues& /*env*/) const {
    container.set<Attributes::KerningAttribute>(kerning);
}
std::size_t KerningProperty::hash() const noexcept {
    return detail::hashLength(kerning);
}

void TrackingProperty::apply(AttributeContainer& container,
                             const TextEnvironmentValues& /*env*/) const {
    container.set<Attributes::TrackingAttribute>(tracking);
}
std::size_t TrackingProperty::hash() const noexcept {
    return detail::hashLength(tracking);
}

} // namespace vellum
