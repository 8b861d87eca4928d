#include "Vellum/attachments/UnchangedRuns.hpp"

#include "platform/foundation/CommonAffixes.hpp"

#include <algorithm>
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
    const AttributedString::Runs runsA = before.runs();
    const AttributedString::Runs runsB = after.runs();

    // The runs are compared in place: a long text has thousands before and after the change.
    UnchangedRuns result;
    const std::size_t first = runsA.alikeRuns(runsB, commonPrefix(a, b), false, runsA.size());
    if (first > 0) {
        result.prefix = runsA.range(first - 1).upperBound.offset - baseA;
    }
    // Only the runs the prefix left, and only characters after it, may be alike at the end.
    const std::size_t trailing = commonSuffix(a.substr(result.prefix), b.substr(result.prefix));
    const std::size_t last =
        runsA.alikeRuns(runsB, trailing, true, std::min(runsA.size(), runsB.size()) - first);
    if (last > 0) {
        result.suffix = a.size() - (runsA.range(runsA.size() - last).lowerBound.offset - baseA);
    }
    return result;
}

} // namespace vellum
