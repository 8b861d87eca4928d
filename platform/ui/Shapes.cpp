#include "platform/ui/Shapes.hpp"

#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace detail {
namespace {

/// A shape drawn filled or stroked (or a colour filling its frame).
class ShapeImpl final : public ViewImpl {
public:
    std::shared_ptr<const std::function<platform::Path(Rect)>> path;
    std::optional<Color> color;
    std::optional<platform::StrokeStyle> stroke;
    platform::FillStyle fillStyle;

    const void* typeTag() const override { return &detail::typeTag<ShapeImpl>; }
    bool equals(const ViewImpl& other) const override {
        const auto& o = static_cast<const ShapeImpl&>(other);
        return path == o.path && color == o.color && stroke == o.stroke && fillStyle == o.fillStyle;
    }
    std::unique_ptr<Node> makeNode() const override;
};

class ShapeNode final : public LeafNode {
public:
    void draw(DisplayList& list) override {
        const auto& s = static_cast<const ShapeImpl&>(*view.impl());
        const Color c = s.color.value_or(env.get<ForegroundStyleKey>());
        if (s.stroke) {
            // The stroke is centred on the path, inside the frame by half the line width.
            const CGFloat inset = std::max(s.stroke->lineWidth, CGFloat(0)) / 2;
            const Rect frame = bounds();
            const Rect r = frame.insetBy(inset, inset);
            list.append(DisplayList::Stroke{(*s.path)(r.isNull() ? frame : r), c, *s.stroke});
        } else {
            list.append(DisplayList::Fill{(*s.path)(bounds()), c, s.fillStyle});
        }
    }

protected:
    Size computeSize(ProposedViewSize p) override { return p.replacingUnspecifiedDimensions(); }
};

std::unique_ptr<Node> ShapeImpl::makeNode() const {
    return std::make_unique<ShapeNode>();
}

class ImageImpl final : public ViewImpl {
public:
    platform::Image image;
    bool resizable = false;
    std::optional<ContentMode> mode;
    std::optional<CGFloat> ratio;
    Interpolation interpolation = Interpolation::medium;
    const void* typeTag() const override { return &detail::typeTag<ImageImpl>; }
    bool equals(const ViewImpl& other) const override {
        const auto& o = static_cast<const ImageImpl&>(other);
        return image == o.image && resizable == o.resizable && mode == o.mode && ratio == o.ratio &&
               interpolation == o.interpolation;
    }
    std::unique_ptr<Node> makeNode() const override;
};

class ImageNode final : public LeafNode {
public:
    void draw(DisplayList& list) override {
        const auto& s = static_cast<const ImageImpl&>(*view.impl());
        const Rect frame = bounds();
        if (s.image.isNull() || frame.size.width <= 0 || frame.size.height <= 0) {
            return;
        }
        const Size natural{CGFloat(s.image.width()), CGFloat(s.image.height())};
        if (s.resizable && s.mode == ContentMode::fill) {
            // The picture covers the frame; what lies outside is cut off.
            const CGFloat ratio = s.ratio.value_or(natural.width / natural.height);
            Size drawn = frame.size;
            if (drawn.width / drawn.height > ratio) {
                drawn.height = drawn.width / ratio;
            } else {
                drawn.width = drawn.height * ratio;
            }
            list.append(DisplayList::Save{});
            list.append(DisplayList::Clip{platform::Path::rect(frame)});
            list.append(
                DisplayList::DrawImage{s.image,
                                       {frame.midX() - drawn.width / 2,
                                        frame.midY() - drawn.height / 2, drawn.width, drawn.height},
                                       s.interpolation});
            list.append(DisplayList::Restore{});
            return;
        }
        list.append(DisplayList::DrawImage{s.image, frame, s.interpolation});
    }

protected:
    Size computeSize(ProposedViewSize p) override {
        const auto& s = static_cast<const ImageImpl&>(*view.impl());
        const Size natural{CGFloat(s.image.width()), CGFloat(s.image.height())};
        if (!s.resizable) {
            return natural;
        }
        if (!s.mode) {
            return p.replacingUnspecifiedDimensions(natural);
        }
        CGFloat ratio = s.ratio.value_or(natural.height > 0 ? natural.width / natural.height : 1);
        if (!(ratio > 0) || !std::isfinite(ratio)) {
            ratio = 1;
        }
        if (!p.width && !p.height) {
            return natural.height > 0 ? Size{natural.height * ratio, natural.height} : Size{};
        }
        const CGFloat w = p.width.value_or(*p.height * ratio);
        const CGFloat h = p.height.value_or(*p.width / ratio);
        const bool wider = w / std::max(h, CGFloat(1e-9)) > ratio;
        if (*s.mode == ContentMode::fit) {
            return wider ? Size{h * ratio, h} : Size{w, w / ratio};
        }
        return wider ? Size{w, w / ratio} : Size{h * ratio, h};
    }
};

std::unique_ptr<Node> ImageImpl::makeNode() const {
    return std::make_unique<ImageNode>();
}

class CanvasImpl final : public ViewImpl {
public:
    std::shared_ptr<const Canvas::Renderer> renderer;
    std::vector<std::pair<ViewID, AnyView>> symbols;
    const void* typeTag() const override { return &detail::typeTag<CanvasImpl>; }
    bool equals(const ViewImpl& other) const override {
        const auto& o = static_cast<const CanvasImpl&>(other);
        if (renderer != o.renderer || symbols.size() != o.symbols.size()) {
            return false;
        }
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            if (!(symbols[i].first == o.symbols[i].first) ||
                !sameView(symbols[i].second, o.symbols[i].second)) {
                return false;
            }
        }
        return true;
    }
    std::unique_ptr<Node> makeNode() const override;
};

