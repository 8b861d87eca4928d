#pragma once

// Records the frames views are placed at, by name, for layout tests.

#include "platform/ui/UI.hpp"

#include <map>
#include <memory>
#include <string>

namespace ui_test {

using namespace platform::ui;

struct Frames {
    std::map<std::string, platform::Rect> rects;
    platform::Rect operator[](const std::string& name) const {
        const auto it = rects.find(name);
        return it == rects.end() ? platform::Rect::null() : it->second;
    }
};

inline AnyView probe(AnyView view, const std::shared_ptr<Frames>& frames, std::string name) {
    return view.onGeometryChange<platform::Rect>(
        [](const GeometryProxy& p) { return p.frame(CoordinateSpace::global()); },
        [frames, name](const platform::Rect&, const platform::Rect& r) {
            frames->rects[name] = r;
        });
}

/// A solid block of a fixed size.
inline AnyView block(platform::CGFloat w, platform::CGFloat h) {
    return AnyView(platform::Color::gray(0.5)).frame(w, h);
}

} // namespace ui_test
