#include "platform/ui/ViewGraph.hpp"

#include "platform/runtime/MainExecutor.hpp"
#include "platform/ui/LazyVStack.hpp"
#include "platform/ui/Node.hpp"

#include <algorithm>
#include <cmath>
#include <queue>
#include <utility>

namespace platform::ui {

namespace {
/// Observers that keep changing state among themselves (an action enqueuing an action...) are
/// bounded like layout passes are.
constexpr int kMaxActionRounds = 64;

/// A rectangle holding any drawing.
Rect everywhere() {
    constexpr CGFloat far = 1e15;
    return {-far, -far, 2 * far, 2 * far};
}

void prune(std::vector<std::weak_ptr<detail::NodeToken>>& tokens) {
    std::erase_if(tokens, [](const std::weak_ptr<detail::NodeToken>& t) {
        const auto locked = t.lock();
        return !locked || locked->node == nullptr;
    });
}
} // namespace

void ViewGraph::Impl::scheduleUpdate() {
    if (inUpdate) {
        return;
    }
    cutOffIdle = false;
    if (updateScheduled) {
        return;
    }
    updateScheduled = true;
    if (scheduler) {
        scheduler();
        return;
    }
    platform::MainExecutor::shared().enqueue([weak = std::weak_ptr<Impl*>(alive)] {
        if (const auto a = weak.lock(); a && *a != nullptr) {
            (*a)->update();
        }
    });
}

void ViewGraph::Impl::markDirty(detail::Node& node) {
    dirty.push_back(node.token());
    scheduleUpdate();
}

void ViewGraph::Impl::runActions() {
    for (int round = 0; round < kMaxActionRounds && !actions.empty(); ++round) {
        std::vector<std::function<void()>> now;
        now.swap(actions);
        for (auto& action : now) {
            action();
        }
    }
}

void ViewGraph::Impl::runStaleObservers() {
    // Those that see a change while these run are queued for the next pass.
    std::vector<detail::Node*> stale;
    for (const auto& t : std::exchange(staleObservers, {})) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            stale.push_back(locked->node);
        }
    }
    std::sort(stale.begin(), stale.end(), [](const detail::Node* a, const detail::Node* b) {
        return a->observerOrder() < b->observerOrder();
    });
    std::vector<std::weak_ptr<detail::NodeToken>> tokens;
    tokens.reserve(stale.size());
    for (detail::Node* n : stale) {
        tokens.push_back(n->token());
    }
    for (const auto& t : tokens) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            locked->node->observerRuns();
            if (locked->node->observerWaitsForPlacement()) {
                continue; // run when the node is placed
            }
            ++statistics.observerRuns;
            locked->node->afterLayout();
        }
    }
}

void ViewGraph::Impl::layout() {
    layoutNeeded = false;
    if (!root) {
        size = {};
        return;
    }
    placing = true;
    // The root gets a finite size: an infinite offer is no offer (the root's ideal size).
    ProposedViewSize p = proposal;
    for (auto* d : {&p.width, &p.height}) {
        if (*d && std::isinf(**d)) {
            d->reset();
        }
    }
    // Placing may find that a node answered with an estimate (a lazy stack measuring the rows
    // that came into view): its change settles in another round.
    constexpr int kRounds = 4;
    Size s;
    for (int round = 0; round < kRounds; ++round) {
        settleDirtyLayouts();
        s = root->sizeThatFits(p);
        root->place(Rect({0, 0}, s), p);
        if (dirtyLayouts.empty()) {
            break;
        }
    }
    placing = false;
    if (!dirtyLayouts.empty()) {
        layoutNeeded = true;
    }
    size = s;
}

