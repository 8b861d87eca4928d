#include "Vellum/TextPosition.hpp"

namespace vellum {

std::string TextPosition::description() const {
    const std::string path = "(" + indexPath.description() + ")";
    return affinity == Affinity::downstream ? "^" + path : path + "^";
}

} // namespace vellum
