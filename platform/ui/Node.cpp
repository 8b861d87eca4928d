#include "platform/ui/Node.hpp"

#include "platform/runtime/GlobalExecutor.hpp"
#include "platform/runtime/MainExecutor.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace platform::ui::detail {

namespace {

constexpr std::size_t kSizeCacheLimit = kAnswersKept;

Size soundSize(Size s, ProposedViewSize p) {
    const auto fix = [](CGFloat v, std::optional<CGFloat> proposed) {
        if (std::isnan(v) || v < 0) {
            return CGFloat(0);
        }
        if (std::isinf(v)) {
            // Only an infinite proposal may be answered with an infinite size (a flexible
            // view's maximum); anything else takes the offer, or nothing.
            if (proposed && std::isinf(*proposed)) {
                return v;
            }
            return proposed ? soundLength(*proposed, false) : CGFloat(0);
        }
        return v;
    };
    return {fix(s.width, p.width), fix(s.height, p.height)};
}

Rect soundFrame(Rect r) {
    return {soundCoordinate(r.origin.x), soundCoordinate(r.origin.y),
            soundLength(r.size.width, false), soundLength(r.size.height, false)};
}

} // namespace

void invalidateToken(const std::weak_ptr<NodeToken>& token) {
    if (const auto t = token.lock(); t && t->node != nullptr) {
        t->node->markDirty();
    }
}

bool sameView(const AnyView& a, const AnyView& b) {
    if (a.impl() == b.impl()) {
        return true;
    }
    if (!a.impl() || !b.impl()) {
        return false;
    }
    return a.impl()->typeTag() == b.impl()->typeTag() && a.impl()->equals(*b.impl());
}

// ---- Node ----

Node::Node() = default;

Node::~Node() {
    if (token_) {
        token_->node = nullptr;
    }
}

void Node::update(const AnyView& newView, const EnvironmentValues& newEnv) {
    const bool viewChanged = !built || !sameView(view, newView);
    bool directionChanged = false;
    if (!viewChanged && !dirty) {
        if (env.identical(newEnv)) {
            return;
        }
        // Placement mirrors with the layout direction, so its change reaches every node.
        directionChanged = !env.sameValue(&environmentKeyTag<LayoutDirectionKey>, newEnv);
        if (!directionChanged && !dependsOnEnvironmentChange(newEnv)) {
            env = newEnv;
            passEnvironmentDown();
            return;
        }
    }
    const bool envChanged = !built || !(env == newEnv);
    if (!viewChanged && !envChanged && !dirty) {
        return;
    }
    if (viewChanged) {
        view = newView;
    }
    if (envChanged) {
        env = newEnv;
    }
    dirty = false;
    if (graph != nullptr) {
        ++graph->statistics.nodeUpdates;
    }
    rebuild();
    childrenChanged();
    built = true;
    if (((viewChanged || envChanged) && layoutDependsOnView()) || directionChanged) {
        invalidateLayout();
    }
    invalidatePaint();
    invalidatePreferences();
}

bool Node::dependsOnEnvironmentChange(const EnvironmentValues& now) const {
    return !(env == now);
}

void Node::rebuildIfDirty() {
    if (!dirty || !built) {
        return;
    }
    dirty = false;
    rebuild();
    childrenChanged();
    invalidatePaint();
    invalidatePreferences();
}

void Node::markDirty() {
    if (dirty) {
        return;
    }
    dirty = true;
    if (graph != nullptr) {
        graph->markDirty(*this);
    }
}

void Node::removeSubtree() {
    if (!removalWorkBelow_) {
        return;
    }
    forEachChild([](Node& child) { child.removeSubtree(); });
    willRemove();
}

void Node::forEachChild(ChildVisitor) {}

std::unique_ptr<Node> Node::reconcile(std::unique_ptr<Node> existing, const AnyView& v,
                                      const EnvironmentValues& childEnv, bool late) {
    const AnyView& target = v.impl() ? v : AnyView();
    if (existing && existing->view.impl()->typeTag() == target.impl()->typeTag()) {
        existing->update(target, childEnv);
        return existing;
    }
    if (existing) {
        existing->removeSubtree();
        existing.reset();
    }
    childrenChanged();
    std::unique_ptr<Node> node = target.impl()->makeNode();
    node->graph = graph;
    node->parent = this;
    node->depth = depth + 1;
    node->isLateChild = late;
    node->update(target, childEnv);
    if (!late) {
        invalidateLayout();
    }
    return node;
}

Size Node::sizeThatFits(ProposedViewSize proposal) {
    const ProposedViewSize p = proposal.sanitized();
    if (const Size* known = sizeCache_.find(p)) {
        return *known;
    }
    if (graph != nullptr) {
        ++graph->statistics.sizeComputations;
    }
    const Size s = soundSize(computeSize(p), p);
    if (sizeCache_.size() >= kSizeCacheLimit) {
        // The parent may have relied on the answer dropped: a change can no longer be proved
        // harmless to it.
        sizeCache_.eraseFirst();
        answersLost_ = true;
    }
    sizeCache_.push_back({p, s});
    return s;
}

bool Node::hasCachedSize(ProposedViewSize proposal) const {
    return sizeCache_.find(proposal.sanitized()) != nullptr;
}

ViewDimensions Node::dimensions(ProposedViewSize proposal) {
    return ViewDimensions(sizeThatFits(proposal), *this, proposal.sanitized());
}

Point Node::rootOrigin() const {
    Point origin = frame.origin;
    for (const Node* n = parent; n != nullptr; n = n->parent) {
        origin = origin + n->frame.origin;
    }
    return origin;
}