/// A canvas keeps its symbols as children that are not laid out with it: the renderer lays
/// each out and draws it where it asks.
class CanvasNode final : public Node {
public:
    std::vector<std::pair<ViewID, std::unique_ptr<Node>>> symbols;
    bool mirrorsChildren() const override { return false; }
    bool drawsChildrenByValue() const override { return true; }

    void forEachChild(ChildVisitor f) override {
        for (auto& s : symbols) {
            f(*s.second);
        }
    }
    void draw(DisplayList& list) override {
        const auto& s = static_cast<const CanvasImpl&>(*view.impl());
        const std::shared_ptr<const Canvas::Renderer> renderer = s.renderer;
        const EnvironmentValues environment = env;
        const Size size = frame.size;
        const Rect frame = bounds();
        // Symbols are drawn from their retained lists, so that drawing does not touch nodes: a
        // change inside a symbol records its list again in place, and the closure draws it.
        std::shared_ptr<const SymbolLists> lists = symbolLists();
        list.append(DisplayList::Closure{
            frame, [renderer, environment, size, lists](platform::GraphicsContext& context) {
                CanvasContext canvas(context, environment,
                                     [lists, &context](const ViewID& id, Rect rect) {
                                         for (const auto& [key, symbolList] : *lists) {
                                             if (key == id) {
                                                 context.save();
                                                 context.translateBy(rect.origin.x, rect.origin.y);
                                                 symbolList->draw(context);
                                                 context.restore();
                                                 return true;
                                             }
                                         }
                                         return false;
                                     });
                (*renderer)(canvas, size);
            }});
    }

protected:
    void rebuild() override {
        const auto& s = static_cast<const CanvasImpl&>(*view.impl());
        std::vector<std::pair<ViewID, std::unique_ptr<Node>>> next;
        for (const auto& [id, symbolView] : s.symbols) {
            std::unique_ptr<Node> existing;
            for (auto& old : symbols) {
                if (old.second && old.first == id) {
                    existing = std::move(old.second);
                    break;
                }
            }
            next.emplace_back(id, reconcile(std::move(existing), symbolView, env, true));
        }
        for (auto& old : symbols) {
            if (old.second) {
                old.second->removeSubtree();
            }
        }
        symbols = std::move(next);
    }
    bool layoutDependsOnView() const override { return false; }
    Size computeSize(ProposedViewSize p) override { return p.replacingUnspecifiedDimensions(); }
    void placeChildren(ProposedViewSize) override {}

private:
    using SymbolLists = std::vector<std::pair<ViewID, std::shared_ptr<const DisplayList>>>;
    /// Each symbol laid out at its ideal size with its top-leading corner at the origin.
    std::shared_ptr<const SymbolLists> symbolLists() {
        auto lists = std::make_shared<SymbolLists>();
        lists->reserve(symbols.size());
        for (const auto& [id, node] : symbols) {
            const Size s = node->sizeThatFits({});
            node->place(Rect({0, 0}, s), {});
            lists->emplace_back(id, node->displayList());
        }
        return lists;
    }
};

std::unique_ptr<Node> CanvasImpl::makeNode() const {
    return std::make_unique<CanvasNode>();
}

class SpacerImpl final : public ViewImpl {
public:
    std::optional<CGFloat> minLength;
    const void* typeTag() const override { return &detail::typeTag<SpacerImpl>; }
    bool equals(const ViewImpl& other) const override {
        return minLength == static_cast<const SpacerImpl&>(other).minLength;
    }
    std::unique_ptr<Node> makeNode() const override;
};

class SpacerNode final : public LeafNode {
protected:
    Size computeSize(ProposedViewSize p) override {
        const auto& s = static_cast<const SpacerImpl&>(*view.impl());
        const CGFloat minimum = soundLength(s.minLength.value_or(ViewSpacing::standard), false);
        const auto axis = env.get<StackAxisKey>();
        const auto grow = [&](std::optional<CGFloat> v) {
            return std::max(minimum, v.value_or(minimum));
        };
        if (axis == Axis::horizontal) {
            return {grow(p.width), 0};
        }
        if (axis == Axis::vertical) {
            return {0, grow(p.height)};
        }
        return {grow(p.width), grow(p.height)};
    }
};

