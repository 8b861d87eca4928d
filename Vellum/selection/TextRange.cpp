#include "Vellum/selection/TextRange.hpp"

namespace vellum {

bool TextRange::contains(const IndexPath& path) const {
    const bool afterStart = start.affinity == TextPosition::Affinity::downstream
                                ? start.indexPath <= path
                                : start.indexPath < path;
    const bool beforeEnd = end.affinity == TextPosition::Affinity::upstream ? path <= end.indexPath
                                                                            : path < end.indexPath;
    return afterStart && beforeEnd;
}

std::string TextRange::description() const {
    std::string out = "[";
    out.append(start.description());
    out.append("...");
    out.append(end.description());
    out.push_back(']');
    return out;
}

} // namespace vellum
