#include "Math/FontRegistry.hpp"

#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

namespace Math {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBundleName = "math-typeset_MathTypeset.bundle";
/// Table files are a few hundred kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaxTableFileSize = std::uintmax_t{16} << 20;

std::optional<fs::path> executableDirectory() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error || exe.empty()) {
        return std::nullopt;
    }
    return exe.parent_path();
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

/// A name is a base name inside the bundle: one that could reach another directory, or a hidden
/// file, names no font.
bool isPlainName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name.size() <= 255;
}

std::optional<std::vector<std::uint8_t>> readFile(const fs::path& path, std::uintmax_t limit) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error || size == 0 || size > limit) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

const std::optional<fs::path>& FontRegistry::locateModuleBundle() {
    static const std::optional<fs::path> bundle = []() -> std::optional<fs::path> {
        if (const std::optional<fs::path> exe = executableDirectory()) {
            fs::path directory = *exe;
            for (int level = 0; level < 4; ++level) {
                const fs::path candidate = directory / "resources" / kBundleName;
                if (isDirectory(candidate)) {
                    return candidate;
                }
                directory = directory.parent_path();
            }
            const fs::path installed = *exe / ".." / "share" / "mossbarrow" / kBundleName;
            if (isDirectory(installed)) {
                return installed.lexically_normal();
            }
        }
        // Said once: every formula of the process will be empty.
        std::fprintf(stderr, "Math: unable to find bundle named math-typeset_MathTypeset\n");
        return std::nullopt;
    }();
    return bundle;
}

FontRegistry& FontRegistry::shared() {
    static FontRegistry registry([]() -> std::optional<fs::path> {
        const std::optional<fs::path>& bundle = locateModuleBundle();
        if (!bundle) {
            return std::nullopt;
        }
        return *bundle / "mathFonts.bundle";
    }());
    return registry;
}

FontRegistry::FontRegistry(std::optional<fs::path> mathFontsDirectory)
    : directory_(std::move(mathFontsDirectory)) {}

const FontRegistry::Entry* FontRegistry::entry(Cache& cache, const Font::Name& name) const {
    if (const auto it = cache.fonts.find(name); it != cache.fonts.end()) {
        return &it->second;
    }
    // The sub-bundle is looked at again on every miss: nothing about a missing font is kept.
    if (!directory_ || !isPlainName(name.rawValue()) || !isDirectory(*directory_)) {
        return nullptr;
    }
    const fs::path base = *directory_ / name.rawValue();
    auto face = platform::GlyphFace::fromFile(fs::path(base).concat(".otf").string());
    if (!face) {
        return nullptr;
    }
    const std::optional<std::vector<std::uint8_t>> bytes =
        readFile(fs::path(base).concat(".plist"), kMaxTableFileSize);
    if (!bytes) {
        return nullptr;
    }
    std::optional<FontTable> decoded = FontTable::decode(*bytes);
    if (!decoded) {
        return nullptr;
    }
    auto table = std::make_shared<const FontTable>(std::move(*decoded));
    auto tables = FontMetrics::index(table, face);
    // Only fonts that loaded are kept, and only as many as the bundle holds files for.
    const auto [it, inserted] =
        cache.fonts.emplace(name, Entry{std::move(face), std::move(table), std::move(tables)});
    return &it->second;
}

std::shared_ptr<const platform::GlyphFace> FontRegistry::graphicsFont(const Font::Name& name) {
    return cache_.withWriteLock([&](Cache& cache) -> std::shared_ptr<const platform::GlyphFace> {
        const Entry* e = entry(cache, name);
        return e != nullptr ? e->face : nullptr;
    });
}

std::shared_ptr<const FontTable> FontRegistry::fontTable(const Font::Name& name) {
    return cache_.withWriteLock([&](Cache& cache) -> std::shared_ptr<const FontTable> {
        const Entry* e = entry(cache, name);
        return e != nullptr ? e->table : nullptr;
    });
}

std::shared_ptr<const FontMetrics::Tables> FontRegistry::metricsTables(const Font::Name& name) {
    return cache_.withWriteLock([&](Cache& cache) -> std::shared_ptr<const FontMetrics::Tables> {
        const Entry* e = entry(cache, name);
        return e != nullptr ? e->tables : nullptr;
    });
}

std::optional<platform::GlyphFont> FontRegistry::glyphFont(const Font& font) {
    // A face at a size is two fields; making one costs less than any cache of them would.
    std::shared_ptr<const platform::GlyphFace> face = graphicsFont(font.name);
    if (!face) {
        return std::nullopt;
    }
    return platform::GlyphFont(std::move(face), font.size);
}

} // namespace Math
