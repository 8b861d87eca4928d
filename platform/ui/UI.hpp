#pragma once

// The declarative view engine: include this header only.
//
// Views (View.hpp). A view is a small immutable value. Primitives: Text, shapes (Rectangle,
// RoundedRectangle, Capsule, Circle, Ellipse, PathShape) with fill/stroke, Image, Canvas,
// Spacer, Divider, colours; containers: HStack, VStack, ZStack, LayoutView (any Layout), Grid
// and GridRow, ScrollView (horizontal), GeometryReader, TimelineView, LazyVStack (the rows of a
// long document, laid out as they come into the host's visible rectangle); lists: Group, ForEach,
// EmptyView, ConditionalContent, std::optional of a view. A composite view is any value with a
// const `body(ViewContext&)` (or `body()`):
//
//     struct Counter {
//         int start = 0;
//         AnyView body(ViewContext& c) const {
//             auto count = c.state<int>(start);          // per-identity state
//             return Text(std::to_string(*count))
//                 .font(c.environment().font())          // environment
//                 .onTapGesture([count](Point) { count.set(*count + 1); });
//         }
//         friend bool operator==(const Counter&, const Counter&) = default;  // optional
//     };
//
// Every modifier is a member of every view (ViewModifiers) and returns an AnyView; a view
// modifier value (`body(ViewContext&, AnyView content)`) applies with `modifier(m)`, and
// `subviewsOf(content)` hands a view the subviews of its content with their identities. Text's own
// attribute modifiers (font, bold, foregroundColor, ...) return Text so that texts concatenate
// with `+`. Values with `==` that compare equal in an unchanged environment are not evaluated
// again. Bodies that read observable properties (platform/observation) are evaluated again when,
// and only when, one of those properties changes.
//
// Identity: by position among a container's children, by element id in ForEach, or explicit with
// `id(...)`. State (`ViewContext::state`, `stateObject`) lives per identity and is dropped when the
// identity goes or its view type changes.
//
// Environment (Environment.hpp): `EnvironmentValues` with typed keys (`struct K { using Value =
// ...; static Value defaultValue(); }`), written with `environment<K>(value)`; the inner writer
// wins. Keys of the engine: font, colorScheme, colorSchemeContrast, displayScale,
// layoutDirection, legibilityWeight, dynamicTypeSize, multilineTextAlignment, lineLimit,
// lineSpacing, foregroundStyle, openURL.
//
// Preferences (Preference.hpp): keys with defaultValue and reduce; `preference<K>`,
// `transformPreference<K>`, `anchorPreference<K>`, `onPreferenceChange<K>`,
// `overlayPreferenceValue<K>` / `backgroundPreferenceValue<K>` (built after the content is laid
// out); anchors resolve through a GeometryProxy; named coordinate spaces with
// `coordinateSpace(name)`; `onGeometryChange`. Every Text publishes its laid-out form under
// `Text::LayoutKey`.
//
// Updates and lifecycle: `onChange(value, action, initial)`, `onAppear`, `onDisappear`,
// `task(id, priority, operation)` (restarted when id changes, cancelled when the view goes; on the
// main executor of platform/runtime).
//
// Layout (Layout.hpp): the proposal model (ProposedViewSize), the Layout protocol with a cache,
// layout values (`layoutValue<K>`, `layoutPriority`) and view spacing; stacks with alignment
// guides (first/last text baseline, custom AlignmentIDs, `alignmentGuide`); frame (fixed and
// flexible), padding, fixedSize, offset, overlay/background, clipShape. NaN, infinite or
// negative sizes and offsets lay out as zero or the nearest sound value. In a right-to-left
// environment every parent's placements are mirrored within its frame (leading is the right edge).
//
// Input (Input.hpp): `onTapGesture(count, action)`, `onContinuousHover`, `cursor(shape)`, and
// `interaction(object)`: an InteractionObject takes pointer, drag, key, focus and context-menu
// events over the view's rectangle.
//
// Cost: a node keeps its sizes per proposal until something below it changes, and a text its
// laid-out forms per width (a layout serves every width that breaks its lines the same way), so
// an update that changes one view re-evaluates that body, lays out that text, and answers the
// rest from caches. Stacks that know the proposal their subviews will get
// (`Layout::expectedSubviewProposal`) have their texts laid out on the global executor's workers
// first. Drawing skips what lies outside the clip.
//
// Hosts (ViewGraph.hpp): a ViewGraph holds the node tree of one root view. A host sets the root
// and base environment, proposes a size, draws the display list into a platform GraphicsContext
// (scaled for the display), forwards pointer/key/scroll events, asks for context menus and
// cursors, and is told when a new frame is needed. OffscreenHost (OffscreenHost.hpp) renders to
// images and injects events for tests and tools.

#include "platform/ui/Containers.hpp"
#include "platform/ui/DisplayList.hpp"
#include "platform/ui/Environment.hpp"
#include "platform/ui/Input.hpp"
#include "platform/ui/Layout.hpp"
#include "platform/ui/LazyVStack.hpp"
#include "platform/ui/OffscreenHost.hpp"
#include "platform/ui/Preference.hpp"
#include "platform/ui/Shapes.hpp"
#include "platform/ui/Text.hpp"
#include "platform/ui/View.hpp"
#include "platform/ui/ViewGraph.hpp"
