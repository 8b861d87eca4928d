#include "Vellum/selection/TextPosition.hpp"

namespace vellum {

std::string TextPosition::description() const {
    // Appended piece by piece: concatenating temporaries trips a false -Wrestrict of GCC 12 at -O3.
    std::string out;
    if (affinity == Affinity::downstream) {
        out.push_back('^');
    }
    out.push_back('(');
    out.append(indexPath.description());
    out.push_back(')');
    if (affinity == Affinity::upstream) {
        out.push_back('^');
    }
    return out;
}

} // namespace vellum