void ViewGraph::Impl::settleDirtyLayouts() {
    // Changed nodes, one level at a time from the deepest: a node that keeps its answers to its
    // parent is placed again in its frame; one that does not marks its parent, which is verified
    // once, after all of its changed children have settled (a table whose thousand cells change
    // verifies and places its grid once, not once per cell). Placing waits until every level has
    // settled, outermost first; what placing queues anew waits for the next round, beyond a few
    // rounds for the next pass.
    constexpr int kRounds = 8;
    const auto shallower = [](const std::pair<int, std::weak_ptr<detail::NodeToken>>& a,
                              const std::pair<int, std::weak_ptr<detail::NodeToken>>& b) {
        return a.first < b.first;
    };
    for (int round = 0; round < kRounds && !dirtyLayouts.empty(); ++round) {
        std::priority_queue<std::pair<int, std::weak_ptr<detail::NodeToken>>,
                            std::vector<std::pair<int, std::weak_ptr<detail::NodeToken>>>,
                            decltype(shallower)>
            queue(shallower);
        const auto take = [&] {
            for (auto& t : dirtyLayouts) {
                if (const auto locked = t.lock(); locked && locked->node != nullptr) {
                    queue.emplace(locked->node->depth, std::move(t));
                }
            }
            dirtyLayouts.clear();
        };
        take();
        std::vector<std::pair<int, std::weak_ptr<detail::NodeToken>>> toPlace;
        while (!queue.empty()) {
            const std::weak_ptr<detail::NodeToken> token = queue.top().second;
            queue.pop();
            if (const auto locked = token.lock(); locked && locked->node != nullptr) {
                if (detail::Node* const boundary = settle(locked->node)) {
                    toPlace.emplace_back(boundary->depth, boundary->token());
                }
            }
            take();
        }
        std::stable_sort(toPlace.begin(), toPlace.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<const detail::Node*> placed;
        for (const auto& [depth, token] : toPlace) {
            if (const auto locked = token.lock(); locked && locked->node != nullptr) {
                detail::Node* const node = locked->node;
                if (std::find(placed.begin(), placed.end(), node) == placed.end()) {
                    placed.push_back(node);
                    node->placeAgain();
                }
            }
        }
    }
}

detail::Node* ViewGraph::Impl::settle(detail::Node* n) {
    if (!n->layoutDirty) {
        const bool place = n->placementDirty && n->everPlaced;
        n->placementDirty = false;
        return place ? n : nullptr;
    }
    n->layoutDirty = false;
    n->placementDirty = false;
    if (n->parent == nullptr) {
        // The root is laid out at the end of the pass.
        return nullptr;
    }
    if (!n->everPlaced && (n->isLateChild || !n->answeredParent())) {
        // A node never asked for its size waits for its parent, whose layout its arrival
        // changed. One measured but not placed (a lazy stack's row out of view) is verified
        // like any other.
        return nullptr;
    }
    if (n->isLateChild) {
        // Built during its parent's placement: the parent places it again, its own size
        // unchanged.
        return n->parent;
    }
    if (n->keepsItsAnswers()) {
        return n->everPlaced ? n : nullptr;
    }
    // The parent is queued at its own depth (marking it adds it to the changed nodes) and
    // verified once all of its changed children have settled.
    n->parent->childLayoutChanged(*n);
    n->parent->markForVerification();
    return nullptr;
}

void ViewGraph::Impl::addDamage(Rect rect) {
    if (!damageKept || rect.isNull()) {
        return;
    }
    // A few rectangles, each where something changed; past that many, one holding them all.
    constexpr std::size_t kept = 32;
    if (damage.size() == kept) {
        for (const Rect& r : damage) {
            rect = rect.unionWith(r);
        }
        damage.clear();
    }
    damage.push_back(rect);
}

void ViewGraph::Impl::recordChangedDrawings() {
    using Entry = std::pair<int, std::weak_ptr<detail::NodeToken>>;
    const auto shallower = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    std::priority_queue<Entry, std::vector<Entry>, decltype(shallower)> queue(shallower);
    const auto take = [&] {
        for (auto& t : changedDrawings) {
            if (const auto locked = t.lock(); locked && locked->node != nullptr) {
                queue.emplace(locked->node->depth, std::move(t));
            }
        }
        changedDrawings.clear();
    };
    take();
    while (!queue.empty()) {
        const std::weak_ptr<detail::NodeToken> token = queue.top().second;
        queue.pop();
        const auto locked = token.lock();
        if (!locked || locked->node == nullptr) {
            continue;
        }
        detail::Node* const node = locked->node;
        // Recorded already (it changed twice, or with its parent), or no longer drawn.
        if (node->drawingValid() || !node->drawnByParent()) {
            continue;
        }
        if (node->record()) {
            node->parent->invalidateDrawing();
            take();
        }
    }
}

void ViewGraph::Impl::update() {
    updateScheduled = false;
    if (inUpdate) {
        return;
    }
    inUpdate = true;
    int passes = 0;
    bool cutOff = false;
    bool changed = false;
    while (rootChanged || !dirty.empty() || !actions.empty() || layoutNeeded) {
        if (passes == ViewGraph::maxPassesPerUpdate) {
            cutOff = true;
            break;
        }
        ++passes;
        changed = true;

        // Build: the root if it changed, then every dirty body, outermost first (an outer
        // rebuild may already have brought an inner one up to date).
        if (rootChanged || !root) {
            rootChanged = false;
            if (root && root->view.impl()->typeTag() == rootView.impl()->typeTag()) {
                root->update(rootView, environment);
            } else {
                if (root) {
                    root->removeSubtree();
                    // Nothing of the old tree's drawing stays.
                    addDamage(everywhere());
                }
                root = rootView.impl()->makeNode();
                root->graph = this;
                root->update(rootView, environment);
                layoutNeeded = true;
            }
        }
        std::vector<std::weak_ptr<detail::NodeToken>> now;
        now.swap(dirty);
        std::vector<detail::Node*> nodes;
        for (const auto& t : now) {
            if (const auto locked = t.lock(); locked && locked->node != nullptr) {
                nodes.push_back(locked->node);
            }
        }
        std::stable_sort(
            nodes.begin(), nodes.end(),
            [](const detail::Node* a, const detail::Node* b) { return a->depth < b->depth; });
        // Tokens are checked again: rebuilding one node may drop another.
        std::vector<std::weak_ptr<detail::NodeToken>> sorted;
        sorted.reserve(nodes.size());
        for (detail::Node* n : nodes) {
            sorted.push_back(n->token());
        }
        for (const auto& t : sorted) {
            if (const auto locked = t.lock(); locked && locked->node != nullptr) {
                locked->node->rebuildIfDirty();
            }
        }
        runActions();

        layout();
        runStaleObservers();
        runActions();
    }
    lastPasses = passes;
    lastCutOff = cutOff;
    cutOffIdle = cutOff;
    inUpdate = false;
    if (changed && needsDisplay) {
        needsDisplay();
    }
}

ViewGraph::ViewGraph(AnyView root, EnvironmentValues environment)
    : impl_(std::make_unique<Impl>()) {
    impl_->rootView = std::move(root);
    impl_->environment = std::move(environment);
    impl_->alive = std::make_shared<Impl*>(impl_.get());
    // Weakly: the action lives in the graph's own environment, and may be kept past the graph.
    impl_->environment.set<LayOutDeferredKey>(
        LayOutDeferredAction([this, alive = std::weak_ptr<Impl*>(impl_->alive)] {
            const auto graph = alive.lock();
            if (!graph || *graph == nullptr || (*graph)->inUpdate) {
                return;
            }
            // Views that lay out only the part of them shown are shown all of themselves
            // meanwhile, as a host showing everything would.
            Impl& impl = **graph;
            impl.showingAll = true;
            prune(impl.visibleRectObservers);
            for (const auto& t : impl.visibleRectObservers) {
                if (const auto locked = t.lock(); locked && locked->node != nullptr) {
                    locked->node->seesChange();
                }
            }
            impl.layoutNeeded = true;
            update();
            while (layOutDeferred(std::chrono::milliseconds(100))) {
            }
            impl.showingAll = false;
        }));
    impl_->scheduleUpdate();
}

ViewGraph::~ViewGraph() {
    *impl_->alive = nullptr;
    if (impl_->root) {
        // Tasks are cancelled; disappearance actions have nothing left to act on.
        impl_->root->removeSubtree();
        impl_->actions.clear();
    }
}

void ViewGraph::setRootView(AnyView root) {
    impl_->rootView = std::move(root);
    impl_->rootChanged = true;
    impl_->scheduleUpdate();
}

void ViewGraph::setEnvironment(EnvironmentValues environment) {
    LayOutDeferredAction layOutDeferred = impl_->environment.get<LayOutDeferredKey>();
    impl_->environment = std::move(environment);
    impl_->environment.set<LayOutDeferredKey>(std::move(layOutDeferred));
    impl_->rootChanged = true;
    impl_->scheduleUpdate();
}

const EnvironmentValues& ViewGraph::environment() const {
    return impl_->environment;
}

void ViewGraph::setProposal(ProposedViewSize proposal) {
    if (impl_->proposal == proposal.sanitized()) {
        return;
    }
    impl_->proposal = proposal.sanitized();
    impl_->layoutNeeded = true;
    impl_->scheduleUpdate();
}

void ViewGraph::setVisibleRect(std::optional<Rect> rect) {
    if (rect) {
        *rect = Rect(soundCoordinate(rect->origin.x), soundCoordinate(rect->origin.y),
                     soundLength(rect->size.width, false), soundLength(rect->size.height, false));
    }
    if (impl_->visibleRect == rect) {
        return;
    }
    impl_->visibleRect = rect;
    prune(impl_->lazyStacks);
    const auto stacks = impl_->lazyStacks;
    for (const auto& t : stacks) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            detail::lazyStackViewportChanged(*locked->node);
        }
    }
    // The observers of what is shown of them see it after the next pass.
    prune(impl_->visibleRectObservers);
    for (const auto& t : impl_->visibleRectObservers) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            locked->node->seesChange();
        }
    }
    if (!impl_->visibleRectObservers.empty()) {
        impl_->layoutNeeded = true;
        impl_->scheduleUpdate();
    }
}

