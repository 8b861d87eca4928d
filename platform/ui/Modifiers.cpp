// The modifier node and every built-in modifier.

#include "platform/runtime/MainExecutor.hpp"
#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>

namespace platform::ui::detail {

// ---- ModifierView / ModifierNode ----

const void* ModifierView::typeTag() const {
    return modifier->kind();
}

bool ModifierView::equals(const ViewImpl& other) const {
    const auto& o = static_cast<const ModifierView&>(other);
    return (modifier == o.modifier || modifier->equals(*o.modifier)) &&
           sameView(content, o.content);
}

std::unique_ptr<Node> ModifierView::makeNode() const {
    return std::make_unique<ModifierNode>();
}

void ModifierNode::rebuild() {
    const auto& mv = static_cast<const ModifierView&>(*view.impl());
    // The modifier built from before, alive (with the view that held it) until the node is
    // brought up to the new one.
    const std::shared_ptr<const ModifierImpl> previous = std::move(modifier);
    // Kept alive by the view that holds it.
    modifier = std::shared_ptr<const ModifierImpl>(view.impl(), mv.modifier);
    modifierOrExtrasChanged();
    const bool first = previous == nullptr;
    if (first || !derivedFrom_.identical(env) ||
        (modifier != previous && !modifier->equals(*previous))) {
        deriveContentEnvironment();
    }
    if (!first && content && modifier->identity() != nullptr && previous->identity() != nullptr &&
        !(*modifier->identity() == *previous->identity())) {
        content->removeSubtree();
        content.reset();
    }
    content = reconcile(std::move(content), mv.content, contentEnvironment);
    if (!first && modifier != previous && modifier->affectsLayout() &&
        !modifier->equals(*previous)) {
        invalidateLayout();
        if (modifier->providesLayoutValues()) {
            invalidateLayoutValues();
        }
    }
    if (first && modifier->observesLayout()) {
        observeLayoutChanges(modifier->observesGeometry());
    }
    modifier->didUpdate(*this, first, previous.get());
}

bool ModifierNode::clipsChildren() const {
    return modifier && modifier->clipsContent();
}

void ModifierNode::modifierOrExtrasChanged() {
    providesLayoutValues_ = modifier && modifier->providesLayoutValues();
    passesPreferences_ =
        modifier && !modifier->transformsPreferences() &&
        std::none_of(extras.begin(), extras.end(), [](const auto& e) { return e != nullptr; });
}

void ModifierNode::deriveContentEnvironment() {
    derivedFrom_ = env;
    contentEnvironment = env;
    modifier->transformEnvironment(contentEnvironment);
}

void ModifierNode::passEnvironmentDown() {
    deriveContentEnvironment();
    if (content) {
        content->update(content->view, contentEnvironment);
    }
    for (auto& e : extras) {
        if (e) {
            e->update(e->view, env);
        }
    }
}

void ModifierNode::forEachChild(ChildVisitor f) {
    if (modifier && modifier->extrasBehind()) {
        for (auto& e : extras) {
            if (e) {
                f(*e);
            }
        }
        if (content) {
            f(*content);
        }
    } else {
        if (content) {
            f(*content);
        }
        for (auto& e : extras) {
            if (e) {
                f(*e);
            }
        }
    }
}

Size ModifierNode::computeSize(ProposedViewSize proposal) {
    return modifier->sizeThatFits(*this, proposal);
}

void ModifierNode::placeChildren(ProposedViewSize proposal) {
    modifier->place(*this, proposal);
}

std::optional<CGFloat> ModifierNode::guideValue(const AlignmentID& g, Size size,
                                                ProposedViewSize p) {
    return modifier->guide(*this, g, size, p);
}

ViewSpacing ModifierNode::spacingValue() {
    return content ? content->spacing() : ViewSpacing{};
}

const std::any* ModifierNode::layoutValue(const void* tag) const {
    if (providesLayoutValues_) {
        if (const std::any* v = modifier->layoutValue(tag)) {
            return v;
        }
    }
    return content ? content->layoutValue(tag) : nullptr;
}

void ModifierNode::collectPrefetch(ProposedViewSize p, std::vector<std::function<void()>>& jobs) {
    // Only through modifiers that hand the proposal on unchanged.
    if (content && !modifier->affectsLayout() && extras.empty()) {
        content->collectPrefetch(p, jobs);
    }
}

void ModifierNode::draw(DisplayList& list) {
    modifier->draw(*this, list);
}

void ModifierNode::drawChildren(DisplayList& list) {
    Node::draw(list);
}

void ModifierNode::collectHandlers(Point point, std::vector<Node*>& out) {
    if (modifier->clipsContent() && !bounds().contains(point)) {
        return;
    }
    collectChildHandlers(point, out);
    if (modifier->participatesInHitTesting() && bounds().contains(point)) {
        out.push_back(this);
    }
}

std::size_t ModifierNode::childCount() const {
    std::size_t n = content ? 1 : 0;
    for (const auto& e : extras) {
        n += e ? 1 : 0;
    }
    return n;
}

Node* ModifierNode::childAt(std::size_t index) const {
    // The order of forEachChild: extras first when they are drawn behind.
    const bool behind = modifier && modifier->extrasBehind();
    if (!behind && content) {
        if (index == 0) {
            return content.get();
        }
        --index;
    }
    for (const auto& e : extras) {
        if (e) {
            if (index == 0) {
                return e.get();
            }
            --index;
        }
    }
    return behind && content && index == 0 ? content.get() : nullptr;
}

const std::string* ModifierNode::coordinateSpaceName() const {
    return modifier->coordinateSpaceName();
}

void ModifierNode::placeContent(Rect f, ProposedViewSize p) {
    if (content) {
        content->place(f, p);
    }
}

void ModifierNode::setExtra(std::size_t index, const AnyView& v, bool late) {
    if (extras.size() <= index) {
        extras.resize(index + 1);
    }
    extras[index] = reconcile(std::move(extras[index]), v, env, late);
    modifierOrExtrasChanged();
}

void ModifierNode::placeExtra(std::size_t index, Rect f, ProposedViewSize p) {
    if (index < extras.size() && extras[index]) {
        extras[index]->place(f, p);
    }
}

void ModifierNode::placeExtraAligned(std::size_t index, Alignment alignment) {
    if (index >= extras.size() || !extras[index]) {
        return;
    }
    Node& extra = *extras[index];
    const ProposedViewSize p(frame.size);
    const ViewDimensions mine =
        content ? content->dimensions(placedProposal) : ViewDimensions(frame.size);
    const ViewDimensions theirs = extra.dimensions(p);
    const Point at{mine[alignment.horizontal] - theirs[alignment.horizontal],
                   mine[alignment.vertical] - theirs[alignment.vertical]};
    extra.place(Rect(at, theirs.size()), p);
}

const PreferenceValues& ModifierNode::contentPreferences() {
    static const PreferenceValues none;
    return content ? content->preferences() : none;
}

void ModifierNode::enqueue(std::function<void()> action) {
    if (graph != nullptr) {
        graph->actions.push_back(std::move(action));
        graph->scheduleUpdate();
    }
}

void ModifierNode::afterLayout() {
    modifier->afterLayout(*this);
}

void ModifierNode::computePreferences(PreferenceValues& out) {
    Node::computePreferences(out);
    modifier->transformPreferences(*this, out);
}

Node* ModifierNode::preferencesPassedFrom() {
    return passesPreferences_ ? content.get() : nullptr;
}

void ModifierNode::willRemove() {
    modifier->willRemove(*this);
}

std::optional<CGFloat> ModifierImpl::guide(ModifierNode& node, const AlignmentID& g, Size size,
                                           ProposedViewSize p) const {
    return node.content ? node.content->explicitGuide(g, size, p) : std::nullopt;
}

void ModifierImpl::draw(ModifierNode& node, DisplayList& list) const {
    node.drawChildren(list);
}

namespace {

std::optional<CGFloat> soundOptional(std::optional<CGFloat> v) {
    if (!v || std::isnan(*v)) {
        return std::nullopt;
    }
    return std::max(*v, CGFloat(0));
}

CGFloat soundInset(CGFloat v) {
    return std::isfinite(v) ? v : 0;
}

bool isHorizontalGuide(const AlignmentID& g) {
    return &g == &alignment_ids::leading || &g == &alignment_ids::hcenter ||
           &g == &alignment_ids::trailing;
}

template <class M>
AnyView modified(AnyView content, M modifier) {
    return AnyView(
        std::make_shared<const ModifierViewOf<M>>(std::move(content), std::move(modifier)));
}

template <class M>
struct Kind : ModifierImpl {
    const void* kind() const override { return &typeTag<M>; }
};

/// The offset at which content of `contentDims` sits in a frame of `size` with `alignment`.
Point alignedOffset(Size size, const ViewDimensions& contentDims, Alignment alignment) {
    const ViewDimensions frameDims(size);
    return {frameDims[alignment.horizontal] - contentDims[alignment.horizontal],
            frameDims[alignment.vertical] - contentDims[alignment.vertical]};
}

// ---- Layout modifiers ----

struct PaddingModifier final : Kind<PaddingModifier> {
    EdgeInsets insets;
    bool affectsLayout() const override { return true; }
    bool equals(const ModifierImpl& o) const override {
        return static_cast<const PaddingModifier&>(o).insets == insets;
    }
    ProposedViewSize inner(ProposedViewSize p) const {
        const CGFloat h = insets.leading + insets.trailing;
        const CGFloat v = insets.top + insets.bottom;
        return {p.width ? std::optional<CGFloat>(std::max(*p.width - h, CGFloat(0))) : std::nullopt,
                p.height ? std::optional<CGFloat>(std::max(*p.height - v, CGFloat(0)))
                         : std::nullopt};
    }
    Size sizeThatFits(ModifierNode& node, ProposedViewSize p) const override {
        const Size c = node.contentSize(inner(p));
        return {std::max(c.width + insets.leading + insets.trailing, CGFloat(0)),
                std::max(c.height + insets.top + insets.bottom, CGFloat(0))};
    }
    void place(ModifierNode& node, ProposedViewSize p) const override {
        const ProposedViewSize q = inner(p);
        node.placeContent(Rect({insets.leading, insets.top}, node.contentSize(q)), q);
    }
    std::optional<CGFloat> guide(ModifierNode& node, const AlignmentID& g, Size,
                                 ProposedViewSize p) const override {
        if (!node.content) {
            return std::nullopt;
        }
        const ProposedViewSize q = inner(p);
        const auto v = node.content->explicitGuide(g, node.contentSize(q), q);
        if (!v) {
            return std::nullopt;
        }
        return *v + (isHorizontalGuide(g) ? insets.leading : insets.top);
    }
};

struct FrameModifier final : Kind<FrameModifier> {
    // Fixed: width/height. Flexible: the limits.
    bool flexible = false;
    std::optional<CGFloat> width;
    std::optional<CGFloat> height;
    FlexibleFrame limits;
    Alignment alignment;

