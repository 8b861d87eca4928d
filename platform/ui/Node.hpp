#pragma once

// Engine internals (not part of the public interface): the persistent node tree. A node exists
// per structural identity and keeps the view it was last built from, its environment, its
// state, its layout cache, its frame and its preference values.

#include "platform/observation/ObservationTracking.hpp"
#include "platform/ui/DisplayList.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/ViewGraph.hpp"

#include <any>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace platform::ui::detail {

class Node;

/// A callable handed to a walk over children, kept alive by the caller for the walk: walks
/// over tens of thousands of nodes allocate nothing and copy nothing.
class ChildVisitor {
public:
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, ChildVisitor> &&
             std::is_invocable_v<F&, Node&>)
        // NOLINTNEXTLINE(bugprone-forwarding-reference-overload): the callable outlives the walk.
        ChildVisitor(F&& f) // NOLINT(google-explicit-constructor)
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f))))
        , call_([](void* object, Node& node) {
            (*static_cast<std::remove_reference_t<F>*>(object))(node);
        }) {}
    void operator()(Node& node) const { call_(object_, node); }

private:
    void* object_;
    void (*call_)(void*, Node&);
};

/// A weak handle on a node: state boxes and observers hold it, the node clears it when it goes.
class NodeToken {
public:
    Node* node = nullptr;
};

/// How many answers of each kind (sizes, guides) a node keeps for its parent.
inline constexpr std::size_t kAnswersKept = 8;

/// A sanitized proposal kept as two lengths, NaN for an unspecified one (a sanitized proposal
/// holds no NaN): half the room of the proposal itself, for tens of thousands of nodes.
struct ProposalKey {
    CGFloat width = 0;
    CGFloat height = 0;
    static ProposalKey of(const ProposedViewSize& p) {
        constexpr CGFloat none = std::numeric_limits<CGFloat>::quiet_NaN();
        return {p.width.value_or(none), p.height.value_or(none)};
    }
    ProposedViewSize proposal() const {
        const auto length = [](CGFloat v) {
            return std::isnan(v) ? std::nullopt : std::optional<CGFloat>(v);
        };
        return {length(width), length(height)};
    }
    friend bool operator==(const ProposalKey& a, const ProposalKey& b) {
        const auto same = [](CGFloat x, CGFloat y) {
            return x == y || (std::isnan(x) && std::isnan(y));
        };
        return same(a.width, b.width) && same(a.height, b.height);
    }
};

/// Up to `Max` answers, oldest first. Most nodes are asked a few times only: the first `Inline`
/// are kept in place, and a node asked more keeps the rest on the heap (kept for reuse when the
/// answers are dropped).
template <class T, std::size_t Inline, std::size_t Max>
class AnswerLog {
public:
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const T& operator[](std::size_t i) const { return i < Inline ? inline_[i] : more_[i - Inline]; }
    /// Adds `value` (the log holds fewer than `Max`).
    void push_back(const T& value) {
        if (count_ < Inline) {
            inline_[count_] = value;
        } else {
            if (!more_) {
                more_ = std::make_unique<T[]>(Max - Inline);
            }
            more_[count_ - Inline] = value;
        }
        ++count_;
    }
    void eraseFirst() {
        for (std::size_t i = 1; i < count_; ++i) {
            at(i - 1) = at(i);
        }
        if (count_ > 0) {
            --count_;
        }
    }
    void clear() { count_ = 0; }

private:
    T& at(std::size_t i) { return i < Inline ? inline_[i] : more_[i - Inline]; }
    std::array<T, Inline> inline_{};
    /// Room for the answers past the first `Inline`, made when the first of them comes.
    std::unique_ptr<T[]> more_;
    std::uint8_t count_ = 0;
    static_assert(Inline < Max && Max < 256);
};

/// The sizes a node answered, oldest first.
class SizeAnswers {
public:
    using Entry = std::pair<ProposedViewSize, Size>;
    /// The answer given to `p` (sanitized), if any.
    const Size* find(const ProposedViewSize& p) const {
        const ProposalKey key = ProposalKey::of(p);
        for (std::size_t i = 0; i < log_.size(); ++i) {
            if (log_[i].proposal == key) {
                return &log_[i].size;
            }
        }
        return nullptr;
    }
    std::size_t size() const { return log_.size(); }
    bool empty() const { return log_.empty(); }
    /// Appends the answers, oldest first, to `out`.
    void appendTo(std::vector<Entry>& out) const {
        for (std::size_t i = 0; i < log_.size(); ++i) {
            out.emplace_back(log_[i].proposal.proposal(), log_[i].size);
        }
    }
    void push_back(const Entry& entry) {
        log_.push_back({ProposalKey::of(entry.first), entry.second});
    }
    void eraseFirst() { log_.eraseFirst(); }
    void clear() { log_.clear(); }

private:
    struct Answer {
        ProposalKey proposal;
        Size size;
    };
    AnswerLog<Answer, 3, kAnswersKept> log_;
};

