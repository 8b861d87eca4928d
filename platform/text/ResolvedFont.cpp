#include "platform/text/ResolvedFont.hpp"

#include "platform/foundation/Hash.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <fontconfig/fontconfig.h>
#include <memory>
#include <mutex>
#include <string>
#include <unicode/uchar.h>
#include <unordered_map>

namespace platform {
namespace {

constexpr const char* kEmojiFamily = "Noto Color Emoji";

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;
struct FontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
using FontSetPtr = std::unique_ptr<FcFontSet, FontSetDeleter>;
struct CharSetDeleter {
    void operator()(FcCharSet* c) const { FcCharSetDestroy(c); }
};
using CharSetPtr = std::unique_ptr<FcCharSet, CharSetDeleter>;

std::string stringOf(const FcPattern* pattern, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(pattern, object, 0, &value) == FcResultMatch && value != nullptr) {
        return reinterpret_cast<const char*>(value);
    }
    return {};
}

/// The matched faces and their character coverage, shared by every thread: fontconfig matching
/// costs far more than a lookup, and the same few requests recur for every paragraph.
class FontCatalog {
public:
    static FontCatalog& shared() {
        static FontCatalog catalog;
        return catalog;
    }

    std::optional<ResolvedFont> match(const FontRequest& request) {
        const std::string key = request.family + '\n' + std::to_string(request.weight) + '\n' +
                                (request.italic ? "i" : "r") + std::to_string(request.width);
        {
            const std::lock_guard lock(mutex_);
            if (const auto it = matches_.find(key); it != matches_.end()) {
                return withRequest(it->second, request);
            }
        }
        PatternPtr pattern = patternFor(request);
        FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
        FcDefaultSubstitute(pattern.get());
        FcResult result = FcResultNoMatch;
        const PatternPtr found(FcFontMatch(nullptr, pattern.get(), &result));
        std::optional<ResolvedFont> font;
        if (found) {
            font = fontFrom(found.get());
        }
        const std::lock_guard lock(mutex_);
        matches_.emplace(key, font);
        return withRequest(font, request);
    }

    bool covers(const ResolvedFont& font, char32_t character) {
        const std::lock_guard lock(mutex_);
        const FcCharSet* charset = charsetLocked(font);
        return charset != nullptr && FcCharSetHasChar(charset, character);
    }