std::optional<Rect> ViewGraph::visibleRect() const {
    return impl_->visibleRect;
}

bool ViewGraph::hasDeferredLayout() const {
    prune(impl_->lazyStacks);
    return std::any_of(impl_->lazyStacks.begin(), impl_->lazyStacks.end(), [](const auto& t) {
        const auto locked = t.lock();
        return locked && locked->node != nullptr && detail::lazyStackHasDeferredRows(*locked->node);
    });
}

bool ViewGraph::layOutDeferred(std::chrono::microseconds budget) {
    if (needsUpdate()) {
        update();
    }
    // The update that follows the rows is part of the slice: the rows get what it leaves, but
    // not less than it took last time, up to the whole budget (each stack still lays out one row
    // at least). An update costs more the more rows there are; were the rows to get only what it
    // leaves, a long document would come to place a row a slice and pay an update for every row.
    const std::chrono::steady_clock::duration whole = budget;
    const std::chrono::steady_clock::duration lastUpdate = impl_->deferredUpdateCost;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::max(whole - lastUpdate, std::min(lastUpdate, whole));
    prune(impl_->lazyStacks);
    const auto stacks = impl_->lazyStacks;
    bool any = false;
    for (const auto& t : stacks) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            any = detail::layOutDeferredRows(*locked->node, deadline) || any;
        }
    }
    if (any) {
        // What is shown stays where it was on screen: the visible part moves with it, and the
        // host scrolls as far when it takes the correction.
        if (impl_->visibleRect && impl_->scrollCorrection != 0) {
            impl_->visibleRect->origin.y += impl_->scrollCorrection - impl_->correctionApplied;
            impl_->correctionApplied = impl_->scrollCorrection;
        }
        const auto updating = std::chrono::steady_clock::now();
        update();
        impl_->deferredUpdateCost = std::chrono::steady_clock::now() - updating;
    }
    return hasDeferredLayout();
}