std::optional<Point> Node::placedRootOrigin() const {
    Point origin = frame.origin;
    if (!everPlaced) {
        return std::nullopt;
    }
    for (const Node* n = parent; n != nullptr; n = n->parent) {
        if (!n->everPlaced) {
            return std::nullopt;
        }
        origin = origin + n->frame.origin;
    }
    return origin;
}

void Node::place(Rect f, ProposedViewSize proposal) {
    f = soundFrame(f);
    // Right to left, a parent's layout is mirrored within its bounds: leading is the right edge
    // and a horizontal stack runs from the right.
    if (parent != nullptr && parent->mirrorsChildren() &&
        parent->env.layoutDirection() == LayoutDirection::rightToLeft) {
        f.origin.x = parent->frame.size.width - f.maxX();
    }
    placeAt(f, proposal.sanitized());
}

void Node::placeAt(Rect f, ProposedViewSize p) {
    const bool movedNow = everPlaced && !(frame.origin == f.origin);
    if (placementValid && frame.size == f.size && placedProposal == p) {
        if (movedNow) {
            frame.origin = f.origin;
            moved();
        }
        return;
    }
    if (movedNow) {
        frame.origin = f.origin;
        moved();
    }
    if (!(frame.size == f.size)) {
        // The observer's own proxy changes size (its preferences' walk tells the ones above).
        invalidatePreferences();
    } else if (everPlaced && !(placedProposal == p)) {
        // Its proxy tells the proposal too: a view that fits what it holds to the room offered
        // (a picture narrower than a wider line) sees the room grow at the same size.
        seesChange();
    }
    if (!everPlaced && observerReadsGeometry_) {
        // The observer waited for the node's frame.
        seesChange();
    }
    if (!everPlaced && rootPositionsBelow_) {
        // Texts below published before this node was first placed, when their positions were
        // not known: whether they were placed themselves or not, they publish again.
        frame.origin = f.origin;
        rootPositionsChanged();
    }
    frame = f;
    placedProposal = p;
    placementValid = true;
    everPlaced = true;
    placementDirty = false;
    if (graph != nullptr) {
        ++graph->statistics.placements;
    }
    invalidatePaint();
    placeChildren(p);
}

void Node::placeAgain() {
    placementValid = false;
    placeAt(frame, placedProposal);
}

void Node::moved() {
    if (parent != nullptr) {
        parent->invalidatePaint();
    }
    if (observersBelow_) {
        // Every root frame below changed; the walk goes only where observers are.
        const auto tell = [](Node& n, const auto& self) -> void {
            n.seesChange();
            for (std::size_t i = 0, count = n.childCount(); i < count; ++i) {
                Node* c = n.childAt(i);
                if (c != nullptr && c->observersBelow_) {
                    self(*c, self);
                }
            }
        };
        tell(*this, tell);
    }
    rootPositionsChanged();
}

void Node::rootPositionsChanged() {
    if (!rootPositionsBelow_) {
        return;
    }
    // Preferences below that hold root positions are stale; the walk goes only where such
    // preferences were computed. A node that combines its children's values by runs must be
    // told which children went stale, or it would combine its runs as they were.
    const auto stale = [](Node& n, const auto& self) -> void {
        n.rootPositionsBelow_ = false;
        n.preferencesValid_ = false;
        for (std::size_t i = 0, count = n.childCount(); i < count; ++i) {
            Node* c = n.childAt(i);
            if (c != nullptr && c->rootPositionsBelow_) {
                n.childPreferencesChanged(*c);
                self(*c, self);
            }
        }
    };
    stale(*this, stale);
    seesChange();
    // This node is stale now, and the nodes above still hold its old values.
    if (parent != nullptr) {
        parent->childPreferencesChanged(*this);
        parent->invalidatePreferences();
    }
}

std::optional<CGFloat> Node::explicitGuide(const AlignmentID& guide, Size size,
                                           ProposedViewSize proposal) {
    // Answered from what the node told since its layout was last invalidated, as sizes are: a
    // stack asks each child's baseline several times, and each answer descends the subtree.
    // A length that is not a number is no proposal a key can tell from an unspecified one: such
    // an offer is answered afresh, and the answer is not kept (nor proved unchanged later).
    const bool unsound = (proposal.width && std::isnan(*proposal.width)) ||
                         (proposal.height && std::isnan(*proposal.height));
    const ProposalKey key = ProposalKey::of(proposal);
    for (std::size_t i = 0; !unsound && i < guides_.size(); ++i) {
        const GuideAnswer& a = guides_[i];
        if (a.guide == &guide && a.size == size && a.proposal == key) {
            return a.value;
        }
    }
    const std::optional<CGFloat> value = guideValue(guide, size, proposal);
    if (unsound || guides_.size() >= kSizeCacheLimit) {
        answersLost_ = true;
    } else {
        guides_.push_back({&guide, size, key, value});
    }
    return value;
}

ViewSpacing Node::spacing() {
    // Kept until the layout is invalidated, like sizes: every gap of a stack asks its two
    // neighbours, and each answer descends the subtree.
    if (!spacing_) {
        spacing_ = spacingValue();
    }
    return *spacing_;
}

std::optional<CGFloat> Node::guideValue(const AlignmentID&, Size, ProposedViewSize) {
    return std::nullopt;
}

ViewSpacing Node::spacingValue() {
    return {};
}

const std::any* Node::layoutValue(const void*) const {
    return nullptr;
}

void Node::collectPrefetch(ProposedViewSize, std::vector<std::function<void()>>&) {}

