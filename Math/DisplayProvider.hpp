#pragma once

// The process-wide cache of parsed and typeset formulas, so that measuring a formula and drawing
// it at the same width parse and typeset it once. Parsed lists are kept per LaTeX text; typeset
// roots per text, font, style and width (rounded to half points, so that slightly different
// proposals share an entry). Both caches hold a bounded number of entries and a bounded number
// of bytes (estimated from what the parsed lists and the trees hold: one formula of 100 KB makes
// tens of megabytes), and drop the least recently used first. Every access holds the provider's
// lock, so the process typesets one formula at a time.
//
// Measuring needs only a root's extent, which is kept apart for many more entries: a formula too
// large for the caches (a display formula of a megabyte) is measured several times by one layout,
// and was typeset again each time. The last root too large to keep is held beside the caches, so
// that drawing the formula shown, frame after frame, does not typeset it again either; so is the
// finalised list of the last formula too large to keep, so that typesetting it at another width
// does not parse it again. Both stay while other formulas come and go, and go only for another
// as large (or for the same formula at another width), so that two are not held at once.
//
// A formula set without a width serves every width it fits with room to spare (see find): a
// text measures its formulas without a width before the width it is given, and set each again.

#include "Math/AtomList.hpp"
#include "Math/DisplayNode.hpp"
#include "Math/MathFont.hpp"
#include "Math/ReadWriteLockIsolated.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Math {

class DisplayProvider {
public:
    // How much each cache keeps, in entries and in bytes.
    struct Limits {
        std::size_t atomLists = 512;
        std::size_t displayNodes = 512;
        std::size_t atomListBytes = std::size_t{32} << 20;
        std::size_t displayNodeBytes = std::size_t{64} << 20;
        std::size_t measures = 4096;
        std::size_t measureBytes = std::size_t{16} << 20;
    };

    // A root's place and extent, all that measuring asks of it.
    struct Measure {
        Point position;
        CGFloat width = 0;
        CGFloat ascent = 0;
        CGFloat descent = 0;
        friend bool operator==(const Measure&, const Measure&) = default;
    };

    struct Key {
        std::string latex;
        Font font;
        Style::Level style;
        // Already rounded (see keyWidth); 0 means no width limit.
        double proposedWidth = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const noexcept;
    };

    // The shared provider, created on first use.
    static DisplayProvider& shared();

    DisplayProvider();
    explicit DisplayProvider(Limits limits);
    ~DisplayProvider();
    DisplayProvider(const DisplayProvider&) = delete;
    DisplayProvider& operator=(const DisplayProvider&) = delete;

    // A width as cache keys hold it: to the nearest half point (halves away from zero) when
    // positive, else 0. No width counts as 0.
    static double keyWidth(std::optional<double> width);

    // Whether a formula `naturalWidth` wide without a width, set in a font of `fontSize`, is set
    // at `width` exactly as without one: no line of it comes near enough the width to be broken.
    static bool setsAsWithoutWidth(double naturalWidth, double width, double fontSize);

    // The typeset root of `latex`, from the cache or typeset now (and then kept also under the
    // root's own width, which a layout proposes next). Nothing when the LaTeX does not parse or
    // the font cannot be loaded; nothing is kept then.
    std::shared_ptr<DisplayList> displayNode(std::string_view latex, const Font& font,
                                             Style::Level style, std::optional<double> width);
    // The extent of the root `displayNode` gives, typesetting only when no cache knows it.
    std::optional<Measure> measure(std::string_view latex, const Font& font, Style::Level style,
                                   std::optional<double> width);

    // How many times a formula was typeset, for counting the work the caches save.
    std::size_t typesetCount();
    // How many times a formula was parsed.
    std::size_t parseCount();
    std::size_t atomListCount();
    std::size_t displayNodeCount();
    // The estimated bytes each cache holds; a root kept under two widths counts once.
    std::size_t atomListBytes();
    std::size_t displayNodeBytes();

private:
    struct Cache;
    static std::shared_ptr<DisplayList> find(Cache& cache, const Key& key);
    static std::shared_ptr<DisplayList> typeset(Cache& cache, const Key& key);
    ReadWriteLockIsolated<std::unique_ptr<Cache>> cache_;
};

} // namespace Math