class Node {
public:
    Node();
    virtual ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    ViewGraph::Impl* graph = nullptr;
    Node* parent = nullptr;
    /// Built during its parent's placement (geometry readers, preference overlays): its layout
    /// changes do not reach the parent's size.
    bool isLateChild = false;
    int depth = 0;
    /// Where the node stands among its parent's children (kept by containers that need it).
    std::size_t indexInParent = 0;
    AnyView view;
    EnvironmentValues env;
    /// The node's weak handle, made when first asked for: most nodes are never referred to
    /// weakly (queued, observed or holding state), and a long document has tens of thousands.
    const std::shared_ptr<NodeToken>& token() const {
        if (!token_) {
            token_ = std::make_shared<NodeToken>();
            token_->node = const_cast<Node*>(this);
        }
        return token_;
    }

    // ---- Building ----
    /// Brings the node up to `view` in `env`; skips the work when both are unchanged and the
    /// node is not dirty.
    void update(const AnyView& newView, const EnvironmentValues& env);
    /// Re-evaluates a dirty node with its current view and environment.
    void rebuildIfDirty();
    void markDirty();
    /// Whether a new environment, the view being unchanged, needs this node evaluated again.
    /// By default whenever a value differs; nodes that know what they read say less.
    virtual bool dependsOnEnvironmentChange(const EnvironmentValues& now) const;
    /// Hands the environment just taken (without evaluating this node again) to the children.
    virtual void passEnvironmentDown() {}
    /// Runs disappearance work for the whole subtree before the node is dropped; visits only
    /// the nodes that have some.
    void removeSubtree();
    /// The node has work to do when it goes (a disappearance action, a task to cancel): the
    /// removal of a subtree that holds it visits it. Most subtrees have none and are dropped
    /// without a walk.
    void hasRemovalWork() {
        for (Node* n = this; n != nullptr && !n->removalWorkBelow_; n = n->parent) {
            n->removalWorkBelow_ = true;
        }
    }
    virtual void forEachChild(ChildVisitor f);

    /// The children in drawing order (back to front), by index: walks that must not allocate.
    virtual std::size_t childCount() const { return 0; }
    virtual Node* childAt(std::size_t) const { return nullptr; }

    // ---- Layout ----
    // Frames are relative to the parent's top-leading corner, so moving a node moves one frame.
    // A node whose answers to its parent (sizes, guides, spacing) survive a change below it is a
    // relayout boundary: it is placed again in its frame and the change goes no higher.
    Size sizeThatFits(ProposedViewSize proposal);
    bool hasCachedSize(ProposedViewSize proposal) const;
    ViewDimensions dimensions(ProposedViewSize proposal);
    /// Places the node at `frame` (in its parent's coordinates) for `proposal`.
    void place(Rect frame, ProposedViewSize proposal);
    /// The explicit value of `guide` (recorded: the parent relies on it).
    std::optional<CGFloat> explicitGuide(const AlignmentID& guide, Size size,
                                         ProposedViewSize proposal);
    /// The spacing this node wants (recorded: the parent relies on it).
    ViewSpacing spacing();
    virtual const std::any* layoutValue(const void* tag) const;
    /// Whether layout values of the child are this node's own (modifiers, bodies).
    virtual bool forwardsLayoutValues() const { return false; }
    /// Work that sizing this node for `proposal` will need and that may run on another thread
    /// beforehand (text layout). Jobs touch only their own node.
    virtual void collectPrefetch(ProposedViewSize proposal,
                                 std::vector<std::function<void()>>& jobs);
    /// Something this node's size depends on changed: it is measured again in the next pass.
    void invalidateLayout();
    /// Queues the node for the next pass, keeping what it told its parent so far.
    void markForVerification();
    /// A layout value of this node changed: the container reading it lays out again.
    void invalidateLayoutValues();
    /// Called on each node whose layout is invalidated.
    virtual void layoutInvalidated() {}
    /// A child no longer gives the answers it gave (the node is verified next): containers that
    /// keep per-child measures drop that child's.
    virtual void childLayoutChanged(Node& /*child*/) {}
    /// A layout value of `child` changed.
    virtual void childLayoutValuesChanged(Node& /*child*/) { invalidateLayout(); }
    /// Whether the node's parent relied on answers it gave since its layout was invalidated
    /// (a node measured but never placed must still report their change).
    bool answeredParent() const {
        return verification_ && (!verification_->sizes.empty() || !verification_->guides.empty() ||
                                 verification_->spacing || verification_->lost);
    }
    /// The node must be placed again (its size is unchanged): scrolling.
    void invalidatePlacement();
    /// In a layout pass: whether the node still gives its parent the answers it gave before its
    /// layout was invalidated.
    bool keepsItsAnswers();
    /// Places the children again in the node's current frame.
    void placeAgain();
    /// For nodes observing layout changes (`observeLayoutChanges`): runs after the passes that
    /// changed what they see.
    virtual void afterLayout() {}
    /// Registers the node to run `afterLayout` after the passes in which what it can see
    /// changed: the node itself, its preferences, its size or the position of it or of an
    /// ancestor. A pass that changes none of these does not visit it. An observer that reads
    /// the node's geometry (`readsGeometry`) is not run before the node's first placement:
    /// a node measured and not placed (a lazy stack's row out of view) has no frame yet, and
    /// what the observer made of a zero frame would be laid out as if it were the node's own.
    /// It runs once the node is placed.
    void observeLayoutChanges(bool readsGeometry = false);
    std::uint64_t observerOrder() const { return observerOrder_; }
    /// Whether the observer waits for the node's first placement before it runs.
    bool observerWaitsForPlacement() const { return observerReadsGeometry_ && !everPlaced; }
    /// The observer is about to see what changed.
    void observerRuns() { observerStale_ = false; }
    /// Queues this observer for the end of the next layout pass.
    void seesChange() {
        if (observesLayout_ && !observerStale_) {
            markObserverStale();
        }
    }
    /// The frame in the parent's coordinates.
    Rect frame;
    ProposedViewSize placedProposal;
    bool placementValid = false;
    bool everPlaced = false;
    /// Waiting for its body or children to be evaluated again; evaluated at least once.
    bool dirty = false;
    bool built = false;
    /// Waiting in the graph's list of nodes to lay out or place again.
    bool layoutDirty = false;
    bool placementDirty = false;
    /// Counts the times the node's answers to its parent were dropped (its layout invalidated):
    /// a container that brings a child up to date on its own sees whether the child's size may
    /// have changed.
    std::uint64_t layoutGeneration = 0;
    Rect bounds() const { return Rect({0, 0}, frame.size); }
    Point rootOrigin() const;
    Rect rootFrame() const { return Rect(rootOrigin(), frame.size); }
    /// The root origin where the node and every node above it have been placed; none where one
    /// of them has only been measured (a lazy stack's row out of view), whose frame is not known.
    std::optional<Point> placedRootOrigin() const;
    /// For a placed node whose content runs in lines (a text): the UTF-16 offset where the line
    /// at `y` (the node's coordinates) starts, the first line below `y` between two lines.
    /// Kept over a new width, it tells where that line is then (`lineTop`).
    virtual std::optional<std::size_t> lineAt(CGFloat /*y*/) { return std::nullopt; }
    /// Where the line holding the character at `offset` starts now (the node's coordinates).
    virtual std::optional<CGFloat> lineTop(std::size_t /*offset*/) { return std::nullopt; }