void parallelFor(std::size_t n, const std::function<void(std::size_t)>& body) {
    struct Shared {
        std::atomic<std::size_t> next{0};
        std::size_t done = 0;
        std::exception_ptr error;
        std::mutex mutex;
        std::condition_variable finished;
    };
    auto shared = std::make_shared<Shared>();
    const auto work = [shared, n, &body] {
        std::size_t ran = 0;
        std::exception_ptr error;
        for (std::size_t i = shared->next++; i < n; i = shared->next++) {
            // A failing item still counts as done, so that the caller never waits forever.
            try {
                body(i);
            } catch (...) {
                error = std::current_exception();
            }
            ++ran;
        }
        if (ran > 0) {
            const std::lock_guard lock(shared->mutex);
            shared->done += ran;
            if (error && !shared->error) {
                shared->error = error;
            }
            if (shared->done == n) {
                shared->finished.notify_all();
            }
        }
    };
    // A helper that starts after everything was taken touches nothing but `shared`. The
    // caller works too, so one worker fewer than the pool has keeps a thread for other tasks.
    const unsigned helpers = platform::GlobalExecutor::shared().threadCount() - 1;
    for (unsigned h = 0; h < helpers && h + 1 < n; ++h) {
        platform::GlobalExecutor::shared().enqueue(work);
    }
    work();
    std::unique_lock lock(shared->mutex);
    shared->finished.wait(lock, [&] { return shared->done == n; });
    if (shared->error) {
        std::rethrow_exception(shared->error);
    }
}

void Node::invalidateLayout() {
    if (graph != nullptr && graph->placing) {
        if (!isLateChild && !layoutDirty && !everPlaced && sizeCache_.empty() && guides_.empty() &&
            !spacing_ && !answersLost_) {
            // Made just now, while the tree above is measured or placed: nothing relied on what
            // it answers, and the parent that made it is told next (a document's rows are built
            // while their stack is measured, each of their nodes so, and walking up from each
            // would cost the depth of the row per node).
            placementValid = false;
            ++layoutGeneration;
            layoutInvalidated();
            return;
        }
        // Built while its parent is being placed (geometry readers, overlays of preferences):
        // the late subtree it belongs to is placed right after, measured afresh up to its root.
        Node* n = this;
        for (; n != nullptr; n = n->parent) {
            n->sizeCache_.clear();
            n->guides_.clear();
            n->spacing_.reset();
            n->answersLost_ = true;
            n->placementValid = false;
            ++n->layoutGeneration;
            n->layoutInvalidated();
            if (n->isLateChild) {
                break;
            }
        }
        if (n != nullptr) {
            n->placementInvalidatedBelow();
        }
        return;
    }
    markForVerification();
}

void Node::placementInvalidatedBelow() {
    // Within a subtree brought up to date on its own, nothing is being placed: the nodes up to
    // its root are placed again when it is.
    const Node* const root = graph != nullptr ? graph->detachedRoot : nullptr;
    if (root == nullptr || depth <= root->depth) {
        return;
    }
    const Node* top = this;
    while (top != nullptr && top->depth > root->depth) {
        top = top->parent;
    }
    if (top != root) {
        return; // elsewhere in the tree: a pass places it
    }
    for (Node* n = parent; n != nullptr && n->depth >= root->depth; n = n->parent) {
        n->placementValid = false;
    }
}

void Node::markForVerification() {
    ++layoutGeneration;
    if (!layoutDirty && !everPlaced && sizeCache_.empty() && guides_.empty() && !spacing_ &&
        !answersLost_) {
        // Never measured nor placed (a node just built): nothing relied on what it answers, so
        // there is nothing to verify; whoever asks first gets the new answers.
        placementValid = false;
        layoutInvalidated();
        if (graph != nullptr && !graph->placing) {
            graph->layoutNeeded = true;
            graph->scheduleUpdate();
        }
        return;
    }
    if (!layoutDirty) {
        layoutDirty = true;
        if (!verification_) {
            verification_ = std::make_unique<Verification>();
        }
        Verification& v = *verification_;
        v.sizes.clear();
        sizeCache_.appendTo(v.sizes);
        v.guides.clear();
        for (std::size_t i = 0; i < guides_.size(); ++i) {
            v.guides.push_back(guides_[i]);
        }
        v.spacing = spacing_;
        v.lost = answersLost_;
        if (graph != nullptr) {
            graph->dirtyLayouts.push_back(token());
        }
    } else {
        // Answers given since the last invalidation may have been relied on too.
        if (!verification_) {
            verification_ = std::make_unique<Verification>();
        }
        Verification& v = *verification_;
        sizeCache_.appendTo(v.sizes);
        for (std::size_t i = 0; i < guides_.size(); ++i) {
            v.guides.push_back(guides_[i]);
        }
        if (spacing_ && v.spacing && !(*spacing_ == *v.spacing)) {
            v.lost = true;
        } else if (spacing_) {
            v.spacing = spacing_;
        }
        v.lost = v.lost || answersLost_;
    }
    sizeCache_.clear();
    guides_.clear();
    spacing_.reset();
    answersLost_ = false;
    placementValid = false;
    layoutInvalidated();
    // Queued by a layout pass, the node is settled in that pass.
    if (graph != nullptr && !graph->placing) {
        graph->layoutNeeded = true;
        graph->scheduleUpdate();
    }
}

void Node::invalidateLayoutValues() {
    Node* n = this;
    while (n->parent != nullptr && n->parent->forwardsLayoutValues()) {
        n = n->parent;
    }
    if (n->parent != nullptr) {
        n->parent->childLayoutValuesChanged(*n);
    }
}

void Node::invalidatePlacement() {
    placementValid = false;
    if (graph != nullptr && graph->placing) {
        placementInvalidatedBelow();
        return; // placed in this pass
    }
    if (!placementDirty && !layoutDirty && graph != nullptr) {
        placementDirty = true;
        graph->dirtyLayouts.push_back(token());
    }
    if (graph != nullptr) {
        graph->layoutNeeded = true;
        graph->scheduleUpdate();
    }
}

