#pragma once

// The share menu as the toolkit shows it. Only platform/ code and tests include this header.

#include "platform/appkit/ShareMenu.hpp"

#include <gio/gio.h>
#include <memory>

namespace platform::share_menu_internal {

// The name of the action each item of the menu activates, within its action group.
inline constexpr const char* actionName = "share-with";

// A menu with one item per application of `menu`, titled with its name; each activates
// "<group>.share-with" with the application's id. The caller owns the returned reference.
GMenuModel* makeMenuModel(const ShareMenu& menu, const char* group);

// The actions behind that menu, to insert under the name `group`: "share-with" (a string, the
// application's id) hands `menu`'s text to that application. The caller owns the returned
// reference; the group keeps `menu` alive.
GActionGroup* makeActionGroup(std::shared_ptr<const ShareMenu> menu);

} // namespace platform::share_menu_internal