    // ---- Preferences ----
    const PreferenceValues& preferences();
    void invalidatePreferences();
    /// Children may have come, gone or changed places: the next computation of the preferences
    /// reads every child again.
    void childrenChanged() {
        if (childPreferences_) {
            childPreferences_->all = true;
        }
    }
    /// This node's preferences hold root positions (anchors): they change when any ancestor
    /// moves.
    void dependsOnRootPosition();

    // ---- Drawing and input ----
    /// Records the node's drawing in its own coordinates; children through `drawChild`.
    virtual void draw(DisplayList& list);
    /// Refers to the child's retained drawing (not a copy of it): the child records again in
    /// place when its drawing changes, and this node's list draws the new one.
    void drawChild(DisplayList& list, Node& child);
    /// The retained drawing of the subtree, as it is now (recorded first if it changed); the
    /// list is replaced in place when the subtree records again, so callers that keep it copy it.
    std::shared_ptr<const DisplayList> displayList();
    /// Where the subtree keeps its drawing (recorded first if it changed): what the parent's
    /// list refers to.
    const std::shared_ptr<const RetainedList>& retainedList();
    /// The node's drawing changed, and perhaps its hit bounds: drops those of this node's
    /// ancestors too, and the node records its drawing again before the next draw.
    void invalidatePaint();
    /// Only the node's own drawing changed: it records again before the next draw, and the
    /// lists above, which refer to its retained list, are not recorded again (unless its bounds
    /// changed).
    void invalidateDrawing();
    bool drawingValid() const { return drawingValid_; }
    /// Whether the parent's current list refers to this node's drawing.
    bool drawnByParent() const {
        return parent != nullptr && parent->drawingValid_ && drawnIn_ == parent->recordings_;
    }
    /// Records the drawing again into the retained list; returns whether the lists that refer to
    /// it must be recorded again too (the drawing is kept elsewhere now, or its bounds changed).
    bool record();
    /// Whether the node draws its children's lists where it decides when drawn (not through
    /// `drawChild`, at their frames): a change of a child's drawing records the node again, and
    /// a change anywhere below counts for the whole of the node's drawing.
    virtual bool drawsChildrenByValue() const { return false; }
    /// The rectangle, in the node's coordinates, that holds the subtree.
    Rect hitBounds();
    /// Appends the nodes under `point` (in this node's coordinates) that take events,
    /// front-most first; visits only the subtrees whose bounds hold the point.
    virtual void collectHandlers(Point point, std::vector<Node*>& out);
    /// Hit-tests the children, front-most first.
    void collectChildHandlers(Point point, std::vector<Node*>& out);
    virtual const std::string* coordinateSpaceName() const { return nullptr; }
    /// Whether right-to-left environments mirror where this node places its children (not for
    /// canvases, which place their symbols themselves).
    virtual bool mirrorsChildren() const { return true; }
    GeometryProxy proxy() const { return GeometryProxy(rootFrame(), this); }
    /// Whether the node shows its children only within its bounds (scroll views, clip shapes).
    virtual bool clipsChildren() const { return false; }
    /// The part of the node's bounds the host shows, in the node's own coordinates: the
    /// graph's visible rectangle cut by the bounds of every ancestor that clips; all of its
    /// bounds while everything deferred is laid out (`LayOutDeferredAction`); null when none
    /// of it is shown.
    Rect visibleBounds() const;
    /// Runs `afterLayout` (see `observeLayoutChanges`) after a change of the visible rectangle
    /// too, not only of the node's own geometry.
    void observeVisibleRect();