bool Node::keepsItsAnswers() {
    if (!verification_) {
        return true;
    }
    // Taken out while the node is asked again (which may invalidate it anew), and put back for
    // its room to serve the next time.
    std::unique_ptr<Verification> v = std::move(verification_);
    const bool kept = answersKept(*v);
    if (!verification_) {
        verification_ = std::move(v);
    }
    return kept;
}

bool Node::answersKept(const Verification& v) {
    if (v.lost) {
        return false;
    }
    const bool sizesKept = std::all_of(v.sizes.begin(), v.sizes.end(), [this](const auto& e) {
        return sizeThatFits(e.first) == e.second;
    });
    if (!sizesKept) {
        return false;
    }
    const bool guidesKept =
        std::all_of(v.guides.begin(), v.guides.end(), [this](const GuideAnswer& a) {
            return explicitGuide(*a.guide, a.size, a.proposal.proposal()) == a.value;
        });
    if (!guidesKept) {
        return false;
    }
    return !v.spacing || spacing() == *v.spacing;
}

const PreferenceValues& Node::preferences() {
    if (Node* from = preferencesPassedFrom()) {
        // Valid as the child's are: a change below still walks up through this node.
        preferencesValid_ = true;
        if (!preferences_.empty()) {
            preferences_ = PreferenceValues(); // what it held when it had values of its own
        }
        return from->preferences();
    }
    if (!preferencesValid_) {
        PreferenceValues now;
        computePreferences(now);
        // What did not change stays the very value it was, so that the nodes above (and the
        // observers comparing) see it unchanged at once.
        now.keepUnchanged(preferences_);
        preferences_ = std::move(now);
        preferencesValid_ = true;
    }
    return preferences_;
}

void Node::invalidatePreferences() {
    // An observer last ran with valid preferences below it: a change below it that finds them
    // valid reaches it here; one that stops at invalid ones was preceded by one that did.
    seesChange();
    for (Node* n = this; n != nullptr && n->preferencesValid_; n = n->parent) {
        n->preferencesValid_ = false;
        if (n->parent != nullptr) {
            n->parent->seesChange();
            n->parent->childPreferencesChanged(*n);
        }
    }
}

void Node::childPreferencesChanged(Node& child) {
    if (childPreferences_ && !childPreferences_->all) {
        if (childPreferences_->changed.size() >= childPreferences_->children.size() / 4) {
            childPreferences_->all = true;
            childPreferences_->changed.clear();
        } else {
            childPreferences_->changed.push_back(&child);
        }
    }
}

void Node::observeLayoutChanges(bool readsGeometry) {
    if (observesLayout_ || graph == nullptr) {
        return;
    }
    observesLayout_ = true;
    observerReadsGeometry_ = readsGeometry;
    observerOrder_ = graph->observersRegistered++;
    for (Node* n = this; n != nullptr && !n->observersBelow_; n = n->parent) {
        n->observersBelow_ = true;
    }
    markObserverStale();
}

Rect Node::visibleBounds() const {
    if (graph != nullptr && graph->showingAll) {
        return bounds();
    }
    Rect shown = rootFrame();
    if (graph != nullptr && graph->visibleRect) {
        shown = shown.intersection(*graph->visibleRect);
    }
    for (const Node* n = parent; n != nullptr && !shown.isNull(); n = n->parent) {
        if (n->clipsChildren()) {
            shown = shown.intersection(n->rootFrame());
        }
    }
    if (shown.isNull()) {
        return Rect::null();
    }
    const Point origin = rootOrigin();
    return shown.offsetBy(-origin.x, -origin.y);
}

void Node::observeVisibleRect() {
    if (graph == nullptr) {
        return;
    }
    observeLayoutChanges(true);
    graph->visibleRectObservers.push_back(token());
}

void Node::markObserverStale() {
    observerStale_ = true;
    if (graph != nullptr) {
        graph->staleObservers.push_back(token());
    }
}