    bool affectsLayout() const override { return true; }
    bool equals(const ModifierImpl& other) const override {
        const auto& o = static_cast<const FrameModifier&>(other);
        const auto& a = limits;
        const auto& b = o.limits;
        return flexible == o.flexible && width == o.width && height == o.height &&
               alignment == o.alignment && a.minWidth == b.minWidth &&
               a.idealWidth == b.idealWidth && a.maxWidth == b.maxWidth &&
               a.minHeight == b.minHeight && a.idealHeight == b.idealHeight &&
               a.maxHeight == b.maxHeight && a.alignment == b.alignment;
    }

    static std::optional<CGFloat> clampOptional(std::optional<CGFloat> v, std::optional<CGFloat> lo,
                                                std::optional<CGFloat> hi) {
        if (!v) {
            return v;
        }
        CGFloat r = *v;
        if (hi) {
            r = std::min(r, *hi);
        }
        if (lo) {
            r = std::max(r, *lo);
        }
        return r;
    }

    ProposedViewSize childProposal(ProposedViewSize p) const {
        if (!flexible) {
            return {width ? width : p.width, height ? height : p.height};
        }
        const auto dim = [](std::optional<CGFloat> proposed, std::optional<CGFloat> lo,
                            std::optional<CGFloat> ideal, std::optional<CGFloat> hi) {
            return proposed ? clampOptional(proposed, lo, hi) : ideal;
        };
        return {dim(p.width, limits.minWidth, limits.idealWidth, limits.maxWidth),
                dim(p.height, limits.minHeight, limits.idealHeight, limits.maxHeight)};
    }