    /// Makes a child node for `v` (or reuses `existing` when its type matches).
    std::unique_ptr<Node> reconcile(std::unique_ptr<Node> existing, const AnyView& v,
                                    const EnvironmentValues& env, bool late = false);

protected:
    virtual void rebuild() = 0;
    /// Whether the last update's view/environment change needs a new layout of this node.
    virtual bool layoutDependsOnView() const { return false; }
    virtual Size computeSize(ProposedViewSize proposal) = 0;
    virtual void placeChildren(ProposedViewSize proposal) = 0;
    virtual std::optional<CGFloat> guideValue(const AlignmentID& guide, Size size,
                                              ProposedViewSize proposal);
    virtual ViewSpacing spacingValue();
    virtual void computePreferences(PreferenceValues& out);
    /// The child whose preferences are this node's as they are (its only child, nothing set or
    /// transformed here): they are read through, neither combined nor kept again. Most nodes of
    /// a document (bodies, modifiers of layout or environment) pass their child's on.
    virtual Node* preferencesPassedFrom() { return nullptr; }
    virtual void willRemove() {}

private:
    mutable std::shared_ptr<NodeToken> token_;
    /// Tells where the drawing changed, `changed` in this node's coordinates: to the parent if
    /// it is recording (it tells on), else to the graph in root coordinates.
    void reportChange(const std::vector<Rect>& changed, std::size_t level);
    /// Where the node's drawing lies as its parent last saw it, in its own coordinates.
    Rect drawnArea() const {
        return recordedBounds_.isNull()
                   ? bounds()
                   : recordedBounds_.offsetBy(passedOffset_.x, passedOffset_.y).unionWith(bounds());
    }
    /// Places at `frame`, already mirrored.
    void placeAt(Rect frame, ProposedViewSize proposal);
    /// The node must be placed again while the graph brings a subtree up to date on its own:
    /// the nodes above it in that subtree are placed again too.
    void placementInvalidatedBelow();
    /// The frame moved (its size did not): root positions below change.
    void moved();
    /// Preferences below that hold root positions are stale, and so are this node's own and
    /// those above it.
    void rootPositionsChanged();
    void markObserverStale();
    /// `child` (valid until now) holds new preferences: the next computation reads it again.
    void childPreferencesChanged(Node& child);
    /// Observers run in the order they were registered.
    std::uint64_t observerOrder_ = 0;
    /// Hit-tests child `index` if its bounds hold `point` (in this node's coordinates).
    void visitChild(std::size_t index, Point point, std::vector<Node*>& out);

    struct GuideAnswer {
        const AlignmentID* guide = nullptr;
        Size size;
        ProposalKey proposal;
        std::optional<CGFloat> value;
    };
    /// What the parent was told before the layout was invalidated: to be checked against the
    /// new answers. Made the first time the node waits in the graph's list (most nodes of a
    /// document never do), its room reused after.
    struct Verification {
        std::vector<std::pair<ProposedViewSize, Size>> sizes;
        std::vector<GuideAnswer> guides;
        std::optional<ViewSpacing> spacing;
        bool lost = false;
    };
    /// What the parent was told since the last invalidation.
    SizeAnswers sizeCache_;
    AnswerLog<GuideAnswer, 2, kAnswersKept> guides_;
    std::optional<ViewSpacing> spacing_;
    std::unique_ptr<Verification> verification_;
    bool answersKept(const Verification& v);

    PreferenceValues preferences_;
    /// For a node of many children: what each gave at the last computation, and their values
    /// combined by runs of neighbours, the runs by runs of runs and so on up to one value, so
    /// that a change of one child combines again only the runs that hold it.
    struct ChildPreferences {
        std::vector<PreferenceValues> children;
        /// `levels[0]` combines runs of children, each next level runs of the one below; the
        /// last holds one value.
        std::vector<std::vector<PreferenceValues>> levels;
        std::vector<std::vector<bool>> levelChanged;
        /// Where each child stands, as of the last time they were all read: sorted by node,
        /// made in one allocation when they are all read again.
        std::vector<std::pair<const Node*, std::size_t>> index;
        /// Children whose values may have changed since; when `all`, every child is read again.
        std::vector<Node*> changed;
        bool all = true;
    };
    std::unique_ptr<ChildPreferences> childPreferences_;

    /// What the parent refers to: `ownList_`, or the list of a child this node only passes on
    /// (one child drawn where it lies).
    std::shared_ptr<const RetainedList> retained_;
    std::shared_ptr<RetainedList> ownList_;
    /// Where, in this node's coordinates, the list passed on from a child is drawn.
    Point passedOffset_{0, 0};
    /// The bounds of the drawing when the parent last saw it.
    Rect recordedBounds_ = Rect::null();
    /// Counts the node's recordings; `drawnIn_` is the parent's recording that referred to it.
    std::uint32_t recordings_ = 0;
    std::uint32_t drawnIn_ = 0;
    /// For a node with children, made when a point is first tested in it: the rectangle that
    /// holds the subtree, the children's hit bounds in this node's coordinates side by side in
    /// memory (a long stack is searched without touching its children), and whether they run
    /// down the page in order (then a search halves them). A leaf holds what its frame holds.
    struct HitRects {
        Rect bounds;
        std::vector<Rect> children;
        bool inOrder = false;
    };
    std::unique_ptr<HitRects> hit_;