void Node::computePreferences(PreferenceValues& out) {
    // Many children: their values are combined by runs of neighbours, the runs by runs of runs,
    // and a change of a few children combines again only the runs that hold them.
    constexpr std::size_t kRun = 16;
    if (!childPreferences_) {
        std::size_t count = 0;
        forEachChild([&](Node& child) {
            out.merge(child.preferences());
            ++count;
        });
        if (graph != nullptr) {
            graph->statistics.preferencesCombined += count;
        }
        if (count < 2 * kRun) {
            return;
        }
        // Many children after all: combined by runs from now on.
        out = PreferenceValues();
        childPreferences_ = std::make_unique<ChildPreferences>();
    }
    ChildPreferences& kept = *childPreferences_;
    const auto take = [&kept](std::size_t i, Node& child) {
        const PreferenceValues& now = child.preferences();
        if (!now.identical(kept.children[i])) {
            kept.children[i] = now;
            kept.levelChanged[0][i / kRun] = true;
        }
    };
    if (!kept.all) {
        for (Node* child : kept.changed) {
            const auto at =
                std::lower_bound(kept.index.begin(), kept.index.end(), child,
                                 [](const std::pair<const Node*, std::size_t>& e, const Node* n) {
                                     return std::less<const Node*>()(e.first, n);
                                 });
            if (at == kept.index.end() || at->first != child) {
                kept.all = true;
                break;
            }
            take(at->second, *child);
        }
    }
    kept.changed.clear();
    if (kept.all) {
        kept.all = false;
        const auto byNode = [](const std::pair<const Node*, std::size_t>& a,
                               const std::pair<const Node*, std::size_t>& b) {
            return std::less<const Node*>()(a.first, b.first);
        };
        std::vector<std::pair<const Node*, std::size_t>> before = std::move(kept.index);
        kept.index.clear();
        std::size_t count = 0;
        forEachChild([&](Node& child) { kept.index.emplace_back(&child, count++); });
        std::sort(kept.index.begin(), kept.index.end(), byNode);
        if (kept.children.size() != count) {
            // Children came or went (rows placed in idle time, say): each child that stays
            // brings its value, and only the runs whose children are not the same ones in the
            // same places are combined again.
            std::vector<PreferenceValues> children(count);
            std::vector<bool> moved(count, true);
            for (const auto& [node, at] : kept.index) {
                const auto was =
                    std::lower_bound(before.begin(), before.end(),
                                     std::pair<const Node*, std::size_t>(node, 0), byNode);
                if (was != before.end() && was->first == node) {
                    children[at] = std::move(kept.children[was->second]);
                    moved[at] = was->second != at;
                }
            }
            kept.children = std::move(children);
            // The runs of each level, up to the one run at the top.
            std::vector<std::size_t> runsOf;
            for (std::size_t below = count; runsOf.empty() || below > 1;) {
                below = (below + kRun - 1) / kRun;
                runsOf.push_back(below);
            }
            if (runsOf.size() != kept.levels.size()) {
                kept.levels.clear();
                kept.levelChanged.clear();
            }
            for (std::size_t level = 0; level < runsOf.size(); ++level) {
                const std::size_t below = runsOf[level];
                if (level == kept.levels.size()) {
                    kept.levels.emplace_back(below);
                    kept.levelChanged.emplace_back(below, true);
                    continue;
                }
                // The last run's extent changes with the count: combined again, and the runs
                // added are new.
                const std::size_t had = kept.levels[level].size();
                kept.levels[level].resize(below);
                kept.levelChanged[level].resize(below, true);
                kept.levelChanged[level][std::min(had, below) - 1] = true;
            }
            for (std::size_t i = 0; i < count; ++i) {
                if (moved[i]) {
                    kept.levelChanged[0][i / kRun] = true;
                }
            }
        }
        std::size_t i = 0;
        forEachChild([&](Node& child) { take(i++, child); });
    }
    std::uint64_t combined = 0;
    for (std::size_t level = 0; level < kept.levels.size(); ++level) {
        const std::vector<PreferenceValues>& below =
            level == 0 ? kept.children : kept.levels[level - 1];
        std::vector<PreferenceValues>& runs = kept.levels[level];
        std::vector<bool>& changed = kept.levelChanged[level];
        for (std::size_t r = 0; r < runs.size(); ++r) {
            if (!changed[r]) {
                continue;
            }
            changed[r] = false;
            PreferenceValues run;
            const std::size_t end = std::min(below.size(), (r + 1) * kRun);
            for (std::size_t k = r * kRun; k < end; ++k) {
                run.merge(below[k]);
            }
            combined += end - r * kRun;
            run.keepUnchanged(runs[r]);
            if (!run.identical(runs[r])) {
                runs[r] = std::move(run);
                if (level + 1 < kept.levels.size()) {
                    kept.levelChanged[level + 1][r / kRun] = true;
                }
            }
        }
    }
    out.merge(kept.levels.back().front());
    if (graph != nullptr) {
        graph->statistics.preferencesCombined += combined + 1;
    }
}

void Node::dependsOnRootPosition() {
    for (Node* n = this; n != nullptr && !n->rootPositionsBelow_; n = n->parent) {
        n->rootPositionsBelow_ = true;
    }
}

void Node::draw(DisplayList& list) {
    for (std::size_t i = 0, count = childCount(); i < count; ++i) {
        if (Node* c = childAt(i)) {
            drawChild(list, *c);
        }
    }
}

void Node::drawChild(DisplayList& list, Node& child) {
    const std::shared_ptr<const RetainedList>& retained = child.retainedList();
    child.drawnIn_ = recordings_;
    list.append(DisplayList::Sublist{retained, child.frame.origin + child.passedOffset_});
}

std::shared_ptr<const DisplayList> Node::displayList() {
    const std::shared_ptr<const RetainedList>& retained = retainedList();
    if (passedOffset_ == Point{0, 0}) {
        return {retained, &retained->list()};
    }
    // The child's list at the place this node draws it, kept in the node's own list (unused
    // while it passes the child's on): drawing an unchanged root again allocates nothing.
    const Rect bounds = retained->bounds().isNull()
                            ? Rect::null()
                            : retained->bounds().offsetBy(passedOffset_.x, passedOffset_.y);
    const auto* kept = ownList_ && ownList_->list().items().size() == 1
                           ? std::get_if<DisplayList::Sublist>(&ownList_->list().items().front())
                           : nullptr;
    if (kept == nullptr || kept->list != retained || !(kept->offset == passedOffset_) ||
        !(ownList_->bounds() == bounds)) {
        if (!ownList_) {
            ownList_ = std::make_shared<RetainedList>();
        }
        DisplayList moved;
        moved.append(DisplayList::Sublist{retained, passedOffset_});
        ownList_->set(std::move(moved));
    }
    return {ownList_, &ownList_->list()};
}

const std::shared_ptr<const RetainedList>& Node::retainedList() {
    if (!drawingValid_) {
        record();
    }
    return retained_;
}

