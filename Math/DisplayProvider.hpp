#pragma once

// The process-wide cache of parsed and typeset formulas, so that measuring a formula and drawing
// it at the same width parse and typeset it once. Parsed lists are kept per LaTeX text; typeset
// roots per text, font, style and width (rounded to half points, so that slightly different
// proposals share an entry). Both caches hold a bounded number of entries and a bounded number
// of bytes (estimated from what the parsed lists and the trees hold: one formula of 100 KB makes
// tens of megabytes), and drop the least recently used first. Every access holds the provider's
// lock, so the process typesets one formula at a time.

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

    // The typeset root of `latex`, from the cache or typeset now (and then kept also under the
    // root's own width, which a layout proposes next). Nothing when the LaTeX does not parse or
    // the font cannot be loaded; nothing is kept then.
    std::shared_ptr<DisplayList> displayNode(std::string_view latex, const Font& font,
                                             Style::Level style, std::optional<double> width);

    std::size_t atomListCount();
    std::size_t displayNodeCount();
    // The estimated bytes each cache holds; a root kept under two widths counts once.
    std::size_t atomListBytes();
    std::size_t displayNodeBytes();

private:
    struct Cache;
    ReadWriteLockIsolated<std::unique_ptr<Cache>> cache_;
};

} // namespace Math