    // The flags side by side (a long document has tens of thousands of nodes).
    /// The node or one below it observes layout changes.
    bool observersBelow_ = false;
    /// The node or one below it has work to do when it goes.
    bool removalWorkBelow_ = false;
    bool observesLayout_ = false;
    bool observerStale_ = false;
    bool observerReadsGeometry_ = false;
    /// An answer the parent may have relied on was dropped: a change can no longer be proved
    /// harmless to it.
    bool answersLost_ = false;
    bool preferencesValid_ = false;
    bool rootPositionsBelow_ = false;
    bool drawingValid_ = false;
    bool hitBoundsValid_ = false;
};

/// A node with at most one child that takes its parent's proposal and frame unchanged.
class SingleChildNode : public Node {
public:
    std::unique_ptr<Node> child;
    void forEachChild(ChildVisitor f) override;
    std::size_t childCount() const override { return child ? 1 : 0; }
    Node* childAt(std::size_t) const override { return child.get(); }
    const std::any* layoutValue(const void* tag) const override;
    bool forwardsLayoutValues() const override { return true; }
    void collectPrefetch(ProposedViewSize p, std::vector<std::function<void()>>& jobs) override;

protected:
    Size computeSize(ProposedViewSize proposal) override;
    void placeChildren(ProposedViewSize proposal) override;
    std::optional<CGFloat> guideValue(const AlignmentID&, Size, ProposedViewSize) override;
    ViewSpacing spacingValue() override;
    Node* preferencesPassedFrom() override { return child.get(); }
};

/// A view with a body.
class BodyNode final : public SingleChildNode, private ViewContext {
public:
    const EnvironmentValues& environment() const override { return env; }
    bool dependsOnEnvironmentChange(const EnvironmentValues& now) const override;
    void passEnvironmentDown() override;

protected:
    void rebuild() override;

private:
    StateSlot& nextSlot() override;
    std::weak_ptr<NodeToken> token() const override { return Node::token(); }
    /// A list holding `keys`: one the graph made lately for another body, if any.
    std::shared_ptr<const std::vector<const void*>>
    sharedReadKeys(const std::vector<const void*>& keys) const;
    /// Declared before the state, so that it ends after it: a body whose models live in its
    /// own state (most that observe one) ends its observation of them after they are gone,
    /// with nothing left to detach from.
    platform::ObservationTracking tracking_;
    std::vector<StateSlot> slots_;
    std::size_t nextSlot_ = 0;
    /// The environment keys the last evaluation read (null: none), shared with the bodies that
    /// read the same keys (most bodies of a kind read the same few, in the same order).
    std::shared_ptr<const std::vector<const void*>> readKeys_;
    /// The last evaluation copied the whole environment: any change evaluates it again.
    bool readsAll_ = false;
};

/// A leaf: no children.
class LeafNode : public Node {
protected:
    void rebuild() override {}
    bool layoutDependsOnView() const override { return true; }
    void placeChildren(ProposedViewSize) override {}
};

class ModifierImpl;

/// A modifier around one content view, plus extra views (overlays, backgrounds, views built
/// from preferences after layout).
class ModifierNode final : public Node {
    // First, where they take no room of their own (in the end of the node's padding): what the
    // modifier and the extras allow, set again when either changes. Walks over preferences and
    // layout values pass most modifiers by without asking them.
    /// The content's preferences are this node's (nothing set nor transformed, no extras).
    bool passesPreferences_ = false;
    /// The modifier has layout values of its own.
    bool providesLayoutValues_ = false;

public:
    std::shared_ptr<const ModifierImpl> modifier;
    std::unique_ptr<Node> content;
    std::vector<std::unique_ptr<Node>> extras;
    /// The modifier's own per-identity storage.
    std::any storage;
    void forEachChild(ChildVisitor f) override;
    std::size_t childCount() const override;
    Node* childAt(std::size_t index) const override;
    const std::any* layoutValue(const void* tag) const override;
    bool forwardsLayoutValues() const override { return true; }
    void collectPrefetch(ProposedViewSize p, std::vector<std::function<void()>>& jobs) override;
    void draw(DisplayList& list) override;
    void collectHandlers(Point point, std::vector<Node*>& out) override;
    const std::string* coordinateSpaceName() const override;
    bool clipsChildren() const override;
    bool dependsOnEnvironmentChange(const EnvironmentValues&) const override { return false; }
    void passEnvironmentDown() override;