Rect ViewGraph::scrollToShow(Rect rect) {
    prune(impl_->scrollViews);
    const auto views = impl_->scrollViews;
    for (const auto& t : views) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            rect.origin.x -= detail::scrollNodeToShow(*locked->node, rect);
        }
    }
    return rect;
}

bool ViewGraph::placeAhead() {
    if (needsUpdate()) {
        return false; // the update under way places them
    }
    prune(impl_->lazyStacks);
    const auto stacks = impl_->lazyStacks;
    bool any = false;
    for (const auto& t : stacks) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            any = detail::lazyStackPlaceAhead(*locked->node) || any;
        }
    }
    if (any) {
        update();
    }
    return any;
}

CGFloat ViewGraph::takeScrollCorrection() {
    impl_->correctionApplied = 0;
    return std::exchange(impl_->scrollCorrection, 0);
}

void ViewGraph::setNeedsDisplayHandler(std::function<void()> handler) {
    impl_->needsDisplay = std::move(handler);
}

void ViewGraph::setUpdateScheduler(std::function<void()> schedule) {
    impl_->scheduler = std::move(schedule);
}

void ViewGraph::update() {
    impl_->update();
}

bool ViewGraph::needsUpdate() const {
    if (impl_->cutOffIdle) {
        return false;
    }
    return impl_->rootChanged || !impl_->dirty.empty() || impl_->layoutNeeded ||
           !impl_->actions.empty();
}