std::unique_ptr<Node> SpacerImpl::makeNode() const {
    return std::make_unique<SpacerNode>();
}

class DividerImpl final : public ViewImpl {
public:
    const void* typeTag() const override { return &detail::typeTag<DividerImpl>; }
    bool equals(const ViewImpl&) const override { return true; }
    std::unique_ptr<Node> makeNode() const override;
};

class DividerNode final : public LeafNode {
public:
    void draw(DisplayList& list) override {
        list.append(DisplayList::Fill{platform::Path::rect(bounds()), Color::separator(), {}});
    }

protected:
    Size computeSize(ProposedViewSize p) override {
        if (env.get<StackAxisKey>() == Axis::horizontal) {
            return {1, p.height.value_or(0)};
        }
        return {p.width.value_or(0), 1};
    }
};

std::unique_ptr<Node> DividerImpl::makeNode() const {
    return std::make_unique<DividerNode>();
}

} // namespace

AnyView colorView(const Color& color) {
    auto impl = std::make_shared<ShapeImpl>();
    static const auto rect = std::make_shared<const std::function<platform::Path(Rect)>>(
        [](Rect r) { return platform::Path::rect(r); });
    impl->path = rect;
    impl->color = color;
    return AnyView(impl);
}

} // namespace detail

std::shared_ptr<const detail::ViewImpl> Shape::makeImpl() const {
    auto impl = std::make_shared<detail::ShapeImpl>();
    impl->path = path_;
    return impl;
}

AnyView Shape::fill(std::optional<Color> color, platform::FillStyle style) const {
    auto impl = std::make_shared<detail::ShapeImpl>();
    impl->path = path_;
    impl->color = color;
    impl->fillStyle = style;
    return AnyView(impl);
}

AnyView Shape::stroke(std::optional<Color> color, platform::StrokeStyle style) const {
    auto impl = std::make_shared<detail::ShapeImpl>();
    impl->path = path_;
    impl->color = color;
    if (!std::isfinite(style.lineWidth)) {
        style.lineWidth = 1;
    }
    impl->stroke = std::move(style);
    return AnyView(impl);
}

Rectangle::Rectangle()
    : Shape([](Rect r) { return platform::Path::rect(r); }) {}

RoundedRectangle::RoundedRectangle(CGFloat cornerRadius, platform::RoundedCornerStyle style)
    : Shape([radius = soundLength(cornerRadius, false), style](Rect r) {
        return platform::Path::roundedRect(r, radius, style);
    }) {}

Capsule::Capsule()
    : Shape([](Rect r) {
        return platform::Path::roundedRect(r, std::min(r.width(), r.height()) / 2);
    }) {}

Circle::Circle()
    : Shape([](Rect r) {
        const CGFloat d = std::min(r.width(), r.height());
        return platform::Path::ellipse({r.midX() - d / 2, r.midY() - d / 2, d, d});
    }) {}

Ellipse::Ellipse()
    : Shape([](Rect r) { return platform::Path::ellipse(r); }) {}

PathShape::PathShape(platform::Path path)
    : Shape([path = std::move(path)](Rect r) {
        return path.applying(platform::AffineTransform::translation(r.origin.x, r.origin.y));
    }) {}

Image Image::resizable() const {
    Image copy = *this;
    copy.resizable_ = true;
    return copy;
}

Image Image::aspectRatio(std::optional<CGFloat> ratio, ContentMode mode) const {
    Image copy = *this;
    copy.resizable_ = true;
    copy.contentMode_ = mode;
    copy.ratio_ = ratio && *ratio > 0 && std::isfinite(*ratio) ? ratio : std::nullopt;
    return copy;
}

Image Image::interpolation(Interpolation interpolation) const {
    Image copy = *this;
    copy.interpolation_ = interpolation;
    return copy;
}

std::shared_ptr<const detail::ViewImpl> Image::makeImpl() const {
    auto impl = std::make_shared<detail::ImageImpl>();
    impl->image = image_;
    impl->resizable = resizable_;
    impl->mode = contentMode_;
    impl->ratio = ratio_;
    impl->interpolation = interpolation_;
    return impl;
}

std::shared_ptr<const detail::ViewImpl> Canvas::makeImpl() const {
    auto impl = std::make_shared<detail::CanvasImpl>();
    impl->renderer = renderer_;
    impl->symbols = symbols_;
    return impl;
}

std::shared_ptr<const detail::ViewImpl> Spacer::makeImpl() const {
    auto impl = std::make_shared<detail::SpacerImpl>();
    impl->minLength = minLength_;
    return impl;
}

std::shared_ptr<const detail::ViewImpl> Divider::makeImpl() const {
    return std::make_shared<detail::DividerImpl>();
}

} // namespace platform::ui