bool Node::record() {
    if (graph != nullptr) {
        ++graph->statistics.recordings;
    }
    ++recordings_;
    // Recorded into room reused from node to node, one list per recording under way (a node
    // records its children while it records itself): most nodes pass a child's list on and
    // keep none, and the others keep theirs at its exact size.
    DisplayList own;
    const ReusedRoom<DisplayList>::Lease lease(graph != nullptr ? &graph->recordingLists : nullptr,
                                               own);
    DisplayList* const list = lease.get();
    list->clear();
    const std::size_t level = graph != nullptr ? graph->recordingsUnderWay.size() : 0;
    if (graph != nullptr) {
        graph->recordingsUnderWay.push_back({this, {}});
    }
    draw(*list);
    std::shared_ptr<const RetainedList> retained;
    Point offset{0, 0};
    // A node that only draws one child (a padding, a frame) passes the child's list on, with
    // the place it draws it at: no list of its own to keep.
    if (list->items().size() == 1) {
        if (const auto* sub = std::get_if<DisplayList::Sublist>(&list->items().front());
            sub != nullptr && sub->list) {
            retained = sub->list;
            offset = sub->offset;
        }
    }
    // Where the drawing changed: between the list kept and the new one where both are this
    // node's own, else all that the one drawn before and the one drawn now cover. A list passed
    // on from a child, still drawn at the same place, tells of its own change.
    const Rect before =
        retained_ ? recordedBounds_.offsetBy(passedOffset_.x, passedOffset_.y) : Rect::null();
    const auto both = [&](Rect now) {
        return before.isNull() ? now : now.isNull() ? before : before.unionWith(now);
    };
    std::vector<Rect> changed;
    if (!retained) {
        if (!ownList_) {
            ownList_ = std::make_shared<RetainedList>();
        }
        if (retained_ == ownList_) {
            changed = DisplayList::difference(ownList_->list(), *list);
        } else {
            changed.push_back(both(list->bounds()));
        }
        ownList_->take(*list);
        retained = ownList_;
    } else if (retained != retained_ || !(offset == passedOffset_)) {
        const Rect bounds = retained->bounds();
        changed.push_back(both(bounds.isNull() ? bounds : bounds.offsetBy(offset.x, offset.y)));
    }
    // Nothing of the subtree's is held past its recording.
    list->clear();
    const Rect bounds = retained->bounds();
    const bool seenAnew =
        retained != retained_ || !(bounds == recordedBounds_) || !(offset == passedOffset_);
    retained_ = std::move(retained);
    recordedBounds_ = bounds;
    passedOffset_ = offset;
    drawingValid_ = true;
    if (graph != nullptr) {
        for (const Rect& r : graph->recordingsUnderWay[level].changed) {
            DisplayList::addChange(changed, r);
        }
        graph->recordingsUnderWay.pop_back();
        reportChange(changed, level);
    }
    return seenAnew;
}

void Node::reportChange(const std::vector<Rect>& changed, std::size_t level) {
    std::vector<ViewGraph::Impl::Recording>& underWay = graph->recordingsUnderWay;
    if (level > 0 && underWay[level - 1].node == parent) {
        // The parent records this node's list as part of its own: it tells for both. One that
        // draws it where it decides has all of its drawing changed already.
        if (!parent->drawsChildrenByValue()) {
            for (const Rect& r : changed) {
                if (!r.isNull()) {
                    DisplayList::addChange(underWay[level - 1].changed,
                                           r.offsetBy(frame.origin.x, frame.origin.y));
                }
            }
        }
        return;
    }
    // Recorded again in place: the lists above, unchanged, draw it where the frames put it, and
    // a node drawing its children where it decides draws it anywhere in its own drawing.
    for (Rect r : changed) {
        if (r.isNull()) {
            continue;
        }
        for (const Node* n = this; n->parent != nullptr; n = n->parent) {
            r = n->parent->drawsChildrenByValue()
                    ? n->parent->drawnArea()
                    : r.offsetBy(n->frame.origin.x, n->frame.origin.y);
        }
        graph->addDamage(r);
    }
}

void Node::invalidatePaint() {
    for (Node* n = this; n != nullptr && n->hitBoundsValid_; n = n->parent) {
        n->hitBoundsValid_ = false;
    }
    invalidateDrawing();
}

void Node::invalidateDrawing() {
    if (!drawingValid_) {
        return;
    }
    drawingValid_ = false;
    if (parent == nullptr || graph == nullptr) {
        return;
    }
    if (parent->drawsChildrenByValue()) {
        parent->invalidateDrawing();
        return;
    }
    // Not drawn by the parent (its list is recorded again, or it leaves this node out): drawn
    // again when the parent is.
    if (drawnByParent()) {
        graph->changedDrawings.push_back(token());
    }
}

Rect Node::hitBounds() {
    if (hitBoundsValid_) {
        return hit_ ? hit_->bounds : bounds();
    }
    hitBoundsValid_ = true;
    const std::size_t count = childCount();
    if (count == 0) {
        // A leaf holds what its frame holds: nothing to keep.
        hit_.reset();
        return bounds();
    }
    if (!hit_) {
        hit_ = std::make_unique<HitRects>();
    }
    HitRects& h = *hit_;
    Rect r = bounds();
    h.children.resize(count);
    h.inOrder = true;
    for (std::size_t i = 0; i < count; ++i) {
        Node* c = childAt(i);
        Rect b = c != nullptr ? c->hitBounds() : Rect::null();
        if (!b.isNull()) {
            b = b.offsetBy(c->frame.origin.x, c->frame.origin.y);
            r = r.unionWith(b);
        }
        h.children[i] = b;
        if (i > 0) {
            const Rect& before = h.children[i - 1];
            h.inOrder = h.inOrder && !b.isNull() && !before.isNull() && before.maxY() <= b.minY();
        }
    }
    h.bounds = r;
    return r;
}

