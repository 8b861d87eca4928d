#include "tools/vellum-render/PngStripWriter.hpp"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <png.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace vellum_render {

struct PngStripWriter::State {
    std::filesystem::path target;
    // The picture is written beside its target under a name of its own and takes the target's
    // name only once whole, so a failure part-way never leaves a broken file where a good one was.
    std::filesystem::path temporary;
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    int width = 0;
    int height = 0;
    int written = 0;
    bool opaque = false;
    std::vector<png_byte> row;
};

namespace {

// A new file in `target`'s folder, open for writing, with the permissions `fopen` would have
// given the target: those of the file it replaces, else what the umask leaves of 0666.
std::FILE* openBeside(const std::filesystem::path& target, std::filesystem::path& temporary) {
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string leaf(".");
    leaf.append(target.filename().string()).append(".XXXXXX");
    std::string name = (folder / leaf).string();
    const int descriptor = ::mkstemp(name.data());
    if (descriptor < 0) {
        throw std::runtime_error(std::strerror(errno));
    }
    temporary = name;
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::FILE* file = ::fchmod(descriptor, mode) == 0 ? ::fdopen(descriptor, "wb") : nullptr;
    if (file == nullptr) {
        const int error = errno;
        ::close(descriptor);
        ::unlink(name.c_str());
        temporary.clear();
        throw std::runtime_error(std::strerror(error));
    }
    return file;
}

// libpng reports errors by jumping back to the setjmp of the call that failed; these frames hold
// nothing with a destructor.
bool start(PngStripWriter::State& s) {
    if (setjmp(png_jmpbuf(s.png))) {
        return false;
    }
    png_init_io(s.png, s.file);
    png_set_IHDR(s.png, s.info, png_uint_32(s.width), png_uint_32(s.height), 8,
                 s.opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(s.png, Z_BEST_SPEED);
    png_write_info(s.png, s.info);
    return true;
}

bool writeRow(PngStripWriter::State& s) {
    if (setjmp(png_jmpbuf(s.png))) {
        return false;
    }
    png_write_row(s.png, s.row.data());
    return true;
}

bool end(PngStripWriter::State& s) {
    if (setjmp(png_jmpbuf(s.png))) {
        return false;
    }
    png_write_end(s.png, s.info);
    return true;
}

} // namespace

PngStripWriter::PngStripWriter(const std::filesystem::path& path, int width, int height,
                               bool opaque)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.width = width;
    s.height = height;
    s.opaque = opaque;
    s.row.resize(std::size_t(width) * (opaque ? 3 : 4));
    s.target = path;
    s.file = openBeside(path, s.temporary);
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    s.info = s.png != nullptr ? png_create_info_struct(s.png) : nullptr;
    if (s.info == nullptr || !start(s)) {
        throw std::runtime_error("cannot start the picture");
    }
}

PngStripWriter::~PngStripWriter() {
    if (state_->png != nullptr) {
        png_destroy_write_struct(&state_->png, &state_->info);
    }
    if (state_->file != nullptr) {
        std::fclose(state_->file);
    }
    // Not finished: the target keeps what it held before.
    if (!state_->temporary.empty()) {
        ::unlink(state_->temporary.c_str());
    }
}

void PngStripWriter::write(const platform::Image& strip, int rows) {
    State& s = *state_;
    if (strip.width() != s.width || rows > strip.height() || s.written + rows > s.height) {
        throw std::runtime_error("a strip does not fit the picture");
    }
    const std::span<const std::uint32_t> pixels = strip.pixels();
    for (int y = 0; y < rows; ++y) {
        const std::uint32_t* source = pixels.data() + std::size_t(y) * std::size_t(s.width);
        png_byte* out = s.row.data();
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t v = source[x];
            const std::uint32_t a = v >> 24;
            std::uint32_t r = (v >> 16) & 0xff;
            std::uint32_t g = (v >> 8) & 0xff;
            std::uint32_t b = v & 0xff;
            if (s.opaque) {
                *out++ = png_byte(r);
                *out++ = png_byte(g);
                *out++ = png_byte(b);
                continue;
            }
            // Straight alpha from premultiplied.
            if (a != 0 && a != 255) {
                r = std::min<std::uint32_t>(255, (r * 255 + a / 2) / a);
                g = std::min<std::uint32_t>(255, (g * 255 + a / 2) / a);
                b = std::min<std::uint32_t>(255, (b * 255 + a / 2) / a);
            }
            *out++ = png_byte(r);
            *out++ = png_byte(g);
            *out++ = png_byte(b);
            *out++ = png_byte(a);
        }
        if (!writeRow(s)) {
            throw std::runtime_error("cannot encode the picture");
        }
    }
    s.written += rows;
}

void PngStripWriter::finish() {
    State& s = *state_;
    if (s.written != s.height || !end(s)) {
        throw std::runtime_error("cannot encode the picture");
    }
    png_destroy_write_struct(&s.png, &s.info);
    s.png = nullptr;
    const bool written = std::fflush(s.file) == 0 && ::fsync(::fileno(s.file)) == 0;
    const bool closed = std::fclose(s.file) == 0;
    s.file = nullptr;
    if (!written || !closed) {
        throw std::runtime_error("cannot write the picture");
    }
    if (std::rename(s.temporary.c_str(), s.target.c_str()) != 0) {
        throw std::runtime_error(std::strerror(errno));
    }
    s.temporary.clear();
}

} // namespace vellum_render