int ViewGraph::lastUpdatePasses() const {
    return impl_->lastPasses;
}

bool ViewGraph::lastUpdateWasCutOff() const {
    return impl_->lastCutOff;
}

Size ViewGraph::size() const {
    return impl_->size;
}

Size ViewGraph::sizeThatFits(ProposedViewSize proposal) {
    if (!impl_->root) {
        update();
    }
    return impl_->root ? impl_->root->sizeThatFits(proposal) : Size{};
}

DisplayList ViewGraph::displayList() const {
    if (impl_->root) {
        impl_->recordChangedDrawings();
        return *impl_->root->displayList();
    }
    return {};
}

std::vector<Rect> ViewGraph::takeDamage() {
    // Recorded first: what the drawing will be is what changed.
    if (impl_->root) {
        impl_->recordChangedDrawings();
        impl_->root->displayList();
    }
    if (!impl_->damageKept) {
        impl_->damageKept = true;
        impl_->damage.clear();
        return {everywhere()};
    }
    std::vector<Rect> taken;
    taken.swap(impl_->damage);
    return taken;
}

void ViewGraph::draw(platform::GraphicsContext& context) const {
    // System colours resolve in the scheme and contrast the host put in the environment.
    context.save();
    context.setAppearance(
        {impl_->environment.colorScheme(), impl_->environment.colorSchemeContrast()});
    if (impl_->root) {
        impl_->recordChangedDrawings();
        impl_->root->displayList()->draw(context, &impl_->statistics.drawnOperations);
    }
    context.restore();
}

