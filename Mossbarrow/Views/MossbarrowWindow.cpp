#include "Mossbarrow/Views/MossbarrowWindow.hpp"

namespace mossbarrow {

MossbarrowWindow::MossbarrowWindow(platform::ModelContext& context, ContentView::Clients clients)
    : content_(context, std::move(clients)) {
    set_default_size(1000, 700);
    set_title(content_.title());
    content_.onTitleChange = [this](const std::string& title) { set_title(title); };
    set_show_menubar(true);
    set_child(content_);
}

} // namespace mossbarrow
