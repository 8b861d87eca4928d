#include "platform/graphics/HeifCost.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace platform::codecs {

// Named apart: the other decoders of the folder are built in one unit with this one.
namespace heifcost {

using Kind = ImageDecodeError::Kind;
using Bytes = std::span<const std::uint8_t>;

constexpr std::uint32_t fourCC(std::string_view code) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

// Big-endian reads within a span; a read past its end marks the reader as failed and gives 0.
class Reader {
public:
    explicit Reader(Bytes bytes)
        : bytes_(bytes) {}
    [[nodiscard]] bool failed() const { return failed_; }
    [[nodiscard]] std::size_t left() const { return bytes_.size() - at_; }
    std::uint64_t read(std::size_t size) {
        if (size > left()) {
            failed_ = true;
            at_ = bytes_.size();
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value = value << 8 | bytes_[at_ + i];
        }
        at_ += size;
        return value;
    }
    std::uint8_t u8() { return std::uint8_t(read(1)); }
    std::uint16_t u16() { return std::uint16_t(read(2)); }
    std::uint32_t u32() { return std::uint32_t(read(4)); }
    Bytes take(std::size_t size) {
        if (size > left()) {
            failed_ = true;
            at_ = bytes_.size();
            return {};
        }
        const Bytes part = bytes_.subspan(at_, size);
        at_ += size;
        return part;
    }

private:
    Bytes bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

struct Box {
    std::uint32_t type = 0;
    Bytes payload;
};

// The boxes of `bytes` in order; stops at the first that does not fit.
std::vector<Box> boxesIn(Bytes bytes) {
    std::vector<Box> boxes;
    Reader reader(bytes);
    while (reader.left() >= 8) {
        std::uint64_t size = reader.u32();
        const std::uint32_t type = reader.u32();
        std::uint64_t header = 8;
        if (size == 1) {
            size = reader.read(8);
            header = 16;
        } else if (size == 0) {
            size = reader.left() + header;
        }
        if (reader.failed() || size < header || size - header > reader.left()) {
            break;
        }
        boxes.push_back({type, reader.take(std::size_t(size - header))});
    }
    return boxes;
}

struct Size {
    std::int64_t width = 0;
    std::int64_t height = 0;
    [[nodiscard]] std::int64_t area() const { return width * height; }
};

struct Extent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct Item {
    std::uint32_t type = 0;
    std::vector<std::uint32_t> properties; // indices into the property boxes, from 1
    int constructionMethod = 0;
    std::vector<Extent> extents;
};

struct Layout {
    std::uint32_t primary = 0;
    std::map<std::uint32_t, Item> items;
    std::vector<Box> properties;
    // (reference type, from) -> to, in order.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::uint32_t>> references;
    Bytes itemData; // the idat box
};

void readItemInfo(Bytes payload, Layout& layout) {
    Reader reader(payload);
    const std::uint8_t version = std::uint8_t(reader.u32() >> 24);
    reader.read(version == 0 ? 2 : 4); // the count: the boxes say it again
    for (const Box& box :
         boxesIn(payload.subspan(std::min(payload.size(), std::size_t(version == 0 ? 6 : 8))))) {
        if (box.type != fourCC("infe")) {
            continue;
        }
        Reader entry(box.payload);
        const std::uint8_t entryVersion = std::uint8_t(entry.u32() >> 24);
        if (entryVersion < 2) {
            continue; // no item type
        }
        const std::uint32_t id = entryVersion == 2 ? entry.u16() : entry.u32();
        entry.u16(); // protection index
        const std::uint32_t type = entry.u32();
        if (!entry.failed()) {
            layout.items[id].type = type;
        }
    }
}

void readLocations(Bytes payload, Layout& layout) {
    Reader reader(payload);
    const std::uint8_t version = std::uint8_t(reader.u32() >> 24);
    const std::uint8_t sizes = reader.u8();
    const std::uint8_t more = reader.u8();
    const std::size_t offsetSize = sizes >> 4;
    const std::size_t lengthSize = sizes & 0xf;
    const std::size_t baseOffsetSize = more >> 4;
    const std::size_t indexSize = version == 1 || version == 2 ? more & 0xf : 0;
    const std::uint32_t count = version < 2 ? reader.u16() : reader.u32();
    for (std::uint32_t i = 0; i < count && !reader.failed(); ++i) {
        const std::uint32_t id = version < 2 ? reader.u16() : reader.u32();
        int method = 0;
        if (version == 1 || version == 2) {
            method = reader.u16() & 0xf;
        }
        reader.u16(); // data reference index
        const std::uint64_t base = reader.read(baseOffsetSize);
        const std::uint16_t extents = reader.u16();
        Item& item = layout.items[id];
        item.constructionMethod = method;
        item.extents.clear();
        for (std::uint16_t e = 0; e < extents && !reader.failed(); ++e) {
            reader.read(indexSize);
            const std::uint64_t offset = reader.read(offsetSize);
            const std::uint64_t length = reader.read(lengthSize);
            item.extents.push_back({base + offset, length});
        }
    }
}

void readProperties(Bytes payload, Layout& layout) {
    for (const Box& box : boxesIn(payload)) {
        if (box.type == fourCC("ipco")) {
            layout.properties = boxesIn(box.payload);
        } else if (box.type == fourCC("ipma")) {
            Reader reader(box.payload);
            const std::uint32_t versionAndFlags = reader.u32();
            const bool wideIDs = (versionAndFlags >> 24) >= 1;
            const bool wideIndices = (versionAndFlags & 1) != 0;
            const std::uint32_t entries = reader.u32();
            for (std::uint32_t i = 0; i < entries && !reader.failed(); ++i) {
                const std::uint32_t id = wideIDs ? reader.u32() : reader.u16();
                const std::uint8_t associations = reader.u8();
                for (std::uint8_t a = 0; a < associations && !reader.failed(); ++a) {
                    const std::uint32_t index =
                        wideIndices ? reader.u16() & 0x7fffu : reader.u8() & 0x7fu;
                    layout.items[id].properties.push_back(index);
                }
            }
        }
    }
}

void readReferences(Bytes payload, Layout& layout) {
    Reader header(payload);
    const bool wideIDs = (header.u32() >> 24) >= 1;
    for (const Box& box : boxesIn(payload.subspan(std::min<std::size_t>(payload.size(), 4)))) {
        Reader reader(box.payload);
        const std::uint32_t from = wideIDs ? reader.u32() : reader.u16();
        const std::uint16_t count = reader.u16();
        std::vector<std::uint32_t>& to = layout.references[{box.type, from}];
        for (std::uint16_t i = 0; i < count && !reader.failed(); ++i) {
            const std::uint32_t id = wideIDs ? reader.u32() : reader.u16();
            if (!reader.failed()) {
                to.push_back(id);
            }
        }
    }
}

std::optional<Layout> readLayout(Bytes data) {
    for (const Box& top : boxesIn(data)) {
        if (top.type != fourCC("meta") || top.payload.size() < 4) {
            continue;
        }
        Layout layout;
        for (const Box& box : boxesIn(top.payload.subspan(4))) {
            if (box.type == fourCC("pitm")) {
                Reader reader(box.payload);
                const bool wide = (reader.u32() >> 24) >= 1;
                layout.primary = wide ? reader.u32() : reader.u16();
            } else if (box.type == fourCC("iinf")) {
                readItemInfo(box.payload, layout);
            } else if (box.type == fourCC("iloc")) {
                readLocations(box.payload, layout);
            } else if (box.type == fourCC("iprp")) {
                readProperties(box.payload, layout);
            } else if (box.type == fourCC("iref")) {
                readReferences(box.payload, layout);
            } else if (box.type == fourCC("idat")) {
                layout.itemData = box.payload;
            }
        }
        return layout;
    }
    return std::nullopt;
}

// The bits of an HEVC parameter set, emulation prevention bytes taken out.
class BitReader {
public:
    explicit BitReader(Bytes nal) {
        int zeros = 0;
        for (const std::uint8_t byte : nal) {
            if (zeros >= 2 && byte == 3) {
                zeros = 0;
                continue;
            }
            zeros = byte == 0 ? zeros + 1 : 0;
            bytes_.push_back(byte);
        }
    }
    [[nodiscard]] bool failed() const { return failed_; }
    std::uint64_t bits(int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (at_ >= bytes_.size() * 8) {
                failed_ = true;
                return 0;
            }
            value = value << 1 | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1);
            ++at_;
        }
        return value;
    }
    // Exp-Golomb, as the parameter sets write sizes.
    std::uint64_t unsignedGolomb() {
        int zeros = 0;
        while (bits(1) == 0) {
            if (failed_ || ++zeros > 32) {
                failed_ = true;
                return 0;
            }
        }
        return (std::uint64_t{1} << zeros) - 1 + bits(zeros);
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

// The size of the picture an HEVC sequence parameter set codes (before any cropping), which is
// what the decoder allocates whatever the item's own record says.
std::optional<Size> sequenceSize(Bytes nal) {
    BitReader reader(nal);
    reader.bits(16); // NAL unit header
    reader.bits(4);  // video parameter set id
    const int subLayers = int(reader.bits(3));
    reader.bits(1);
    reader.bits(96); // general profile, tier and level
    std::array<bool, 8> profilePresent{};
    std::array<bool, 8> levelPresent{};
    for (int i = 0; i < subLayers; ++i) {
        profilePresent[std::size_t(i)] = reader.bits(1) != 0;
        levelPresent[std::size_t(i)] = reader.bits(1) != 0;
    }
    if (subLayers > 0) {
        reader.bits(2 * (8 - subLayers));
    }
    for (int i = 0; i < subLayers; ++i) {
        reader.bits(profilePresent[std::size_t(i)] ? 88 : 0);
        reader.bits(levelPresent[std::size_t(i)] ? 8 : 0);
    }
    reader.unsignedGolomb(); // sequence parameter set id
    if (reader.unsignedGolomb() == 3) {
        reader.bits(1); // separate colour planes
    }
    const std::uint64_t width = reader.unsignedGolomb();
    const std::uint64_t height = reader.unsignedGolomb();
    if (reader.failed()) {
        return std::nullopt;
    }
    return Size{std::int64_t(width), std::int64_t(height)};
}

// The largest picture the parameter sets of an hvcC box code.
std::optional<Size> codedSize(Bytes hvcC) {
    Reader reader(hvcC);
    reader.take(22);
    const std::uint8_t arrays = reader.u8();
    std::optional<Size> size;
    for (std::uint8_t a = 0; a < arrays && !reader.failed(); ++a) {
        const std::uint8_t type = reader.u8() & 0x3f;
        const std::uint16_t count = reader.u16();
        for (std::uint16_t n = 0; n < count && !reader.failed(); ++n) {
            const Bytes nal = reader.take(reader.u16());
            if (type != 33 || reader.failed()) {
                continue;
            }
            if (const std::optional<Size> coded = sequenceSize(nal);
                coded && (!size || coded->area() > size->area())) {
                size = coded;
            }
        }
    }
    return size;
}

// Walks what the decoder does for an item, counting every picture it makes. The decoder makes an
// item's pictures again each time the item is named, so an item named by several derivations,
// or several times by one, costs that many times what decoding it once makes; but that cost is
// worked out once per item, and multiplied, so that derivations naming each other over and over
// (8 deep, a dozen times each, stand for 12^8 pictures in a few hundred bytes) take no longer to
// count than the references they hold.
class CostCounter {
public:
    CostCounter(Bytes data, const Layout& layout, const Budget& budget)
        : data_(data)
        , layout_(layout)
        , budget_(budget)
        , ceiling_(4 * budget.limits().maxPixelCount) {}

    // Counts decoding `id` once more, with all it derives from.
    void countUse(std::uint32_t id) { add(total_, count(id, 0).pixels); }

    // The alpha and other auxiliary images of `id`, which the decoder decodes with it.
    void countAuxiliaries(std::uint32_t id) {
        for (const auto& [key, to] : layout_.references) {
            if (key.first == fourCC("auxl") && std::find(to.begin(), to.end(), id) != to.end()) {
                add(total_, count(key.second, 1).pixels);
            }
        }
    }

private:
    struct Cost {
        std::int64_t pixels = 0; // what decoding the item once makes, derivations included
        int height = 0;          // how many derivations deep the item goes
    };

    // The decoder follows derivations a few steps at most; a cycle would never end there.
    static constexpr int maxDepth = 8;
    // References followed in all: a grid names at most 65,536 tiles, and each item's own are
    // followed once, so only a file holding hundreds of thousands of them reaches this.
    static constexpr std::int64_t maxReferences = std::int64_t{1} << 18;
    // What a picture whose size neither its record nor its parameter sets tell is counted as:
    // the smallest block a coded picture is made of. Nothing the decoder makes is free.
    static constexpr std::int64_t unknownPictureArea = 8 * 8;

    // What decoding `id` once makes, reached `depth` derivations below the primary image.
    Cost count(std::uint32_t id, int depth) {
        if (depth > maxDepth) {
            fail(Kind::malformed, "HEIF image derivations nest too deep");
        }
        if (const auto done = counted_.find(id); done != counted_.end()) {
            if (!done->second) {
                fail(Kind::malformed, "HEIF image derivations form a cycle");
            }
            if (depth + done->second->height > maxDepth) {
                fail(Kind::malformed, "HEIF image derivations nest too deep");
            }
            return *done->second;
        }
        const auto found = layout_.items.find(id);
        if (found == layout_.items.end()) {
            return {}; // the decoder reports the missing item
        }
        counted_[id] = std::nullopt; // being counted
        const Item& item = found->second;
        Cost cost;
        if (item.type == fourCC("grid")) {
            cost = grid(id, item, depth);
        } else if (item.type == fourCC("iovl")) {
            cost = overlay(id, item, depth);
        } else if (item.type == fourCC("iden")) {
            cost = derived(id, 0, depth);
        } else {
            cost.pixels = area(pictureSize(item));
        }
        counted_[id] = cost;
        return cost;
    }

    // Adds `pixels` to `sum`; no sum of what one file's primary image makes may pass the ceiling,
    // which keeps every sum far from overflowing.
    void add(std::int64_t& sum, std::int64_t pixels) const {
        sum += pixels;
        if (sum > ceiling_) {
            // A grid of the limit's size, its tiles (which may overhang it) and an alpha plane
            // as large: four times the limit. More is a file naming the same pictures over and
            // over.
            fail(Kind::tooLarge, "HEIF image decodes to too many pixels");
        }
    }

    // The pixels of one picture of `size`, checked against the limit for one picture.
    [[nodiscard]] std::int64_t area(Size size) const {
        if (size.width == 0 && size.height == 0) {
            return unknownPictureArea;
        }
        budget_.checkCanvas(size.width, size.height);
        return size.area();
    }

    // An item that makes a picture of `pixels` (none for an identity) from the items it names:
    // the picture, and each source as often as it is named.
    Cost derived(std::uint32_t id, std::int64_t pixels, int depth) {
        Cost cost{pixels, 0};
        for (const std::uint32_t source : references("dimg", id)) {
            if (++referencesFollowed_ > maxReferences) {
                fail(Kind::tooLarge, "HEIF image names too many pictures");
            }
            const Cost sourceCost = count(source, depth + 1);
            add(cost.pixels, sourceCost.pixels);
            cost.height = std::max(cost.height, sourceCost.height + 1);
        }
        return cost;
    }

    [[nodiscard]] const std::vector<std::uint32_t>& references(std::string_view type,
                                                               std::uint32_t from) const {
        static const std::vector<std::uint32_t> none;
        const auto found = layout_.references.find({fourCC(type), from});
        return found == layout_.references.end() ? none : found->second;
    }

    // An item's data, when it is held in one piece in the file or its idat box.
    [[nodiscard]] std::optional<Bytes> itemData(const Item& item) const {
        if (item.extents.size() != 1) {
            return std::nullopt;
        }
        const Bytes source = item.constructionMethod == 1 ? layout_.itemData : data_;
        const Extent& extent = item.extents.front();
        if (item.constructionMethod > 1 || extent.offset > source.size() ||
            extent.length > source.size() - extent.offset) {
            return std::nullopt;
        }
        return source.subspan(std::size_t(extent.offset), std::size_t(extent.length));
    }

    [[nodiscard]] std::optional<Size> recordedSize(const Item& item) const {
        for (const std::uint32_t index : item.properties) {
            if (index == 0 || index > layout_.properties.size()) {
                continue;
            }
            const Box& property = layout_.properties[index - 1];
            if (property.type == fourCC("ispe")) {
                Reader reader(property.payload);
                reader.u32();
                const Size size{reader.u32(), reader.u32()};
                if (!reader.failed()) {
                    return size;
                }
            }
        }
        return std::nullopt;
    }

    // What decoding a coded picture makes: the larger of its record and its coded size.
    [[nodiscard]] Size pictureSize(const Item& item) const {
        Size size = recordedSize(item).value_or(Size{});
        for (const std::uint32_t index : item.properties) {
            if (index > 0 && index <= layout_.properties.size() &&
                layout_.properties[index - 1].type == fourCC("hvcC")) {
                if (const std::optional<Size> coded =
                        codedSize(layout_.properties[index - 1].payload)) {
                    size.width = std::max(size.width, coded->width);
                    size.height = std::max(size.height, coded->height);
                }
            }
        }
        return size;
    }

    Cost grid(std::uint32_t id, const Item& item, int depth) {
        const std::optional<Bytes> data = itemData(item);
        if (!data) {
            return {};
        }
        Reader reader(*data);
        reader.u8(); // version
        const bool wide = (reader.u8() & 1) != 0;
        const std::int64_t rows = std::int64_t(reader.u8()) + 1;
        const std::int64_t columns = std::int64_t(reader.u8()) + 1;
        const Size output{std::int64_t(reader.read(wide ? 4 : 2)),
                          std::int64_t(reader.read(wide ? 4 : 2))};
        if (reader.failed()) {
            return {};
        }
        const std::int64_t pixels = area(output);
        const std::vector<std::uint32_t>& tiles = references("dimg", id);
        if (std::int64_t(tiles.size()) != rows * columns) {
            fail(Kind::malformed, "HEIF grid names the wrong number of tiles");
        }
        const Cost cost = derived(id, pixels, depth);
        // Tiles are placed by the first one's size: they must reach the grid's far edges and no
        // row or column may lie wholly beyond them.
        const auto first = layout_.items.find(tiles.front());
        if (first != layout_.items.end()) {
            const std::optional<Size> tile = recordedSize(first->second);
            if (tile &&
                (tile->width * columns < output.width || tile->height * rows < output.height ||
                 tile->width * (columns - 1) >= output.width ||
                 tile->height * (rows - 1) >= output.height)) {
                fail(Kind::malformed, "HEIF grid tiles do not fit its size");
            }
        }
        return cost;
    }

    Cost overlay(std::uint32_t id, const Item& item, int depth) {
        const std::optional<Bytes> data = itemData(item);
        if (!data) {
            return {};
        }
        Reader reader(*data);
        reader.u8(); // version
        const bool wide = (reader.u8() & 1) != 0;
        reader.take(8); // the fill colour
        const Size output{std::int64_t(reader.read(wide ? 4 : 2)),
                          std::int64_t(reader.read(wide ? 4 : 2))};
        if (reader.failed()) {
            return {};
        }
        return derived(id, area(output), depth);
    }

    Bytes data_;
    const Layout& layout_;
    const Budget& budget_;
    const std::int64_t ceiling_;
    std::int64_t total_ = 0;
    std::int64_t referencesFollowed_ = 0;
    // Each item counted so far, and nothing for one being counted.
    std::map<std::uint32_t, std::optional<Cost>> counted_;
};

} // namespace heifcost

void checkHeifDecodeCost(std::span<const std::uint8_t> data, const Budget& budget) {
    using namespace heifcost;
    const std::optional<Layout> layout = readLayout(data);
    if (!layout) {
        return;
    }
    CostCounter counter(data, *layout, budget);
    counter.countUse(layout->primary);
    counter.countAuxiliaries(layout->primary);
}

} // namespace platform::codecs