    Size sizeThatFits(ModifierNode& node, ProposedViewSize p) const override {
        const Size c = node.contentSize(childProposal(p));
        if (!flexible) {
            return {width.value_or(c.width), height.value_or(c.height)};
        }
        const auto dim = [](std::optional<CGFloat> proposed, CGFloat child,
                            std::optional<CGFloat> lo, std::optional<CGFloat> ideal,
                            std::optional<CGFloat> hi) -> CGFloat {
            if (!lo && !hi) {
                return proposed ? child : ideal.value_or(child);
            }
            if (!proposed) {
                return *clampOptional(ideal.value_or(child), lo, hi);
            }
            if (hi) {
                return *clampOptional(proposed, lo, hi);
            }
            return *clampOptional(child, lo, hi);
        };
        return {dim(p.width, c.width, limits.minWidth, limits.idealWidth, limits.maxWidth),
                dim(p.height, c.height, limits.minHeight, limits.idealHeight, limits.maxHeight)};
    }
    Point contentOffset(ModifierNode& node, Size size, ProposedViewSize p) const {
        const ProposedViewSize q = childProposal(p);
        return alignedOffset(size, node.content->dimensions(q),
                             flexible ? limits.alignment : alignment);
    }
    void place(ModifierNode& node, ProposedViewSize p) const override {
        if (!node.content) {
            return;
        }
        const ProposedViewSize q = childProposal(p);
        const Point at = contentOffset(node, node.frame.size, p);
        node.placeContent(Rect(at, node.contentSize(q)), q);
    }
    std::optional<CGFloat> guide(ModifierNode& node, const AlignmentID& g, Size size,
                                 ProposedViewSize p) const override {
        if (!node.content) {
            return std::nullopt;
        }
        const ProposedViewSize q = childProposal(p);
        const auto v = node.content->explicitGuide(g, node.contentSize(q), q);
        if (!v) {
            return std::nullopt;
        }
        const Point at = contentOffset(node, size, p);
        return *v + (isHorizontalGuide(g) ? at.x : at.y);
    }
};

struct FixedSizeModifier final : Kind<FixedSizeModifier> {
    bool horizontal = true;
    bool vertical = true;
    bool affectsLayout() const override { return true; }
    bool equals(const ModifierImpl& o) const override {
        const auto& m = static_cast<const FixedSizeModifier&>(o);
        return m.horizontal == horizontal && m.vertical == vertical;
    }
    ProposedViewSize inner(ProposedViewSize p) const {
        return {horizontal ? std::nullopt : p.width, vertical ? std::nullopt : p.height};
    }
    Size sizeThatFits(ModifierNode& node, ProposedViewSize p) const override {
        return node.contentSize(inner(p));
    }
    void place(ModifierNode& node, ProposedViewSize p) const override {
        const ProposedViewSize q = inner(p);
        node.placeContent(Rect({0, 0}, node.contentSize(q)), q);
    }
    std::optional<CGFloat> guide(ModifierNode& node, const AlignmentID& g, Size size,
                                 ProposedViewSize p) const override {
        return node.content ? node.content->explicitGuide(g, size, inner(p)) : std::nullopt;
    }
};

struct OffsetModifier final : Kind<OffsetModifier> {
    CGFloat x = 0;
    CGFloat y = 0;
    bool affectsLayout() const override { return true; }
    bool equals(const ModifierImpl& o) const override {
        const auto& m = static_cast<const OffsetModifier&>(o);
        return m.x == x && m.y == y;
    }
    void place(ModifierNode& node, ProposedViewSize p) const override {
        node.placeContent(node.bounds().offsetBy(x, y), p);
    }
};

struct OverlayModifier final : Kind<OverlayModifier> {
    AnyView overlay;
    Alignment alignment;
    bool behind = false;
    bool affectsLayout() const override { return true; }
    bool equals(const ModifierImpl& o) const override {
        const auto& m = static_cast<const OverlayModifier&>(o);
        return m.alignment == alignment && m.behind == behind && sameView(m.overlay, overlay);
    }
    bool extrasBehind() const override { return behind; }
    void didUpdate(ModifierNode& node, bool, const ModifierImpl*) const override {
        node.setExtra(0, overlay, false);
    }
    void place(ModifierNode& node, ProposedViewSize p) const override {
        node.placeContent(node.bounds(), p);
        node.placeExtraAligned(0, alignment);
    }
};

struct ClipModifier final : Kind<ClipModifier> {
    std::function<platform::Path(Rect)> shape;
    bool clipsContent() const override { return true; }
    void draw(ModifierNode& node, DisplayList& list) const override {
        list.append(DisplayList::Save{});
        list.append(DisplayList::Clip{shape(node.bounds())});
        node.drawChildren(list);
        list.append(DisplayList::Restore{});
    }
};

struct OpacityModifier final : Kind<OpacityModifier> {
    double opacity = 1;
    bool equals(const ModifierImpl& o) const override {
        return static_cast<const OpacityModifier&>(o).opacity == opacity;
    }
    void draw(ModifierNode& node, DisplayList& list) const override {
        if (opacity >= 1) {
            node.drawChildren(list);
            return;
        }
        if (opacity <= 0) {
            return;
        }
        list.append(DisplayList::BeginLayer{opacity});
        node.drawChildren(list);
        list.append(DisplayList::EndLayer{});
    }
};

struct CoordinateSpaceModifier final : Kind<CoordinateSpaceModifier> {
    std::string name;
    bool equals(const ModifierImpl& o) const override {
        return static_cast<const CoordinateSpaceModifier&>(o).name == name;
    }
    const std::string* coordinateSpaceName() const override { return &name; }
};

struct AlignmentGuideModifier final : Kind<AlignmentGuideModifier> {
    const AlignmentID* id = nullptr;
    std::function<CGFloat(const ViewDimensions&)> value;
    const void* type = nullptr;
    std::shared_ptr<const void> closure;
    bool (*same)(const void*, const void*) = nullptr;
    bool affectsLayout() const override { return true; }
    bool equals(const ModifierImpl& other) const override {
        const auto& o = static_cast<const AlignmentGuideModifier&>(other);
        return o.id == id && type != nullptr && o.type == type && same != nullptr &&
               (o.closure == closure || same(o.closure.get(), closure.get()));
    }
    std::optional<CGFloat> guide(ModifierNode& node, const AlignmentID& g, Size size,
                                 ProposedViewSize p) const override {
        if (&g == id && node.content) {
            return value(ViewDimensions(size, *node.content, p));
        }
        return ModifierImpl::guide(node, g, size, p);
    }
};

struct LayoutValueModifier final : Kind<LayoutValueModifier> {
    const void* tag = nullptr;
    std::any value;
    bool (*equal)(const std::any&, const std::any&) = nullptr;
    bool affectsLayout() const override { return true; }
    bool equals(const ModifierImpl& other) const override {
        const auto& o = static_cast<const LayoutValueModifier&>(other);
        return o.tag == tag && equal != nullptr && equal(o.value, value);
    }
    const std::any* layoutValue(const void* t) const override {
        return t == tag ? &value : nullptr;
    }
    bool providesLayoutValues() const override { return true; }
};

struct IDModifier final : Kind<IDModifier> {
    ViewID id;
    bool equals(const ModifierImpl& o) const override {
        return static_cast<const IDModifier&>(o).id == id;
    }
    const ViewID* identity() const override { return &id; }
};

// ---- Environment and preferences ----

/// Writes one value (`environment<K>`), or runs a closure over the environment.
struct EnvironmentModifier final : Kind<EnvironmentModifier> {
    const void* key = nullptr;
    std::shared_ptr<const void> value;
    bool (*equal)(const void*, const void*) = nullptr;
    std::function<void(EnvironmentValues&)> transform;
    void transformEnvironment(EnvironmentValues& env) const override {
        if (key != nullptr) {
            env.setShared(key, value, equal);
        } else {
            transform(env);
        }
    }
    bool equals(const ModifierImpl& other) const override {
        const auto& o = static_cast<const EnvironmentModifier&>(other);
        return key != nullptr && o.key == key &&
               (o.value == value || (equal != nullptr && equal(o.value.get(), value.get())));
    }
};

struct PreferenceModifier final : Kind<PreferenceModifier> {
    std::function<void(PreferenceValues&, const GeometryProxy&)> transform;
    /// A value that does not read the geometry is not computed again when the view moves.
    bool readsGeometry = true;
    bool transformsPreferences() const override { return true; }
    void transformPreferences(ModifierNode& node, PreferenceValues& values) const override {
        if (!readsGeometry) {
            transform(values, GeometryProxy());
            return;
        }
        node.dependsOnRootPosition();
        transform(values, node.proxy());
    }
};

struct PreferenceChangeModifier final : Kind<PreferenceChangeModifier> {
    std::function<bool(const PreferenceValues&, const PreferenceValues&)> same;
    std::function<void(const PreferenceValues&)> action;
    bool observesLayout() const override { return true; }
    void afterLayout(ModifierNode& node) const override {
        const PreferenceValues& now = node.contentPreferences();
        auto* last = std::any_cast<PreferenceValues>(&node.storage);
        if (last != nullptr && same(*last, now)) {
            return;
        }
        node.storage = now;
        action(now);
    }
};

struct PreferenceOverlayModifier final : Kind<PreferenceOverlayModifier> {
    std::function<AnyView(const PreferenceValues&)> make;
    Alignment alignment;
    bool behind = false;
    bool extrasBehind() const override { return behind; }
    bool observesLayout() const override { return true; }
    void place(ModifierNode& node, ProposedViewSize p) const override {
        node.placeContent(node.bounds(), p);
        // The values the overlay is built from are kept, to notice when they change without
        // the layout changing.
        node.storage = node.contentPreferences();
        node.setExtra(0, make(node.contentPreferences()), true);
        node.placeExtraAligned(0, alignment);
    }
    void didUpdate(ModifierNode& node, bool first, const ModifierImpl*) const override {
        if (!first) {
            node.invalidatePlacement(); // a new closure builds a new overlay
        }
    }
    void afterLayout(ModifierNode& node) const override {
        const auto* used = std::any_cast<PreferenceValues>(&node.storage);
        if (used == nullptr || !used->identical(node.contentPreferences())) {
            node.invalidatePlacement();
        }
    }
};

struct GeometryChangeModifier final : Kind<GeometryChangeModifier> {
    std::function<void(const GeometryProxy&)> observe;
    bool observesLayout() const override { return true; }
    bool observesGeometry() const override { return true; }
    void afterLayout(ModifierNode& node) const override { observe(node.proxy()); }
};

struct VisibleBoundsModifier final : Kind<VisibleBoundsModifier> {
    std::function<void(const Rect&, const Rect&)> action;
    bool observesLayout() const override { return true; }
    bool observesGeometry() const override { return true; }
    void didUpdate(ModifierNode& node, bool first, const ModifierImpl*) const override {
        if (first) {
            node.observeVisibleRect();
        }
    }
    void afterLayout(ModifierNode& node) const override {
        const Rect now = node.visibleBounds();
        auto* last = std::any_cast<Rect>(&node.storage);
        if (last == nullptr) {
            node.storage = now;
            action(now, now);
        } else if (!(*last == now)) {
            const Rect old = std::exchange(*last, now);
            action(old, now);
        }
    }
};

// ---- Updates and lifecycle ----

struct OnChangeModifier final : Kind<OnChangeModifier> {
    std::shared_ptr<const void> value;
    bool (*equal)(const void*, const void*) = nullptr;
    bool initial = false;
    std::function<void(const void*, const void*)> action;
    void didUpdate(ModifierNode& node, bool first, const ModifierImpl*) const override {
        auto* last = std::any_cast<std::shared_ptr<const void>>(&node.storage);
        if (first || last == nullptr) {
            node.storage = value;
            if (initial) {
                node.enqueue([act = action, v = value] { act(v.get(), v.get()); });
            }
            return;
        }
        if (equal(last->get(), value.get())) {
            return;
        }
        std::shared_ptr<const void> old = std::exchange(*last, value);
        node.enqueue([act = action, old, v = value] { act(old.get(), v.get()); });
    }
};

struct AppearModifier final : Kind<AppearModifier> {
    std::function<void()> action;
    bool disappear = false;
    void didUpdate(ModifierNode& node, bool first, const ModifierImpl*) const override {
        if (disappear) {
            node.hasRemovalWork();
        } else if (first) {
            node.enqueue(action);
        }
    }
    void willRemove(ModifierNode& node) const override {
        if (disappear) {
            node.enqueue(action);
        }
    }
};

struct TaskModifier final : Kind<TaskModifier> {
    struct Running {
        ViewID id;
        platform::Task<void> handle;
    };
    ViewID id;
    platform::TaskPriority priority = platform::TaskPriority::userInitiated;
    std::function<platform::Task<void>()> operation;

