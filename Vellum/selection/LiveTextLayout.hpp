#pragma once

// The text model over what the view engine publishes after layout: for every Text an anchored
// layout (lines → runs → glyph slices with UTF-16 ranges into the text's string). Only texts built
// by a text fragment are kept. Everything derived is computed on first read and kept for the life
// of the object: a collection is made for every layout change, but lines and slices are only read
// for the texts that hit testing or selection touch.

#include "Vellum/selection/TextLayoutCollection.hpp"
#include "platform/ui/Preference.hpp"
#include "platform/ui/Text.hpp"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace vellum {

class LiveTextRunSlice final : public TextRunSlice {
public:
    LiveTextRunSlice(const platform::TextLayout::RunSlice* base, CharacterRange range)
        : base_(base)
        , range_(range) {}
    platform::Rect typographicBounds() const override { return base_->typographicBounds.rect(); }
    CharacterRange characterRange() const override { return range_; }

private:
    const platform::TextLayout::RunSlice* base_;
    CharacterRange range_;
};

class LiveTextRun final : public TextRun {
public:
    /// `layout` owns `base` and outlives the run.
    LiveTextRun(const platform::ui::Text::Layout* layout, const platform::TextLayout::Run* base,
                std::size_t offset);
    LayoutDirection layoutDirection() const override { return base_->layoutDirection; }
    platform::Rect typographicBounds() const override { return base_->typographicBounds.rect(); }
    std::optional<platform::URL> url() const override;
    std::size_t sliceCount() const override { return slices().size(); }
    const TextRunSlice& slice(std::size_t index) const override { return slices()[index]; }
    platform::Rect slicesBounds() const override;

private:
    const std::vector<LiveTextRunSlice>& slices() const;
    const platform::ui::Text::Layout* layout_;
    const platform::TextLayout::Run* base_;
    std::size_t offset_;
    mutable std::optional<std::vector<LiveTextRunSlice>> slices_;
    mutable std::optional<platform::Rect> slicesBounds_;
};

class LiveTextLine final : public TextLine {
public:
    LiveTextLine(const platform::ui::Text::Layout* layout, const platform::TextLayout::Line* base,
                 std::size_t offset);
    platform::Rect typographicBounds() const override { return base_->typographicBounds.rect(); }
    std::size_t runCount() const override;
    const TextRun& run(std::size_t index) const override;
    /// Where the line's paragraph starts in the layout's string.
    std::size_t offset() const { return offset_; }

private:
    using Runs = std::variant<std::vector<LiveTextRun>, EmptyRun>;
    const Runs& runs() const;
    const platform::ui::Text::Layout* layout_;
    const platform::TextLayout::Line* base_;
    std::size_t offset_;
    mutable std::optional<Runs> runs_;
};

class LiveTextLayout final : public TextLayout {
public:
    LiveTextLayout(platform::ui::Text::Layout base, platform::Point origin, bool placed = true)
        : base_(std::move(base))
        , origin_(origin)
        , placed_(placed) {}
    LiveTextLayout(const LiveTextLayout&) = delete;
    LiveTextLayout& operator=(const LiveTextLayout&) = delete;

    platform::Point origin() const override { return origin_; }
    bool placed() const override { return placed_; }
    platform::Rect bounds() const override;
    std::size_t lineCount() const override { return lines().size(); }
    const TextLine& line(std::size_t index) const override { return lines()[index]; }
    const std::string& string() const override { return base_.base().string(); }
    std::size_t length() const override;
    std::string substring(CharacterRange range) const override {
        return base_.base().substring(range);
    }
    std::size_t nextWordBoundary(std::size_t index, bool forward) const override {
        return base_.base().nextWordBoundary(index, forward);
    }
    CharacterRange wordRange(std::size_t index) const override {
        return base_.base().wordRange(index);
    }
    const std::vector<TextLineStretch>& lineStretches() const override;
    std::optional<platform::AttributedSubstring> sourceText(CharacterRange range) const override;
    /// The source the fragment built the text from, else the laid-out text itself.
    const void* sourceIdentity() const override;
    const platform::ui::Text::Layout& base() const { return base_; }

private:
    // A stretch of the text and the stretch of its source it shows. An attachment drawn in a box
    // is one character of the text for all the characters of its source run.
    struct SourcePiece {
        std::size_t text = 0;
        std::size_t textLength = 0;
        std::size_t source = 0;
        std::size_t sourceLength = 0;
        /// Where the piece starts in the source's UTF-8 and how many bytes it takes there.
        std::size_t sourceByte = 0;
        std::size_t sourceBytes = 0;
    };
    struct SourceMap {
        std::shared_ptr<const platform::AttributedString> source;
        std::vector<SourcePiece> pieces;
    };
    const std::optional<SourceMap>& sourceMap() const;
    const std::vector<LiveTextLine>& lines() const;
    platform::ui::Text::Layout base_;
    platform::Point origin_;
    bool placed_;
    mutable std::optional<std::vector<LiveTextLine>> lines_;
    mutable std::optional<platform::Rect> bounds_;
    mutable std::optional<std::size_t> length_;
    mutable std::optional<std::vector<TextLineStretch>> lineStretches_;
    mutable std::optional<std::optional<SourceMap>> sourceMap_;
};

class LiveTextLayoutCollection final : public TextLayoutCollection {
public:
    using Layouts = platform::ui::Text::LayoutKey::Value;
    /// The index of one document's texts, which its collections share one after another: a
    /// collection whose texts begin with all those indexed adds the rest to it, so that texts laid
    /// out below in idle time do not make the whole document indexed again.
    class SharedIndex {
    public:
        struct Index;

    private:
        friend class LiveTextLayoutCollection;
        std::shared_ptr<Index> latest_;
    };

    /// `geometry` resolves the layouts' origin anchors into the collection's space.
    LiveTextLayoutCollection(Layouts base, platform::ui::GeometryProxy geometry)
        : LiveTextLayoutCollection(std::make_shared<const Layouts>(std::move(base)), geometry) {}
    /// Over layouts shared with whoever published them, indexed with `shared` where given.
    LiveTextLayoutCollection(std::shared_ptr<const Layouts> base,
                             platform::ui::GeometryProxy geometry,
                             std::shared_ptr<SharedIndex> shared = nullptr)
        : base_(std::move(base))
        , geometry_(geometry)
        , shared_(std::move(shared)) {}

    std::size_t layoutCount() const override { return layouts().size(); }
    const TextLayout& layout(std::size_t index) const override { return *layouts()[index]; }
    /// True only for a live collection over equal anchored layouts; the geometry is not compared.
    bool isEqual(const TextLayoutCollection& other) const override;
    /// False only for a live collection over the same laid-out texts, wherever they now stand.
    bool layoutsDiffer(const TextLayoutCollection& other) const override;
    std::optional<std::size_t> index(const platform::ui::Text::Layout& layout) const override;
    const void* layoutIdentity(std::size_t index) const override {
        return &layouts()[index]->base().base();
    }
    const Layouts& base() const { return *base_; }

private:
    const std::vector<std::unique_ptr<const LiveTextLayout>>& layouts() const;
    std::shared_ptr<const Layouts> base_;
    platform::ui::GeometryProxy geometry_;
    std::shared_ptr<SharedIndex> shared_;
    mutable std::optional<std::vector<std::unique_ptr<const LiveTextLayout>>> layouts_;
    // Every highlight asks for its own text's place: one lookup each, not a scan. The index may
    // go on to cover later collections' texts; this one's are the first `counted_` places.
    mutable std::shared_ptr<const SharedIndex::Index> index_;
    mutable std::size_t counted_ = 0;
};

} // namespace vellum
