#include "platform/text/GlyphFace.hpp"

#include "platform/text/GlyphFaceInternal.hpp"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <fstream>
#include <hb-ot.h>
#include <mutex>

namespace platform {
namespace {

/// One FreeType library for the process. Opening and closing faces must not race, so both go
/// through its lock; reading a face that is open needs no lock.
class FreeTypeLibrary {
public:
    static FreeTypeLibrary& shared() {
        static FreeTypeLibrary library;
        return library;
    }

    FT_Face open(const std::vector<std::uint8_t>& bytes, unsigned faceIndex) {
        const std::lock_guard lock(mutex_);
        if (library_ == nullptr) {
            return nullptr;
        }
        FT_Face face = nullptr;
        if (FT_New_Memory_Face(library_, bytes.data(), static_cast<FT_Long>(bytes.size()),
                               static_cast<FT_Long>(faceIndex), &face) != 0) {
            return nullptr;
        }
        return face;
    }

    void close(FT_Face face) {
        const std::lock_guard lock(mutex_);
        FT_Done_Face(face);
    }

private:
    FreeTypeLibrary() {
        if (FT_Init_FreeType(&library_) != 0) {
            library_ = nullptr;
        }
    }

    std::mutex mutex_;
    FT_Library library_ = nullptr;
};

/// Lives as long as Cairo's font face, which may outlast the GlyphFace in Cairo's caches.
struct CairoFaceOwner {
    FT_Face face;
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
};

const cairo_user_data_key_t kOwnerKey{};

void releaseOwner(void* data) {
    const std::unique_ptr<CairoFaceOwner> owner(static_cast<CairoFaceOwner*>(data));
    FreeTypeLibrary::shared().close(owner->face);
}

struct PathSink {
    Path path;
};

hb_draw_funcs_t* outlineFunctions() {
    static hb_draw_funcs_t* const functions = [] {
        hb_draw_funcs_t* f = hb_draw_funcs_create();
        hb_draw_funcs_set_move_to_func(
            f,
            [](hb_draw_funcs_t*, void* data, hb_draw_state_t*, float x, float y, void*) {
                static_cast<PathSink*>(data)->path.move({x, y});
            },
            nullptr, nullptr);
        hb_draw_funcs_set_line_to_func(
            f,
            [](hb_draw_funcs_t*, void* data, hb_draw_state_t*, float x, float y, void*) {
                static_cast<PathSink*>(data)->path.addLine({x, y});
            },
            nullptr, nullptr);
        hb_draw_funcs_set_quadratic_to_func(
            f,
            [](hb_draw_funcs_t*, void* data, hb_draw_state_t*, float cx, float cy, float x, float y,
               void*) {
                static_cast<PathSink*>(data)->path.addQuadCurve({x, y}, {cx, cy});
            },
            nullptr, nullptr);
        hb_draw_funcs_set_cubic_to_func(
            f,
            [](hb_draw_funcs_t*, void* data, hb_draw_state_t*, float c1x, float c1y, float c2x,
               float c2y, float x, float y, void*) {
                static_cast<PathSink*>(data)->path.addCurve({x, y}, {c1x, c1y}, {c2x, c2y});
            },
            nullptr, nullptr);
        hb_draw_funcs_set_close_path_func(
            f,
            [](hb_draw_funcs_t*, void* data, hb_draw_state_t*, void*) {
                static_cast<PathSink*>(data)->path.closeSubpath();
            },
            nullptr, nullptr);
        hb_draw_funcs_make_immutable(f);
        return f;
    }();
    return functions;
}

std::string nameOf(hb_face_t* face, hb_ot_name_id_t id) {
    unsigned size = hb_ot_name_get_utf8(face, id, HB_LANGUAGE_INVALID, nullptr, nullptr) + 1;
    std::vector<char> buffer(size);
    hb_ot_name_get_utf8(face, id, HB_LANGUAGE_INVALID, &size, buffer.data());
    return std::string(buffer.data(), size);
}

} // namespace

GlyphFace::Internal::~Internal() {
    if (cairoFace != nullptr) {
        cairo_font_face_destroy(cairoFace);
    }
    hb_font_destroy(font);
    hb_face_destroy(face);
}

GlyphFace::GlyphFace(std::unique_ptr<Internal> internal)
    : internal_(std::move(internal)) {}

GlyphFace::~GlyphFace() = default;

std::shared_ptr<const GlyphFace> GlyphFace::fromData(std::vector<std::uint8_t> bytes,
                                                     unsigned faceIndex) {
    if (bytes.empty() || bytes.size() > maxFileSize) {
        return nullptr;
    }
    auto internal = std::make_unique<Internal>();
    internal->bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    const std::vector<std::uint8_t>& data = *internal->bytes;

    // FreeType validates the file far more strictly than HarfBuzz, which accepts anything and
    // reports an empty face; a face FreeType rejects is not loaded at all.
    FT_Face ftFace = FreeTypeLibrary::shared().open(data, faceIndex);
    if (ftFace == nullptr) {
        return nullptr;
    }
    auto owner = std::make_unique<CairoFaceOwner>(CairoFaceOwner{ftFace, internal->bytes});
    cairo_font_face_t* cairoFace = cairo_ft_font_face_create_for_ft_face(ftFace, 0);
    if (cairo_font_face_status(cairoFace) != CAIRO_STATUS_SUCCESS ||
        cairo_font_face_set_user_data(cairoFace, &kOwnerKey, owner.get(), releaseOwner) !=
            CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(cairoFace);
        FreeTypeLibrary::shared().close(ftFace);
        return nullptr;
    }
    owner.release(); // now Cairo's
    internal->cairoFace = cairoFace;

    hb_blob_t* blob = hb_blob_create(reinterpret_cast<const char*>(data.data()),
                                     static_cast<unsigned>(data.size()), HB_MEMORY_MODE_READONLY,
                                     nullptr, nullptr);
    internal->face = hb_face_create(blob, faceIndex);
    hb_blob_destroy(blob);
    if (hb_face_get_glyph_count(internal->face) == 0 || hb_face_get_upem(internal->face) == 0) {
        return nullptr;
    }
    internal->font = hb_font_create(internal->face);
    const int upem = static_cast<int>(hb_face_get_upem(internal->face));
    hb_font_set_scale(internal->font, upem, upem);
    hb_font_make_immutable(internal->font);
    internal->postScriptName = nameOf(internal->face, HB_OT_NAME_ID_POSTSCRIPT_NAME);
    internal->familyName = nameOf(internal->face, HB_OT_NAME_ID_FONT_FAMILY);
    return std::make_shared<const GlyphFace>(std::move(internal));
}

std::shared_ptr<const GlyphFace> GlyphFace::fromFile(const std::string& path, unsigned faceIndex) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return nullptr;
    }
    const std::streamoff size = file.tellg();
    if (size <= 0 || static_cast<std::uint64_t>(size) > maxFileSize) {
        return nullptr;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) {
        return nullptr;
    }
    return fromData(std::move(bytes), faceIndex);
}

