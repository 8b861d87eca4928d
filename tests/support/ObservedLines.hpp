#pragma once

// Lines of text held in observable models, for tests of what a change costs the view engine: a
// view that reads a line's text is evaluated again when, and only when, that text is set.

#include "platform/observation/ObservationRegistrar.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace moss_test {

class Line {
public:
    enum class Property { text };
    explicit Line(std::string initial)
        : text(registrar, Property::text, std::move(initial)) {}
    platform::ObservationRegistrar registrar;
    platform::Observed<std::string> text;
};

// `count` lines, each `prefix` followed by its index ("line 0", "line 1", ...).
inline std::vector<std::shared_ptr<Line>> numberedLines(int count, const std::string& prefix) {
    std::vector<std::shared_ptr<Line>> lines;
    lines.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        lines.push_back(std::make_shared<Line>(prefix + std::to_string(i)));
    }
    return lines;
}

} // namespace moss_test
