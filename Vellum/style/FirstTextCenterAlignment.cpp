#include "Vellum/style/FirstTextCenterAlignment.hpp"

namespace vellum {

namespace {

platform::ui::CGFloat firstTextCenterValue(const platform::ui::ViewDimensions& d) {
    using platform::ui::VerticalAlignment;
    // The first and last baselines are as far apart as the lines from the first to the last:
    // what remains of the height is one line, whose middle is at half of it.
    return (d.height() - (d[VerticalAlignment::lastTextBaseline()] -
                          d[VerticalAlignment::firstTextBaseline()])) *
           0.5;
}

const platform::ui::AlignmentID firstTextCenterID{firstTextCenterValue, "firstTextCenter"};

} // namespace

platform::ui::VerticalAlignment firstTextCenter() {
    return platform::ui::VerticalAlignment(firstTextCenterID);
}

} // namespace vellum