std::string GlyphFace::postScriptName() const {
    return internal_->postScriptName;
}
std::string GlyphFace::familyName() const {
    return internal_->familyName;
}
unsigned GlyphFace::unitsPerEm() const {
    return hb_face_get_upem(internal_->face);
}
unsigned GlyphFace::glyphCount() const {
    return hb_face_get_glyph_count(internal_->face);
}

double GlyphFace::ascender() const {
    hb_font_extents_t extents{};
    hb_font_get_h_extents(internal_->font, &extents);
    return extents.ascender;
}

double GlyphFace::descender() const {
    hb_font_extents_t extents{};
    hb_font_get_h_extents(internal_->font, &extents);
    return -extents.descender;
}

bool GlyphFace::hasMathTable() const {
    return hb_ot_math_has_data(internal_->face) != 0;
}

std::optional<std::string> GlyphFace::glyphName(GlyphID glyph) const {
    if (glyph >= glyphCount()) {
        return std::nullopt;
    }
    char buffer[128];
    if (!hb_font_get_glyph_name(internal_->font, glyph, buffer, sizeof buffer) ||
        buffer[0] == '\0') {
        return std::nullopt;
    }
    return std::string(buffer);
}

std::optional<GlyphID> GlyphFace::glyph(std::string_view name) const {
    if (name.empty() || name.size() > 255) {
        return std::nullopt;
    }
    hb_codepoint_t glyph = 0;
    if (!hb_font_get_glyph_from_name(internal_->font, name.data(), static_cast<int>(name.size()),
                                     &glyph) ||
        glyph > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<GlyphID>(glyph);
}

std::optional<GlyphID> GlyphFace::glyph(char32_t character) const {
    hb_codepoint_t glyph = 0;
    if (!hb_font_get_nominal_glyph(internal_->font, character, &glyph) || glyph > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<GlyphID>(glyph);
}

double GlyphFace::advance(GlyphID glyph) const {
    if (glyph >= glyphCount()) {
        return 0;
    }
    return hb_font_get_glyph_h_advance(internal_->font, glyph);
}

Rect GlyphFace::boundingBox(GlyphID glyph) const {
    const unsigned count = glyphCount();
    if (glyph >= count) {
        return Rect::zero();
    }
    const std::lock_guard lock(internal_->boxesMutex);
    auto& boxes = internal_->boxes;
    if (boxes.empty()) {
        boxes.resize(count);
    }
    Internal::KnownBox& known = boxes[glyph];
    if (!known.known) {
        hb_glyph_extents_t extents{};
        if (!hb_font_get_glyph_extents(internal_->font, glyph, &extents) || extents.width == 0 ||
            extents.height == 0) {
            known.box = Rect::zero();
        } else {
            // HarfBuzz gives the top-left corner and a downward height.
            known.box = Rect(extents.x_bearing, extents.y_bearing + extents.height, extents.width,
                             -extents.height);
        }
        known.known = true;
    }
    return known.box;
}

Path GlyphFace::outline(GlyphID glyph) const {
    PathSink sink;
    if (glyph < glyphCount()) {
        hb_font_get_glyph_shape(internal_->font, glyph, outlineFunctions(), &sink);
    }
    return sink.path;
}

} // namespace platform