namespace {

/// The handlers under a point, front-most first, in a vector the graph keeps for the next
/// lookup: hit testing allocates nothing once the vector has grown.
class Hits {
public:
    Hits(ViewGraph::Impl& graph, std::optional<Point> location)
        : graph_(graph)
        , nodes(std::move(graph.hits)) {
        nodes.clear();
        if (location && graph.root && graph.root->hitBounds().contains(*location)) {
            ++graph.statistics.hitTestVisits;
            graph.root->collectHandlers(*location, nodes);
        }
    }
    ~Hits() {
        nodes.clear();
        graph_.hits = std::move(nodes);
    }
    Hits(const Hits&) = delete;
    Hits& operator=(const Hits&) = delete;

private:
    ViewGraph::Impl& graph_;

public:
    std::vector<detail::Node*> nodes;
};

// Gives `object` (or nothing) the keys, telling the object that had them and the one that gets
// them.
void moveFocus(ViewGraph::Impl& g, const std::shared_ptr<InteractionObject>& object) {
    const auto old = g.focused.lock();
    if (old == object) {
        return;
    }
    g.focused = object;
    if (old) {
        old->focusChanged(false);
    }
    if (object) {
        object->focusChanged(true);
    }
}

// The first object in tree order within `top`'s subtree that takes the keys, passing over the
// subtree of `skip` (searched already).
std::shared_ptr<InteractionObject> firstFocusable(detail::Node& top, const detail::Node* skip) {
    std::vector<detail::Node*> pending{&top};
    while (!pending.empty()) {
        detail::Node* const n = pending.back();
        pending.pop_back();
        if (const auto* m = dynamic_cast<const detail::ModifierNode*>(n)) {
            if (auto object = m->modifier->interactionObject(); object && object->acceptsFocus()) {
                return object;
            }
        }
        for (std::size_t i = n->childCount(); i-- > 0;) {
            detail::Node* const child = n->childAt(i);
            if (child != nullptr && child != skip) {
                pending.push_back(child);
            }
        }
    }
    return nullptr;
}

// Where the keys go after a press that nothing under it took (beside a document's text, in its
// margin): the first object taking them in the innermost view under the press that holds one,
// so that a click beside a text gives the keys to that text, and one beside everything to the
// window's first.
std::shared_ptr<InteractionObject> focusableAround(ViewGraph::Impl& g, Point point) {
    if (!g.root) {
        return nullptr;
    }
    std::vector<detail::Node*> path{g.root.get()};
    Point origin = g.root->frame.origin;
    for (bool deeper = true; deeper;) {
        deeper = false;
        const detail::Node& n = *path.back();
        for (std::size_t i = n.childCount(); i-- > 0;) {
            detail::Node* const child = n.childAt(i);
            if (child != nullptr &&
                Rect(origin + child->frame.origin, child->frame.size).contains(point)) {
                origin = origin + child->frame.origin;
                path.push_back(child);
                deeper = true;
                break;
            }
        }
    }
    const detail::Node* searched = nullptr;
    for (auto n = path.rbegin(); n != path.rend(); ++n) {
        if (auto object = firstFocusable(**n, searched)) {
            return object;
        }
        searched = *n;
    }
    return nullptr;
}

} // namespace

bool ViewGraph::pointerEvent(const PointerEvent& event) {
    Impl& g = *impl_;
    switch (event.kind) {
    case PointerEvent::Kind::down: {
        const Hits hits(g, event.location);
        for (detail::Node* n : hits.nodes) {
            auto* m = dynamic_cast<detail::ModifierNode*>(n);
            if (m == nullptr || !m->modifier->takesEvents()) {
                continue;
            }
            if (m->modifier->pointer(*m, event)) {
                g.pointerTarget = m->token();
                const auto object = m->modifier->interactionObject();
                moveFocus(g, object && object->acceptsFocus() ? object : nullptr);
                return true;
            }
        }
        moveFocus(g, focusableAround(g, event.location));
        return false;
    }
    case PointerEvent::Kind::dragged:
    case PointerEvent::Kind::up: {
        const auto target = g.pointerTarget.lock();
        if (event.kind == PointerEvent::Kind::up) {
            g.pointerTarget.reset();
        }
        if (!target || target->node == nullptr) {
            return false;
        }
        auto* m = static_cast<detail::ModifierNode*>(target->node);
        return m->modifier->pointer(*m, event);
    }
    case PointerEvent::Kind::moved:
    case PointerEvent::Kind::exited: {
        const Hits hits(g, event.kind == PointerEvent::Kind::exited
                               ? std::nullopt
                               : std::optional<Point>(event.location));
        const std::vector<detail::Node*>& handlers = hits.nodes;
        std::vector<std::weak_ptr<detail::NodeToken>> hovered;
        for (detail::Node* n : handlers) {
            auto* m = dynamic_cast<detail::ModifierNode*>(n);
            if (m != nullptr && m->modifier->hovers()) {
                hovered.push_back(m->token());
            }
        }
        for (const auto& old : g.hovered) {
            const auto t = old.lock();
            if (!t || t->node == nullptr) {
                continue;
            }
            const bool still = std::any_of(hovered.begin(), hovered.end(),
                                           [&](const auto& h) { return h.lock() == t; });
            if (!still) {
                auto* m = static_cast<detail::ModifierNode*>(t->node);
                m->modifier->hover(*m, {HoverPhaseKind::ended, event.location});
            }
        }
        for (const auto& h : hovered) {
            if (const auto t = h.lock(); t && t->node != nullptr) {
                auto* m = static_cast<detail::ModifierNode*>(t->node);
                m->modifier->hover(*m, {HoverPhaseKind::active, event.location});
            }
        }
        g.hovered = std::move(hovered);
        bool handled = false;
        for (detail::Node* n : handlers) {
            auto* m = dynamic_cast<detail::ModifierNode*>(n);
            if (m != nullptr && m->modifier->interactionObject() &&
                m->modifier->pointer(*m, event)) {
                handled = true;
                break;
            }
        }
        return handled || !hovered.empty();
    }
    }
    return false;
}

