// Renders every formula of a corpus (one per line) with each bundled math font and writes one
// contact sheet per font, for reviewing the typesetting by eye:
//
//     math-contact-sheet <formulas.txt> <output directory> [points [first [count [width]]]]
//
// `first` (counted from 1) and `count` pick a part of the corpus, for a closer look at larger
// sizes. A `width` typesets each formula with that maximum width, as the math view does with the
// width it is offered; without one (or with 0) nothing is broken.
// Formulas flow left to right in numbered cells; a formula that does not parse or typeset leaves
// its cell empty and is listed on standard error.

#include "Math/AtomList.hpp"
#include "Math/DisplayDrawing.hpp"
#include "Math/FontRegistry.hpp"
#include "Math/Parser.hpp"
#include "Math/PlatformFont.hpp"
#include "Math/Typesetter.hpp"
#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "platform/graphics/ImageSurface.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kSheetWidth = 1600;
constexpr double kPadding = 10;
constexpr double kLabelSize = 8;
constexpr double kMaxCellWidth = kSheetWidth - 2 * kPadding;

struct Cell {
    std::size_t number = 0;
    std::shared_ptr<Math::DisplayList> root;
    platform::Rect frame;
};

std::vector<std::string> readCorpus(const char* path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

/// Lays the cells out in rows; returns the sheet's height.
double layout(std::vector<Cell>& cells) {
    double x = kPadding;
    double y = kPadding;
    double rowHeight = 0;
    std::size_t rowStart = 0;
    const auto finishRow = [&](std::size_t end) {
        for (std::size_t i = rowStart; i < end; ++i) {
            cells[i].frame.size.height = rowHeight;
        }
        y += rowHeight;
        x = kPadding;
        rowHeight = 0;
        rowStart = end;
    };
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const Math::DisplayList* root = cells[i].root.get();
        const double width =
            std::min(kMaxCellWidth, std::max(60.0, (root ? root->width() : 0) + 2 * kPadding));
        const double height =
            (root ? root->ascent() + root->descent() : 0) + 2 * kPadding + kLabelSize;
        if (x + width > kSheetWidth - kPadding && i > rowStart) {
            finishRow(i);
        }
        cells[i].frame = {x, y, width, 0};
        rowHeight = std::max(rowHeight, height);
        x += width;
    }
    finishRow(cells.size());
    return y + kPadding;
}

bool renderSheet(const Math::Font& font, const std::vector<std::string>& formulas,
                 std::size_t numberOffset, double maxWidth, const std::filesystem::path& output) {
    const auto platformFont = Math::PlatformFont::make(font);
    if (!platformFont) {
        return false;
    }
    std::vector<Cell> cells;
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        Cell cell;
        cell.number = numberOffset + i + 1;
        if (const auto list = Math::parseLatex(formulas[i])) {
            cell.root = Math::Typesetter::createLine(*Math::finalizedAtomList(*list), platformFont,
                                                     Math::Style::Level::display, false, maxWidth);
        }
        if (!cell.root) {
            std::fprintf(stderr, "%s: formula %zu not set: %s\n", font.name.rawValue().c_str(),
                         cell.number, formulas[i].c_str());
        }
        cells.push_back(std::move(cell));
    }
    const double height = layout(cells);

    platform::ImageSurface surface = platform::ImageSurface::ofSize({kSheetWidth, height}, 1.0);
    platform::GraphicsContext context(surface);
    context.fill(platform::Rect(0, 0, kSheetWidth, height), platform::Color::white());
    const platform::GlyphFont label(platformFont->sharedFace(), kLabelSize);
    for (const Cell& cell : cells) {
        const platform::Rect& f = cell.frame;
        context.stroke(platform::Path::rect(f), platform::Color::gray(0.85),
                       platform::StrokeStyle{0.5});
        label.draw(context, label.shape(std::to_string(cell.number)),
                   {f.origin.x + 2, f.origin.y + kLabelSize}, platform::Color::gray(0.55));
        if (!cell.root) {
            continue;
        }
        context.save();
        context.clip(f);
        context.translateBy(f.origin.x + kPadding,
                            f.origin.y + kLabelSize + kPadding + cell.root->ascent());
        context.scaleBy(1, -1);
        Math::drawDisplayNode(*cell.root, platform::Color::black(), context);
        context.restore();
    }
    const auto png = platform::encodePNG(surface.makeImage());
    if (!png) {
        return false;
    }
    std::ofstream(output, std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data()),
               static_cast<std::streamsize>(png->size()));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s <formulas.txt> <output directory> [points [first [count "
                     "[width]]]]\n",
                     argv[0]);
        return 2;
    }
    std::vector<std::string> formulas = readCorpus(argv[1]);
    const std::size_t first = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 1;
    const std::size_t count = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : formulas.size();
    const std::size_t begin = std::min(formulas.size(), first > 0 ? first - 1 : 0);
    formulas = std::vector(
        formulas.begin() + static_cast<std::ptrdiff_t>(begin),
        formulas.begin() + static_cast<std::ptrdiff_t>(std::min(formulas.size(), begin + count)));
    const std::filesystem::path directory = argv[2];
    const double size = argc > 3 ? std::atof(argv[3]) : 20.0;
    const double maxWidth = argc > 6 ? std::atof(argv[6]) : 0.0;
    std::filesystem::create_directories(directory);
    int written = 0;
    for (const Math::Font::Name& name :
         {Math::Font::Name::latinModern, Math::Font::Name::kpMathLight,
          Math::Font::Name::kpMathSans, Math::Font::Name::xits, Math::Font::Name::termes,
          Math::Font::Name::asana, Math::Font::Name::euler, Math::Font::Name::fira,
          Math::Font::Name::notoSans, Math::Font::Name::libertinus, Math::Font::Name::garamond,
          Math::Font::Name::leteSans}) {
        const std::filesystem::path output = directory / (name.rawValue() + ".png");
        if (renderSheet(Math::Font(name, size), formulas, begin, maxWidth, output)) {
            std::printf("%s\n", output.c_str());
            ++written;
        }
    }
    return written > 0 ? 0 : 1;
}
