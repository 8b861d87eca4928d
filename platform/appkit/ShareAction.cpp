#include "platform/appkit/ShareAction.hpp"

namespace platform {

ShareAction::ShareAction()
    : handler_(std::make_shared<const Handler>([](const SharedText&, Rect) {})) {}

ShareAction::ShareAction(Handler handler)
    : handler_(std::make_shared<const Handler>(std::move(handler))) {}

} // namespace platform