bool ViewGraph::keyEvent(const KeyEvent& event) {
    auto object = impl_->focused.lock();
    if (!object && impl_->root) {
        // Before any click the keys go to the first object that takes them, as a window's keys
        // go to its first text before the reader picks another.
        object = firstFocusable(*impl_->root, nullptr);
        moveFocus(*impl_, object);
    }
    if (!object) {
        return false;
    }
    return event.kind == KeyEvent::Kind::down ? object->keyDown(event) : object->keyUp(event);
}

bool ViewGraph::scrollEvent(const ScrollEvent& event) {
    const Hits hits(*impl_, event.location);
    for (detail::Node* n : hits.nodes) {
        if (detail::scrollNodeBy(*n, event.deltaX)) {
            return true;
        }
    }
    return false;
}

std::vector<MenuItem> ViewGraph::contextMenu(Point location) {
    const Hits hits(*impl_, location);
    for (detail::Node* n : hits.nodes) {
        auto* m = dynamic_cast<detail::ModifierNode*>(n);
        if (m == nullptr) {
            continue;
        }
        if (const auto object = m->modifier->interactionObject()) {
            const Point local = location - m->rootOrigin();
            if (object->hitTest(local)) {
                // The keys go where the menu was asked for, as after a primary click: its
                // selection is what a following Copy acts on.
                moveFocus(*impl_, object->acceptsFocus() ? object : nullptr);
                return object->contextMenu(local);
            }
        }
    }
    return {};
}

CursorShape ViewGraph::cursor(Point location) const {
    const Hits hits(*impl_, location);
    for (detail::Node* n : hits.nodes) {
        auto* m = dynamic_cast<detail::ModifierNode*>(n);
        if (m == nullptr) {
            continue;
        }
        if (const auto shape = m->modifier->cursor(*m, location)) {
            return *shape;
        }
    }
    return CursorShape::arrow;
}

const ViewGraph::Statistics& ViewGraph::statistics() const {
    return impl_->statistics;
}

bool ViewGraph::hasFocus() const {
    return !impl_->focused.expired();
}

void ViewGraph::setWindowActive(bool active) {
    Impl& g = *impl_;
    if (!active) {
        if (const auto object = g.focused.lock()) {
            g.focusedBeforeDeactivation = object;
            moveFocus(g, nullptr);
        }
        return;
    }
    // A click while the window was inactive has given the focus already.
    if (g.focused.expired()) {
        moveFocus(g, g.focusedBeforeDeactivation.lock());
    }
    g.focusedBeforeDeactivation.reset();
}

bool ViewGraph::wantsAnimationFrames() const {
    prune(impl_->timelines);
    return !impl_->timelines.empty();
}

void ViewGraph::advanceFrame(std::chrono::steady_clock::time_point now) {
    impl_->frameTime = now;
    prune(impl_->timelines);
    for (const auto& t : impl_->timelines) {
        if (const auto locked = t.lock(); locked && locked->node != nullptr) {
            locked->node->markDirty();
        }
    }
    update();
}

} // namespace platform::ui