    void start(ModifierNode& node) const {
        node.hasRemovalWork();
        auto op = operation;
        node.storage = Running{id, platform::Task<void>::run([op] { return op(); }, priority)};
    }
    void didUpdate(ModifierNode& node, bool first, const ModifierImpl*) const override {
        auto* running = std::any_cast<Running>(&node.storage);
        if (first || running == nullptr) {
            start(node);
        } else if (!(running->id == id)) {
            running->handle.cancel();
            start(node);
        }
    }
    void willRemove(ModifierNode& node) const override {
        if (auto* running = std::any_cast<Running>(&node.storage)) {
            running->handle.cancel();
        }
    }
};

// ---- Input ----

struct TapModifier final : Kind<TapModifier> {
    int count = 1;
    std::function<void(Point)> action;
    bool takesEvents() const override { return true; }
    bool pointer(ModifierNode& node, const PointerEvent& e) const override {
        if (e.button != 1) {
            return false;
        }
        if (e.kind == PointerEvent::Kind::down) {
            return true;
        }
        const Rect frame = node.rootFrame();
        if (e.kind == PointerEvent::Kind::up && frame.contains(e.location) &&
            (e.clickCount == count || count == 1)) {
            action(e.location - frame.origin);
            return true;
        }
        return e.kind == PointerEvent::Kind::up || e.kind == PointerEvent::Kind::dragged;
    }
};

struct HoverModifier final : Kind<HoverModifier> {
    std::function<void(HoverPhase)> action;
    bool hovers() const override { return true; }
    void hover(ModifierNode& node, const HoverPhase& phase) const override {
        HoverPhase local = phase;
        local.location = phase.location - node.rootOrigin();
        action(local);
    }
};

struct InteractionModifier final : Kind<InteractionModifier> {
    std::shared_ptr<InteractionObject> object;
    bool takesEvents() const override { return true; }
    bool observesLayout() const override { return true; }
    bool observesGeometry() const override { return true; }
    /// Frames are relative to the parent: the object hears of its root frame after each pass
    /// in which it changed (an ancestor may have moved it).
    void afterLayout(ModifierNode& node) const override {
        const Rect frame = node.rootFrame();
        const auto* last = std::any_cast<Rect>(&node.storage);
        if (last == nullptr || !(*last == frame)) {
            node.storage = frame;
            object->frameChanged(frame);
        }
    }
    void didUpdate(ModifierNode& node, bool, const ModifierImpl* previous) const override {
        // Another object hears of the frame at the next pass.
        const auto* old = static_cast<const InteractionModifier*>(previous);
        if (old != nullptr && old->object != object) {
            node.storage.reset();
        }
    }
    std::shared_ptr<InteractionObject> interactionObject() const override { return object; }
    bool pointer(ModifierNode& node, const PointerEvent& e) const override {
        PointerEvent local = e;
        local.location = e.location - node.rootOrigin();
        switch (e.kind) {
        case PointerEvent::Kind::down:
            return object->hitTest(local.location) && object->pointerDown(local);
        case PointerEvent::Kind::dragged:
            return object->pointerDragged(local);
        case PointerEvent::Kind::up:
            return object->pointerUp(local);
        case PointerEvent::Kind::moved:
        case PointerEvent::Kind::exited:
            return object->hitTest(local.location) && object->pointerMoved(local);
        }
        return false;
    }
    std::optional<CursorShape> cursor(ModifierNode& node, Point p) const override {
        const Point local = p - node.rootOrigin();
        return object->hitTest(local) ? object->cursor(local) : std::nullopt;
    }
};

struct CursorModifier final : Kind<CursorModifier> {
    CursorShape shape = CursorShape::arrow;
    bool participatesInHitTesting() const override { return true; }
    std::optional<CursorShape> cursor(ModifierNode&, Point) const override { return shape; }
};

} // namespace
} // namespace platform::ui::detail

