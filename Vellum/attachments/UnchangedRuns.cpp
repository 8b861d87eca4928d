#include "Vellum/attachments/UnchangedRuns.hpp"

#include "platform/foundation/CommonAffixes.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vellum {

using platform::AttributedString;
using platform::commonPrefix;
using platform::commonSuffix;

UnchangedRuns unchangedRuns(const platform::AttributedSubstring& before,
                            const platform::AttributedSubstring& after) {
    const std::string_view a = before.characters();
    const std::string_view b = after.characters();
    if (a.data() == b.data() && a.size() == b.size()) {
        // One slice of one string.
        return {a.size(), 0};
    }
    const std::size_t baseA = before.startIndex().offset;
    const std::size_t baseB = after.startIndex().offset;
    const AttributedString::Runs runsA = before.runs();
    const AttributedString::Runs runsB = after.runs();
    const std::size_t runs = std::min(runsA.size(), runsB.size());

    UnchangedRuns result;
    const std::size_t characters = commonPrefix(a, b);
    std::size_t first = 0;
    for (; first < runs; ++first) {
        const AttributedString::Run x = runsA[first];
        const AttributedString::Run y = runsB[first];
        const std::size_t end = x.range.upperBound.offset - baseA;
        if (end > characters || end != y.range.upperBound.offset - baseB ||
            !(x.attributes.sharesStorage(y.attributes) || x.attributes == y.attributes)) {
            break;
        }
        result.prefix = end;
    }
    // Only the runs the prefix left, and only characters after it, may be alike at the end.
    const std::size_t trailing = commonSuffix(a.substr(result.prefix), b.substr(result.prefix));
    for (std::size_t k = 1; k <= runsA.size() - first && k <= runsB.size() - first; ++k) {
        const AttributedString::Run x = runsA[runsA.size() - k];
        const AttributedString::Run y = runsB[runsB.size() - k];
        const std::size_t fromEnd = a.size() - (x.range.lowerBound.offset - baseA);
        if (fromEnd > trailing || fromEnd != b.size() - (y.range.lowerBound.offset - baseB) ||
            !(x.attributes.sharesStorage(y.attributes) || x.attributes == y.attributes)) {
            break;
        }
        result.suffix = fromEnd;
    }
    return result;
}

} // namespace vellum