    std::optional<ResolvedFont> fallback(const ResolvedFont& font, char32_t character) {
        PatternPtr pattern =
            patternFor(FontRequest{font.family, font.size, font.weight, font.italic, font.width});
        FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
        FcDefaultSubstitute(pattern.get());
        FcResult result = FcResultNoMatch;
        const FontSetPtr sorted(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
        if (!sorted) {
            return std::nullopt;
        }
        for (int i = 0; i < sorted->nfont; ++i) {
            FcCharSet* charset = nullptr;
            if (FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch ||
                !FcCharSetHasChar(charset, character)) {
                continue;
            }
            const PatternPtr prepared(
                FcFontRenderPrepare(nullptr, pattern.get(), sorted->fonts[i]));
            if (!prepared) {
                continue;
            }
            std::optional<ResolvedFont> candidate = fontFrom(prepared.get());
            if (!candidate) {
                continue;
            }
            candidate->size = font.size;
            candidate->weight = font.weight;
            candidate->italic = font.italic;
            candidate->width = font.width;
            candidate->features = font.features;
            candidate->leading = font.leading;
            return candidate;
        }
        return std::nullopt;
    }

private:
    FontCatalog() { FcInit(); }

    static PatternPtr patternFor(const FontRequest& request) {
        PatternPtr pattern(FcPatternCreate());
        FcPatternAddString(pattern.get(), FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(request.family.c_str()));
        FcPatternAddDouble(pattern.get(), FC_WEIGHT,
                           FcWeightFromOpenTypeDouble(std::clamp(request.weight, 1.0, 1000.0)));
        FcPatternAddInteger(pattern.get(), FC_SLANT,
                            request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddInteger(pattern.get(), FC_WIDTH, static_cast<int>(std::lround(request.width)));
        FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
        return pattern;
    }

    static std::optional<ResolvedFont> fontFrom(const FcPattern* pattern) {
        ResolvedFont font;
        font.family = stringOf(pattern, FC_FAMILY);
        font.postScriptName = stringOf(pattern, FC_POSTSCRIPT_NAME);
        font.file = stringOf(pattern, FC_FILE);
        int index = 0;
        if (FcPatternGetInteger(pattern, FC_INDEX, 0, &index) == FcResultMatch) {
            font.faceIndex = index;
        }
        if (font.file.empty()) {
            return std::nullopt;
        }
        return font;
    }

    static std::optional<ResolvedFont> withRequest(std::optional<ResolvedFont> font,
                                                   const FontRequest& request) {
        if (font) {
            font->size = request.size;
            font->weight = request.weight;
            font->italic = request.italic;
            font->width = request.width;
        }
        return font;
    }

    const FcCharSet* charsetLocked(const ResolvedFont& font) {
        const std::string key = font.file + '#' + std::to_string(font.faceIndex);
        if (const auto it = charsets_.find(key); it != charsets_.end()) {
            return it->second.get();
        }
        PatternPtr query(FcPatternBuild(nullptr, FC_FILE, FcTypeString, font.file.c_str(), FC_INDEX,
                                        FcTypeInteger, font.faceIndex, nullptr));
        std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
            FcObjectSetBuild(FC_CHARSET, nullptr), &FcObjectSetDestroy);
        const FontSetPtr listed(FcFontList(nullptr, query.get(), objects.get()));
        CharSetPtr charset;
        if (listed && listed->nfont > 0) {
            FcCharSet* found = nullptr;
            if (FcPatternGetCharSet(listed->fonts[0], FC_CHARSET, 0, &found) == FcResultMatch) {
                charset.reset(FcCharSetCopy(found));
            }
        }
        const FcCharSet* raw = charset.get();
        charsets_.emplace(key, std::move(charset));
        return raw;
    }

    std::mutex mutex_;
    std::unordered_map<std::string, std::optional<ResolvedFont>> matches_;
    std::unordered_map<std::string, CharSetPtr> charsets_;
};

} // namespace

std::optional<ResolvedFont> ResolvedFont::match(const FontRequest& request) {
    return FontCatalog::shared().match(request);
}

bool ResolvedFont::covers(char32_t character) const {
    return FontCatalog::shared().covers(*this, character);
}

std::optional<ResolvedFont> ResolvedFont::fallback(char32_t character) const {
    if (covers(character)) {
        return *this;
    }
    if (u_hasBinaryProperty(static_cast<UChar32>(character), UCHAR_EMOJI_PRESENTATION) ||
        u_hasBinaryProperty(static_cast<UChar32>(character), UCHAR_EXTENDED_PICTOGRAPHIC)) {
        std::optional<ResolvedFont> emoji = match(FontRequest{kEmojiFamily, size, 400, false, 100});
        if (emoji && emoji->family == kEmojiFamily && emoji->covers(character)) {
            emoji->features = features;
            emoji->leading = leading;
            return emoji;
        }
    }
    return FontCatalog::shared().fallback(*this, character);
}

ResolvedFont ResolvedFont::withSize(double pointSize) const {
    ResolvedFont copy = *this;
    copy.size = pointSize;
    return copy;
}

bool ResolvedFont::hasFeature(const std::string& tag) const {
    return std::find(features.begin(), features.end(), tag) != features.end();
}

std::size_t ResolvedFont::hash() const noexcept {
    std::size_t seed = std::hash<std::string>{}(family);
    const auto combine = [&seed](std::size_t v) { seed = hashCombine(seed, v); };
    combine(std::hash<std::string>{}(file));
    combine(static_cast<std::size_t>(faceIndex));
    combine(hashDouble(size));
    combine(hashDouble(weight));
    combine(italic ? 1 : 0);
    combine(hashDouble(width));
    for (const std::string& f : features) {
        combine(std::hash<std::string>{}(f));
    }
    combine(static_cast<std::size_t>(leading));
    return seed;
}

} // namespace platform