    // For the modifiers.
    void drawChildren(DisplayList& list);
    Size contentSize(ProposedViewSize p) { return content ? content->sizeThatFits(p) : Size{}; }
    /// Places the content at `frame`, in this node's coordinates.
    void placeContent(Rect frame, ProposedViewSize p);
    void setExtra(std::size_t index, const AnyView& v, bool late);
    void placeExtra(std::size_t index, Rect frame, ProposedViewSize p);
    /// Places extra `index` aligned in this node's frame, proposed the frame's size.
    void placeExtraAligned(std::size_t index, Alignment alignment);
    const PreferenceValues& contentPreferences();
    void enqueue(std::function<void()> action);
    void afterLayout() override;
    /// The environment the content sees.
    EnvironmentValues contentEnvironment;

protected:
    void rebuild() override;
    Size computeSize(ProposedViewSize proposal) override;
    void placeChildren(ProposedViewSize proposal) override;
    void computePreferences(PreferenceValues& out) override;
    Node* preferencesPassedFrom() override;
    void willRemove() override;
    std::optional<CGFloat> guideValue(const AlignmentID&, Size, ProposedViewSize) override;
    ViewSpacing spacingValue() override;

private:
    /// The content's environment, derived again only when this node's environment or modifier
    /// changes.
    void deriveContentEnvironment();
    void modifierOrExtrasChanged();
    EnvironmentValues derivedFrom_;
};

class ModifierImpl {
public:
    virtual ~ModifierImpl() = default;
    virtual const void* kind() const = 0;
    virtual bool equals(const ModifierImpl&) const { return false; }
    /// Whether a change of this modifier's parameters changes layout.
    virtual bool affectsLayout() const { return false; }
    virtual void transformEnvironment(EnvironmentValues&) const {}
    /// An explicit identity: the content is replaced when it changes.
    virtual const ViewID* identity() const { return nullptr; }
    virtual void didUpdate(ModifierNode&, bool /*first*/, const ModifierImpl* /*previous*/) const {}
    virtual void willRemove(ModifierNode&) const {}
    virtual Size sizeThatFits(ModifierNode& node, ProposedViewSize p) const {
        return node.contentSize(p);
    }
    virtual void place(ModifierNode& node, ProposedViewSize p) const {
        node.placeContent(node.bounds(), p);
    }
    virtual std::optional<CGFloat> guide(ModifierNode& node, const AlignmentID& g, Size size,
                                         ProposedViewSize p) const;
    virtual void transformPreferences(ModifierNode&, PreferenceValues&) const {}
    /// Whether `transformPreferences` does anything (else the content's values are passed on).
    virtual bool transformsPreferences() const { return false; }
    virtual bool observesLayout() const { return false; }
    /// Whether `afterLayout` reads the node's frame: it then waits for the node's placement.
    virtual bool observesGeometry() const { return false; }
    virtual void afterLayout(ModifierNode&) const {}
    /// Draws content and extras; `drawContent` draws the subtree in order.
    virtual void draw(ModifierNode& node, DisplayList& list) const;
    virtual const std::any* layoutValue(const void*) const { return nullptr; }
    virtual bool providesLayoutValues() const { return false; }
    virtual bool extrasBehind() const { return false; }
    virtual const std::string* coordinateSpaceName() const { return nullptr; }
    virtual bool clipsContent() const { return false; }
    // Input.
    virtual bool participatesInHitTesting() const { return takesEvents() || hovers(); }
    virtual bool takesEvents() const { return false; }
    virtual bool pointer(ModifierNode&, const PointerEvent&) const { return false; }
    virtual bool hovers() const { return false; }
    virtual void hover(ModifierNode&, const HoverPhase&) const {}
    virtual std::shared_ptr<InteractionObject> interactionObject() const { return nullptr; }
    virtual std::optional<CursorShape> cursor(ModifierNode&, Point) const { return std::nullopt; }
};

/// The view of a modifier applied to a content view. The modifier lives in the view's own
/// block (see ModifierViewOf): one allocation per modified view, not two.
class ModifierView : public ViewImpl {
public:
    ModifierView(const ModifierView&) = delete;
    ModifierView& operator=(const ModifierView&) = delete;
    const void* typeTag() const override;
    bool equals(const ViewImpl& other) const override;
    std::unique_ptr<Node> makeNode() const override;
    AnyView content;
    /// Held by the view: a node keeps it alive through the view.
    const ModifierImpl* modifier = nullptr;

protected:
    ModifierView(AnyView content, const ModifierImpl* modifier)
        : content(std::move(content))
        , modifier(modifier) {}
    ~ModifierView() override = default;
};

template <class M>
class ModifierViewOf final : public ModifierView {
public:
    ModifierViewOf(AnyView content, M modifier)
        : ModifierView(std::move(content), nullptr)
        , held_(std::move(modifier)) {
        this->modifier = &held_;
    }

private:
    M held_;
};

/// Whether two views are known to be equal (same value or equal values of one type).
bool sameView(const AnyView& a, const AnyView& b);

/// Children of a container, keyed by identity.
class ContainerNode : public Node {
public:
    struct Child {
        ViewID key;
        std::unique_ptr<Node> node;
    };
    std::vector<Child> children;
    std::vector<LayoutSubview> subviews;
    void forEachChild(ChildVisitor f) override;
    std::size_t childCount() const override { return children.size(); }
    Node* childAt(std::size_t index) const override { return children[index].node.get(); }

protected:
    /// Reconciles `flat` against the current children; returns whether the list changed.
    bool reconcileChildren(const std::vector<FlatChild>& flat, const EnvironmentValues& env);
};