void Node::collectHandlers(Point point, std::vector<Node*>& out) {
    collectChildHandlers(point, out);
}

void Node::collectChildHandlers(Point point, std::vector<Node*>& out) {
    hitBounds();
    if (!hit_) {
        return;
    }
    const std::vector<Rect>& rects = hit_->children;
    std::size_t end = rects.size();
    if (hit_->inOrder && end > 8) {
        // Children that run down the page without overlapping: only the one whose rows hold
        // the point can.
        const auto below = std::upper_bound(rects.begin(), rects.end(), point.y,
                                            [](CGFloat y, const Rect& r) { return y < r.maxY(); });
        end = std::min<std::size_t>(std::size_t(below - rects.begin()) + 1, end);
        const std::size_t begin = end > 0 ? end - 1 : 0;
        for (std::size_t i = end; i > begin; --i) {
            visitChild(i - 1, point, out);
        }
        return;
    }
    for (std::size_t i = end; i > 0; --i) {
        visitChild(i - 1, point, out);
    }
}

void Node::visitChild(std::size_t index, Point point, std::vector<Node*>& out) {
    if (!hit_->children[index].contains(point)) {
        return;
    }
    Node* c = childAt(index);
    if (graph != nullptr) {
        ++graph->statistics.hitTestVisits;
    }
    c->collectHandlers(point - c->frame.origin, out);
}

// ---- SingleChildNode ----

void SingleChildNode::forEachChild(ChildVisitor f) {
    if (child) {
        f(*child);
    }
}

std::optional<CGFloat> SingleChildNode::guideValue(const AlignmentID& g, Size size,
                                                   ProposedViewSize p) {
    return child ? child->explicitGuide(g, size, p) : std::nullopt;
}

ViewSpacing SingleChildNode::spacingValue() {
    return child ? child->spacing() : ViewSpacing{};
}

const std::any* SingleChildNode::layoutValue(const void* tag) const {
    return child ? child->layoutValue(tag) : nullptr;
}

void SingleChildNode::collectPrefetch(ProposedViewSize p,
                                      std::vector<std::function<void()>>& jobs) {
    if (child) {
        child->collectPrefetch(p, jobs);
    }
}

Size SingleChildNode::computeSize(ProposedViewSize proposal) {
    return child ? child->sizeThatFits(proposal) : Size{};
}

void SingleChildNode::placeChildren(ProposedViewSize proposal) {
    if (child) {
        child->place(bounds(), proposal);
    }
}

// ---- BodyNode ----

std::unique_ptr<Node> BodyViewImpl::makeNode() const {
    return std::make_unique<BodyNode>();
}

namespace {
void observedChange(const std::weak_ptr<NodeToken>& token) {
    if (platform::isMainThread()) {
        invalidateToken(token);
    } else {
        platform::MainExecutor::shared().enqueue([token] { invalidateToken(token); });
    }
}
} // namespace

void BodyNode::rebuild() {
    nextSlot_ = 0;
    AnyView result;
    const auto& impl = static_cast<const BodyViewImpl&>(*view.impl());
    if (graph != nullptr) {
        ++graph->statistics.bodyEvaluations;
    }
    // The keys the body reads are recorded, so that a change of another key passes it by. They
    // are recorded into room reused from body to body (one list per evaluation under way), and
    // kept at their exact size: a list grown key by key would allocate several times per body.
    EnvironmentReads own;
    const ReusedRoom<EnvironmentReads>::Lease lease(
        graph != nullptr ? &graph->readsRecorded : nullptr, own);
    EnvironmentReads* const reads = lease.get();
    reads->clear();
    EnvironmentReads*& recording = currentEnvironmentReads();
    EnvironmentReads* const outer = std::exchange(recording, reads);
    try {
        // Most bodies read no observable model: they keep no tracking and need no weak handle.
        tracking_ = platform::trackObservationLazily(
            [&] { result = impl.body(*this); },
            [this] {
                return [weak = std::weak_ptr<NodeToken>(Node::token())] { observedChange(weak); };
            });
    } catch (...) {
        recording = outer;
        throw;
    }
    recording = outer;
    if (reads->keys.empty()) {
        readKeys_.reset();
    } else if (!readKeys_ || *readKeys_ != reads->keys) {
        readKeys_ = sharedReadKeys(reads->keys);
    }
    readsAll_ = reads->all;
    child = reconcile(std::move(child), result, env);
}

std::shared_ptr<const std::vector<const void*>>
BodyNode::sharedReadKeys(const std::vector<const void*>& keys) const {
    if (graph == nullptr) {
        return std::make_shared<const std::vector<const void*>>(keys);
    }
    auto& recent = graph->recentReadKeys;
    for (const auto& list : recent) {
        if (list && *list == keys) {
            return list;
        }
    }
    auto made = std::make_shared<const std::vector<const void*>>(keys);
    recent[graph->nextReadKeys] = made;
    graph->nextReadKeys = (graph->nextReadKeys + 1) % recent.size();
    return made;
}

bool BodyNode::dependsOnEnvironmentChange(const EnvironmentValues& now) const {
    if (readsAll_) {
        return !(env == now);
    }
    return readKeys_ && std::any_of(readKeys_->begin(), readKeys_->end(),
                                    [&](const void* key) { return !env.sameValue(key, now); });
}

void BodyNode::passEnvironmentDown() {
    if (child) {
        child->update(child->view, env);
    }
}

ViewContext::StateSlot& BodyNode::nextSlot() {
    if (nextSlot_ >= slots_.size()) {
        if (slots_.empty()) {
            // Most bodies that keep state keep two values: one allocation for both.
            slots_.reserve(2);
        }
        slots_.resize(nextSlot_ + 1);
        slots_.back().position = nextSlot_;
    }
    return slots_[nextSlot_++];
}

