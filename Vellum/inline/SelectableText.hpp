#pragma once

// The selection interaction as the text views of this folder apply it to themselves. It keeps
// the selection in a model, hit-tests and copies in selection/, which builds on these views (it
// reads their fragments and draws their highlight): so the views call it through this
// declaration, and selection/ provides the definition (selection/SelectableText.cpp), which
// every program that shows these views links with them.

#include "platform/ui/View.hpp"

namespace vellum {

/// `content` with its texts selectable by pointer and keyboard where the environment allows
/// selection. Content that already lies inside selectable content is left as it is: the
/// selection around takes its texts in, and a second one would only compete for the pointer.
[[nodiscard]] platform::ui::AnyView selectableText(platform::ui::AnyView content);

} // namespace vellum