/// A container laid out by a `Layout`.
class LayoutNode final : public ContainerNode {
public:
    std::shared_ptr<const Layout> layout;
    std::optional<Axis> axis;
    std::vector<AnyView> childViews;
    std::any cache;
    void layoutInvalidated() override { cacheStale_ = true; }
    bool dependsOnEnvironmentChange(const EnvironmentValues&) const override { return false; }
    void passEnvironmentDown() override;

protected:
    void rebuild() override;
    Size computeSize(ProposedViewSize proposal) override;
    void placeChildren(ProposedViewSize proposal) override;
    std::optional<CGFloat> guideValue(const AlignmentID&, Size, ProposedViewSize) override;
    ViewSpacing spacingValue() override;

private:
    /// A subview changed (its size or layout values): the layout's cache is refreshed before
    /// it is used again.
    void refreshCache();
    /// The children's environment: this node's, with the stack axis.
    const EnvironmentValues& childEnvironment();
    bool cacheStale_ = true;
    EnvironmentValues childEnv_;
    EnvironmentValues childEnvFrom_;
    std::optional<Axis> childEnvAxis_;
    bool childEnvMade_ = false;
};

/// The view of a container with a layout.
class LayoutViewImpl final : public ViewImpl {
public:
    std::shared_ptr<const Layout> layout;
    std::optional<Axis> axis;
    /// A grid row: its cells become cells of the enclosing grid.
    bool isGridRow = false;
    /// A lazy stack (the layout is a LazyVStackLayout): rows built and laid out as they come
    /// into view.
    bool lazy = false;
    std::optional<VerticalAlignment> rowAlignment;
    std::vector<AnyView> children;
    const void* typeTag() const override;
    bool equals(const ViewImpl& other) const override;
    std::unique_ptr<Node> makeNode() const override;
};

/// The environment key through which stacks tell spacers and dividers their axis.
struct StackAxisKey {
    using Value = std::optional<Axis>;
    static Value defaultValue() { return std::nullopt; }
};

/// Internal layout values of grid cells.
struct GridCellKey {
    struct Value {
        int row = 0;
        int column = 0;
        /// A child outside any row: spans all columns.
        bool spansRow = false;
        std::optional<VerticalAlignment> rowAlignment;
        friend bool operator==(const Value&, const Value&) = default;
    };
    static Value defaultValue() { return {}; }
};

/// The children of a container, flattened; the views of a container holding one list alone
/// keep the list's ids (no pair with the list's position to make for each).
void flattenRows(const std::vector<AnyView>& children, std::vector<FlatChild>& out);
/// The items of a list (ForEach, Group), else null.
const std::vector<FlatChild>* listItems(const ViewImpl& impl);
/// A lazy stack's node (LazyVStack.cpp).
std::unique_ptr<Node> makeLazyStackNode();
/// For lazy stacks: the visible rectangle changed.
void lazyStackViewportChanged(Node& node);
/// For lazy stacks: has the next layout pass place the rows in the margin around the visible
/// part if those placed fall short of it; whether it did.
bool lazyStackPlaceAhead(Node& node);
/// For lazy stacks: whether rows wait to be laid out; `layOutDeferredRows` lays some out until
/// `deadline` and returns whether any did.
bool lazyStackHasDeferredRows(Node& node);
bool layOutDeferredRows(Node& node, std::chrono::steady_clock::time_point deadline);

/// Scrolls `node` if it is a scroll view; whether the offset changed.
bool scrollNodeBy(Node& node, CGFloat dx);
/// Scrolls `node`, if it is a scroll view, by the least that shows `rect` (root coordinates)
/// when that lies at its height; how far it scrolled.
CGFloat scrollNodeToShow(Node& node, Rect rect);

/// Runs `body(0)` ... `body(n - 1)` on the calling thread and a few workers of the global
/// executor; returns when all have run.
void parallelFor(std::size_t n, const std::function<void(std::size_t)>& body);

// Room reused from one use to the next, one piece per use under way (uses nest: a node records
// its children while it records itself). A deque, so that a piece lent out stays where it is
// while deeper uses take more.
template <class T>
class ReusedRoom {
public:
    // The next free piece of `room` while the lease lives; `fallback` without a room.
    class Lease {
    public:
        Lease(ReusedRoom* room, T& fallback)
            : room_(room)
            , piece_(&fallback) {
            if (room_ != nullptr) {
                const std::size_t at = room_->inUse_++;
                if (room_->pieces_.size() <= at) {
                    room_->pieces_.emplace_back();
                }
                piece_ = &room_->pieces_[at];
            }
        }
        ~Lease() {
            if (room_ != nullptr) {
                --room_->inUse_;
            }
        }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        [[nodiscard]] T* get() const noexcept { return piece_; }

    private:
        ReusedRoom* room_;
        T* piece_;
    };

private:
    std::deque<T> pieces_;
    std::size_t inUse_ = 0;
};

} // namespace platform::ui::detail