// ---- Containers ----

void ContainerNode::forEachChild(ChildVisitor f) {
    for (Child& c : children) {
        f(*c.node);
    }
}

bool ContainerNode::reconcileChildren(const std::vector<FlatChild>& flat,
                                      const EnvironmentValues& childEnv) {
    bool sameKeys = flat.size() == children.size();
    for (std::size_t i = 0; sameKeys && i < flat.size(); ++i) {
        sameKeys = flat[i].key == children[i].key;
    }
    bool changed = !sameKeys;
    if (sameKeys) {
        for (std::size_t i = 0; i < flat.size(); ++i) {
            Node* before = children[i].node.get();
            children[i].node = reconcile(std::move(children[i].node), flat[i].view, childEnv);
            changed = changed || before != children[i].node.get();
        }
    } else {
        std::unordered_map<ViewID, std::unique_ptr<Node>> old;
        for (Child& c : children) {
            if (!old.emplace(c.key, std::move(c.node)).second) {
                c.node->removeSubtree();
            }
        }
        children.clear();
        for (const FlatChild& f : flat) {
            std::unique_ptr<Node> existing;
            if (auto it = old.find(f.key); it != old.end()) {
                existing = std::move(it->second);
                old.erase(it);
            }
            children.push_back({f.key, reconcile(std::move(existing), f.view, childEnv)});
        }
        for (auto& [key, node] : old) {
            node->removeSubtree();
        }
    }
    if (changed) {
        subviews.clear();
        for (Child& c : children) {
            subviews.emplace_back(*c.node);
        }
    }
    return changed;
}

namespace {
struct LazyLayoutViewTag {};
} // namespace

const void* LayoutViewImpl::typeTag() const {
    // A lazy stack and an ordinary container never share a node.
    return lazy ? &detail::typeTag<LazyLayoutViewTag> : &detail::typeTag<LayoutViewImpl>;
}

bool LayoutViewImpl::equals(const ViewImpl& other) const {
    const auto& o = static_cast<const LayoutViewImpl&>(other);
    if (!(layout == o.layout || (layout && o.layout && layout->equals(*o.layout))) ||
        axis != o.axis || isGridRow != o.isGridRow || rowAlignment != o.rowAlignment ||
        children.size() != o.children.size()) {
        return false;
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (!sameView(children[i], o.children[i])) {
            return false;
        }
    }
    return true;
}

std::unique_ptr<Node> LayoutViewImpl::makeNode() const {
    if (lazy) {
        return makeLazyStackNode();
    }
    return std::make_unique<LayoutNode>();
}

const EnvironmentValues& LayoutNode::childEnvironment() {
    if (!childEnvMade_ || !childEnvFrom_.identical(env) || childEnvAxis_ != axis) {
        childEnvMade_ = true;
        childEnvFrom_ = env;
        childEnvAxis_ = axis;
        childEnv_ = env;
        if (childEnv_.get<StackAxisKey>() != axis) {
            childEnv_.set<StackAxisKey>(axis);
        }
    }
    return childEnv_;
}

void LayoutNode::passEnvironmentDown() {
    const EnvironmentValues& childEnv = childEnvironment();
    for (Child& c : children) {
        c.node->update(c.node->view, childEnv);
    }
}

void LayoutNode::rebuild() {
    const auto& impl = static_cast<const LayoutViewImpl&>(*view.impl());
    const bool layoutChanged =
        !layout || !(layout == impl.layout || (impl.layout && layout->equals(*impl.layout)));
    layout = impl.layout;
    axis = impl.axis;
    std::vector<FlatChild> flat;
    flat.reserve(impl.children.size());
    for (std::size_t i = 0; i < impl.children.size(); ++i) {
        const AnyView& c = impl.children[i];
        c.impl()->flatten(c, ViewID(static_cast<std::int64_t>(i)), flat);
    }
    const bool changed = reconcileChildren(flat, childEnvironment());
    if (changed || layoutChanged) {
        invalidateLayout();
    }
}

void LayoutNode::refreshCache() {
    if (cacheStale_) {
        cacheStale_ = false;
        layout->updateCache(cache, subviews);
    }
}

Size LayoutNode::computeSize(ProposedViewSize proposal) {
    // Text is most of the cost of a long stack, and each text lays out on its own: do it on
    // several threads before the layout asks for sizes one by one.
    constexpr std::size_t kParallelThreshold = 32;
    if (subviews.size() >= kParallelThreshold) {
        if (const auto expected = layout->expectedSubviewProposal(proposal)) {
            std::vector<std::function<void()>> jobs;
            for (Child& c : children) {
                if (!c.node->hasCachedSize(*expected)) {
                    c.node->collectPrefetch(*expected, jobs);
                }
            }
            if (jobs.size() >= kParallelThreshold) {
                parallelFor(jobs.size(), [&jobs](std::size_t i) { jobs[i](); });
            }
        }
    }
    refreshCache();
    return layout->sizeThatFits(proposal, subviews, cache);
}

void LayoutNode::placeChildren(ProposedViewSize proposal) {
    refreshCache();
    layout->placeSubviews(bounds(), proposal, subviews, cache);
}

std::optional<CGFloat> LayoutNode::guideValue(const AlignmentID& g, Size size, ProposedViewSize p) {
    refreshCache();
    return layout->explicitAlignment(g, Rect({0, 0}, size), p, subviews, cache);
}

ViewSpacing LayoutNode::spacingValue() {
    refreshCache();
    return layout->spacing(subviews, cache);
}

} // namespace platform::ui::detail