namespace platform::ui::detail {

AnyView padding(AnyView content, EdgeInsets insets) {
    PaddingModifier m;
    m.insets = {soundInset(insets.top), soundInset(insets.leading), soundInset(insets.bottom),
                soundInset(insets.trailing)};
    return modified(std::move(content), std::move(m));
}

AnyView frame(AnyView content, std::optional<CGFloat> width, std::optional<CGFloat> height,
              Alignment alignment) {
    FrameModifier m;
    const auto fixed = [](std::optional<CGFloat> v) -> std::optional<CGFloat> {
        v = soundOptional(v);
        return v && std::isinf(*v) ? std::nullopt : v;
    };
    m.width = fixed(width);
    m.height = fixed(height);
    m.alignment = alignment;
    return modified(std::move(content), std::move(m));
}

AnyView frame(AnyView content, const FlexibleFrame& limits) {
    FrameModifier m;
    m.flexible = true;
    m.limits = limits;
    auto& l = m.limits;
    for (auto* v :
         {&l.minWidth, &l.idealWidth, &l.maxWidth, &l.minHeight, &l.idealHeight, &l.maxHeight}) {
        *v = soundOptional(*v);
    }
    for (auto* v : {&l.minWidth, &l.idealWidth, &l.minHeight, &l.idealHeight}) {
        if (*v && std::isinf(**v)) {
            *v = std::nullopt;
        }
    }
    // Contradictory limits: the maximum is raised to the minimum.
    if (l.minWidth && l.maxWidth && *l.maxWidth < *l.minWidth) {
        l.maxWidth = l.minWidth;
    }
    if (l.minHeight && l.maxHeight && *l.maxHeight < *l.minHeight) {
        l.maxHeight = l.minHeight;
    }
    return modified(std::move(content), std::move(m));
}

AnyView fixedSize(AnyView content, bool horizontal, bool vertical) {
    FixedSizeModifier m;
    m.horizontal = horizontal;
    m.vertical = vertical;
    return modified(std::move(content), std::move(m));
}

AnyView offset(AnyView content, CGFloat x, CGFloat y) {
    OffsetModifier m;
    m.x = soundCoordinate(x);
    m.y = soundCoordinate(y);
    return modified(std::move(content), std::move(m));
}

AnyView overlay(AnyView content, AnyView view, Alignment alignment, bool behind) {
    OverlayModifier m;
    m.overlay = std::move(view);
    m.alignment = alignment;
    m.behind = behind;
    return modified(std::move(content), std::move(m));
}

AnyView clipShape(AnyView content, std::function<platform::Path(Rect)> shape) {
    ClipModifier m;
    m.shape = std::move(shape);
    return modified(std::move(content), std::move(m));
}

AnyView opacity(AnyView content, double value) {
    OpacityModifier m;
    m.opacity = std::isnan(value) ? 1.0 : std::clamp(value, 0.0, 1.0);
    return modified(std::move(content), std::move(m));
}

AnyView coordinateSpace(AnyView content, std::string name) {
    CoordinateSpaceModifier m;
    m.name = std::move(name);
    return modified(std::move(content), std::move(m));
}

AnyView alignmentGuide(AnyView content, const AlignmentID& guide,
                       std::function<CGFloat(const ViewDimensions&)> value, const void* type,
                       std::shared_ptr<const void> closure,
                       bool (*same)(const void*, const void*)) {
    AlignmentGuideModifier m;
    m.id = &guide;
    m.value = std::move(value);
    m.type = type;
    m.closure = std::move(closure);
    m.same = same;
    return modified(std::move(content), std::move(m));
}

AnyView withID(AnyView content, ViewID id) {
    IDModifier m;
    m.id = std::move(id);
    return modified(std::move(content), std::move(m));
}

AnyView onAppear(AnyView content, std::function<void()> action) {
    AppearModifier m;
    m.action = std::move(action);
    return modified(std::move(content), std::move(m));
}

AnyView onDisappear(AnyView content, std::function<void()> action) {
    AppearModifier m;
    m.action = std::move(action);
    m.disappear = true;
    return modified(std::move(content), std::move(m));
}

AnyView task(AnyView content, ViewID id, platform::TaskPriority priority,
             std::function<platform::Task<void>()> operation) {
    TaskModifier m;
    m.id = std::move(id);
    m.priority = priority;
    m.operation = std::move(operation);
    return modified(std::move(content), std::move(m));
}

AnyView onTapGesture(AnyView content, int count, std::function<void(Point)> action) {
    TapModifier m;
    m.count = std::max(count, 1);
    m.action = std::move(action);
    return modified(std::move(content), std::move(m));
}

AnyView onContinuousHover(AnyView content, std::function<void(HoverPhase)> action) {
    HoverModifier m;
    m.action = std::move(action);
    return modified(std::move(content), std::move(m));
}

AnyView interaction(AnyView content, std::shared_ptr<InteractionObject> object) {
    if (!object) {
        return content;
    }
    InteractionModifier m;
    m.object = std::move(object);
    return modified(std::move(content), std::move(m));
}

AnyView cursor(AnyView content, CursorShape shape) {
    CursorModifier m;
    m.shape = shape;
    return modified(std::move(content), std::move(m));
}

AnyView onGeometryChange(AnyView content, std::function<void(const GeometryProxy&)> observe) {
    GeometryChangeModifier m;
    m.observe = std::move(observe);
    return modified(std::move(content), std::move(m));
}

AnyView onVisibleBoundsChange(AnyView content,
                              std::function<void(const Rect&, const Rect&)> action) {
    VisibleBoundsModifier m;
    m.action = std::move(action);
    return modified(std::move(content), std::move(m));
}

AnyView transformEnvironment(AnyView content, std::function<void(EnvironmentValues&)> transform) {
    EnvironmentModifier m;
    m.transform = std::move(transform);
    return modified(std::move(content), std::move(m));
}

AnyView environmentValue(AnyView content, const void* key, std::shared_ptr<const void> value,
                         bool (*equal)(const void*, const void*)) {
    EnvironmentModifier m;
    m.key = key;
    m.value = std::move(value);
    m.equal = equal;
    return modified(std::move(content), std::move(m));
}

AnyView transformPreferences(AnyView content,
                             std::function<void(PreferenceValues&, const GeometryProxy&)> fn,
                             bool readsGeometry) {
    PreferenceModifier m;
    m.transform = std::move(fn);
    m.readsGeometry = readsGeometry;
    return modified(std::move(content), std::move(m));
}

AnyView
onPreferenceChange(AnyView content,
                   std::function<bool(const PreferenceValues&, const PreferenceValues&)> same,
                   std::function<void(const PreferenceValues&)> action) {
    PreferenceChangeModifier m;
    m.same = std::move(same);
    m.action = std::move(action);
    return modified(std::move(content), std::move(m));
}

AnyView preferenceOverlay(AnyView content,
                          std::function<AnyView(const PreferenceValues&)> makeOverlay,
                          Alignment alignment, bool behind) {
    PreferenceOverlayModifier m;
    m.make = std::move(makeOverlay);
    m.alignment = alignment;
    m.behind = behind;
    return modified(std::move(content), std::move(m));
}

AnyView onChange(AnyView content, std::shared_ptr<const void> value,
                 bool (*equal)(const void*, const void*), bool initial,
                 std::function<void(const void*, const void*)> action) {
    OnChangeModifier m;
    m.value = std::move(value);
    m.equal = equal;
    m.initial = initial;
    m.action = std::move(action);
    return modified(std::move(content), std::move(m));
}

AnyView layoutValue(AnyView content, const void* tag, std::any value,
                    bool (*equal)(const std::any&, const std::any&)) {
    LayoutValueModifier m;
    m.tag = tag;
    m.value = std::move(value);
    m.equal = equal;
    return modified(std::move(content), std::move(m));
}

} // namespace platform::ui::detail