namespace platform::ui {

struct ViewGraph::Impl {
    AnyView rootView;
    EnvironmentValues environment;
    ProposedViewSize proposal;
    std::unique_ptr<detail::Node> root;
    bool rootChanged = true;
    bool layoutNeeded = true;
    std::vector<std::weak_ptr<detail::NodeToken>> dirty;
    /// Nodes whose layout changed or that must be placed again, for the next layout pass.
    std::vector<std::weak_ptr<detail::NodeToken>> dirtyLayouts;
    /// Hit-test results, reused between events.
    std::vector<detail::Node*> hits;
    /// The lists being recorded, one per recording under way: their room is reused from node
    /// to node.
    detail::ReusedRoom<DisplayList> recordingLists;
    /// The environment keys read by the bodies being evaluated, one list per evaluation under
    /// way: their room is reused from body to body.
    detail::ReusedRoom<detail::EnvironmentReads> readsRecorded;
    /// The lists of keys that bodies evaluated last read, shared by the bodies that read the
    /// same: a document's bodies keep a few lists between them instead of one each.
    std::array<std::shared_ptr<const std::vector<const void*>>, 8> recentReadKeys;
    std::size_t nextReadKeys = 0;
    std::vector<std::function<void()>> actions;
    /// Where the drawing changed since the host last took it (`takeDamage`), in root
    /// coordinates; kept once a host asked for it.
    std::vector<Rect> damage;
    bool damageKept = false;
    /// The recordings under way, outermost first, and where the drawing of each changed so far
    /// (in its node's coordinates): a node recorded while its parent records tells the parent,
    /// whose rectangle is told to the graph at the end.
    struct Recording {
        detail::Node* node = nullptr;
        std::vector<Rect> changed;
    };
    std::vector<Recording> recordingsUnderWay;
    /// Adds `rect` (root coordinates) to the damage, if kept.
    void addDamage(Rect rect);
    /// Nodes whose drawing changed while their parents' lists refer to it: recorded again
    /// before the next draw, deepest first.
    std::vector<std::weak_ptr<detail::NodeToken>> changedDrawings;
    /// Nodes observing changes (`observeLayoutChanges`) that saw one since they last ran.
    std::vector<std::weak_ptr<detail::NodeToken>> staleObservers;
    std::uint64_t observersRegistered = 0;
    std::vector<std::weak_ptr<detail::NodeToken>> timelines;
    /// Lazy stacks, told when the visible rectangle changes.
    std::vector<std::weak_ptr<detail::NodeToken>> lazyStacks;
    /// Horizontal scroll views, which a request to show a rectangle may scroll.
    std::vector<std::weak_ptr<detail::NodeToken>> scrollViews;
    /// Observers of what the host shows of them (`observeVisibleRect`), run again when the
    /// visible rectangle changes.
    std::vector<std::weak_ptr<detail::NodeToken>> visibleRectObservers;
    /// While an action lays out everything deferred (`LayOutDeferredAction`): every view is
    /// told all of it is shown.
    bool showingAll = false;
    /// The part of the root the host shows, in root coordinates; none: all of it.
    std::optional<Rect> visibleRect;
    /// How far laying out deferred rows moved the rows shown, not yet taken by the host.
    CGFloat scrollCorrection = 0;
    /// The part of it the visible rectangle already moved by.
    CGFloat correctionApplied = 0;
    /// How long the update after the last rows laid out in idle time took (what the rows' new
    /// sizes and texts set off above them): the next slice keeps as much of its budget for it.
    std::chrono::steady_clock::duration deferredUpdateCost{};
    std::chrono::steady_clock::time_point frameTime = std::chrono::steady_clock::now();
    bool updateScheduled = false;
    bool inUpdate = false;
    /// A layout pass is placing nodes: views built now are placed right away.
    bool placing = false;
    /// A subtree brought up to date apart from an update (a lazy stack's row that had been
    /// left stale): what its nodes invalidate is placed again when that subtree is, so the
    /// invalidations reach up to it.
    detail::Node* detachedRoot = nullptr;
    std::function<void()> needsDisplay;
    std::function<void()> scheduler;
    std::shared_ptr<Impl*> alive;
    std::weak_ptr<detail::NodeToken> pointerTarget;
    std::weak_ptr<InteractionObject> focused;
    /// What had focus when the window went inactive.
    std::weak_ptr<InteractionObject> focusedBeforeDeactivation;
    std::vector<std::weak_ptr<detail::NodeToken>> hovered;
    int lastPasses = 0;
    ViewGraph::Statistics statistics;
    /// The last update was cut off: nothing more until an outside change.
    bool cutOffIdle = false;
    bool lastCutOff = false;
    Size size;

    void scheduleUpdate();
    void markDirty(detail::Node& node);
    void runActions();
    void update();
    void layout();
    /// Settles one changed node: returns the node to place again (a boundary, or the parent of
    /// a late child), or marks its parent as changed and returns null.
    detail::Node* settle(detail::Node* node);
    void settleDirtyLayouts();
    /// Runs the observers that saw a change, in the order they were registered.
    void runStaleObservers();
    /// Records again the drawings that changed, deepest first; a node whose bounds changed (or
    /// that keeps its drawing elsewhere now) has its parent record again too.
    void recordChangedDrawings();
};

} // namespace platform::ui
