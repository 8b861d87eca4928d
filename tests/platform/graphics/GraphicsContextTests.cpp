#include "platform/graphics/GraphicsContext.hpp"
#include "platform/graphics/ImageSource.hpp"
#include "platform/graphics/ImageSurface.hpp"
#include "tests/support/PixelSnapshot.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace platform;

namespace {

using Pixel = Image::Pixel;

constexpr Pixel red{255, 0, 0, 255};
constexpr Pixel transparent{0, 0, 0, 0};

void expectNear(const Pixel& actual, const Pixel& expected, int tolerance, const char* where) {
    EXPECT_NEAR(actual.red, expected.red, tolerance) << where;
    EXPECT_NEAR(actual.green, expected.green, tolerance) << where;
    EXPECT_NEAR(actual.blue, expected.blue, tolerance) << where;
    EXPECT_NEAR(actual.alpha, expected.alpha, tolerance) << where;
}

// Snapshots live in tests/fixtures/images; at most 0.5 % of pixels may be off at all.
void expectSnapshot(const Image& image, const std::string& name, int tolerance = 24) {
    moss_test::expectSnapshot(image, "tests/fixtures/images/" + name + ".png", tolerance, 0.005);
}

} // namespace

TEST(GraphicsContext, TransformsClipsAndSaveRestore) {
    ImageSurface surface(40, 40);
    {
        GraphicsContext g(surface);
        g.save();
        g.translateBy(10, 10);
        g.scaleBy(2, 2);
        EXPECT_EQ(g.transform().apply(Point{1, 1}), (Point{12, 12}));
        g.clip(Rect(0, 0, 5, 5)); // device 10...20
        g.fill(Rect(-100, -100, 400, 400), Color(1, 0, 0));
        EXPECT_EQ(g.clipBoundingRect(), Rect(0, 0, 5, 5));
        g.restore();
        EXPECT_TRUE(g.transform().isIdentity());
        g.restore(); // unbalanced: ignored
        g.fill(Rect(30, 30, 5, 5), Color(0, 0, 1));
        // A singular transform would wedge the context; it is ignored and drawing continues.
        g.scaleBy(0, 1);
        g.fill(Rect(0, 35, 5, 5), Color(0, 1, 0));
        // Zero width is a hairline, not nothing.
        StrokeStyle hairline;
        hairline.lineWidth = 0;
        Path rule;
        rule.move({0, 25.5});
        rule.addLine({40, 25.5});
        g.stroke(rule, Color::black(), hairline);
    }
    const Image img = surface.makeImage();
    EXPECT_EQ(img.pixel(10, 10), red);
    EXPECT_EQ(img.pixel(19, 19), red);
    EXPECT_EQ(img.pixel(20, 20), transparent);
    EXPECT_EQ(img.pixel(9, 15), transparent);
    EXPECT_EQ(img.pixel(32, 32), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(img.pixel(2, 37), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(img.pixel(30, 25), (Pixel{0, 0, 0, 255}));
    EXPECT_EQ(img.pixel(30, 24), transparent);
}

TEST(GraphicsContext, OpacityAppearanceAndScaledSurface) {
    ImageSurface surface = ImageSurface::ofSize({10, 10}, 2);
    EXPECT_EQ(surface.pixelWidth(), 20);
    {
        GraphicsContext g(surface);
        g.setOpacity(0.5);
        g.fill(Rect(0, 0, 5, 10), Color(0, 0, 1));
        g.setOpacity(1);
        g.setAppearance({ColorScheme::dark, ColorSchemeContrast::increased});
        g.fill(Rect(5, 0, 5, 10), Color::primary());
        EXPECT_EQ(g.resolve(Color::primary()),
                  Color::primary().resolve({ColorScheme::dark, ColorSchemeContrast::increased}));
    }
    const Image img = surface.makeImage();
    expectNear(img.pixel(9, 5), Pixel{0, 0, 255, 128}, 1, "half-opaque blue");
    EXPECT_EQ(img.pixel(19, 19), (Pixel{255, 255, 255, 255})); // dark high-contrast label
}

TEST(GraphicsContext, LayerCompositesOnceWithItsOpacity) {
    ImageSurface surface(30, 10);
    {
        GraphicsContext g(surface);
        g.setOpacity(0.5);
        g.drawLayer([](GraphicsContext& layer) {
            EXPECT_EQ(layer.opacity(), 1.0);
            layer.fill(Rect(0, 0, 20, 10), Color(1, 0, 0));
            layer.fill(Rect(10, 0, 20, 10), Color(1, 0, 0));
        });
        EXPECT_EQ(g.opacity(), 0.5);
    }
    const Image img = surface.makeImage();
    // The overlap is no more opaque than the rest: the layer is blended as one picture.
    expectNear(img.pixel(5, 5), Pixel{255, 0, 0, 128}, 1, "left");
    expectNear(img.pixel(15, 5), Pixel{255, 0, 0, 128}, 1, "overlap");
}

TEST(GraphicsContext, DestinationInMasksWithALayer) {
    // The monochrome-glyph technique: fill with the colour, then keep it only where a layer
    // drawn in destination-in mode is opaque.
    ImageSurface surface(60, 40);
    {
        GraphicsContext g(surface);
        g.fill(Rect(0, 0, 60, 40), Color(0.2, 0.4, 0.8));
        g.setBlendMode(BlendMode::destinationIn);
        g.drawLayer([](GraphicsContext& layer) {
            layer.fill(Path::ellipse(Rect(5, 5, 30, 30)), Color::black());
            layer.fill(Path::roundedRect(Rect(40, 5, 15, 30), 4, RoundedCornerStyle::continuous),
                       Color::black());
        });
    }
    const Image img = surface.makeImage();
    expectNear(img.pixel(20, 20), Pixel{51, 102, 204, 255}, 1, "inside ellipse");
    EXPECT_EQ(img.pixel(2, 2).alpha, 0);
    EXPECT_EQ(img.pixel(37, 20).alpha, 0);
    EXPECT_EQ(img.pixel(47, 20).alpha, 255);
    expectSnapshot(img, "snapshot-destination-in");
}

TEST(GraphicsContext, ShapesStrokesAndImagesSnapshot) {
    ImageSurface surface(80, 60);
    {
        GraphicsContext g(surface);
        g.fill(Rect(0, 0, 80, 60), Color::white());
        const Path card =
            Path::roundedRect(Rect(4.5, 4.5, 50, 30), 6, RoundedCornerStyle::continuous);
        g.fill(card, Color(0.95, 0.9, 0.8));
        StrokeStyle dashed;
        dashed.lineWidth = 1;
        dashed.dash = {3, 2};
        g.stroke(card, Color::separator(), dashed);
        StrokeStyle thick;
        thick.lineWidth = 4;
        thick.lineCap = LineCap::round;
        Path line;
        line.move({10, 50});
        line.addLine({70, 45});
        g.stroke(line, Color::accentColor(), thick);
        // A 2 × 2 image scaled up in a rotated frame.
        const std::vector<std::uint8_t> checker = {255, 0, 0,   255, 0, 255, 0, 255,
                                                   0,   0, 255, 255, 0, 0,   0, 0};
        g.save();
        g.translateBy(68, 18);
        g.rotateBy(0.3);
        g.draw(Image::fromRGBA(2, 2, checker), Rect(-8, -8, 16, 16));
        g.restore();
        // A bad dash is drawn solid rather than breaking the context.
        StrokeStyle bad;
        bad.dash = {-1, 0};
        g.stroke(Path::rect(Rect(60, 40, 10, 10)), Color::black(), bad);
    }
    const Image img = surface.makeImage();
    EXPECT_EQ(img.pixel(60, 40).alpha, 255);
    expectNear(img.pixel(30, 20), Pixel{242, 230, 204, 255}, 1, "card fill");
    expectSnapshot(img, "snapshot-shapes");
}

TEST(GraphicsContext, UnbalancedStateIsUnwoundOnDestruction) {
    ImageSurface surface(10, 10);
    {
        GraphicsContext g(surface);
        g.beginLayer();
        g.save();
        g.fill(Rect(0, 0, 10, 10), Color(0, 1, 0));
        // Neither the save nor the layer is closed: the layer still reaches the surface.
    }
    EXPECT_EQ(surface.makeImage().pixel(5, 5), (Pixel{0, 255, 0, 255}));
    EXPECT_THROW(ImageSurface(0, 10), std::invalid_argument);
    EXPECT_THROW(ImageSurface(1 << 16, 1 << 16), std::length_error);
}

// Drawing in a fully transparent colour with the normal blend mode is left out; every other blend
// mode, and the faintest visible colour, still draws.
TEST(GraphicsContext, TransparentDrawingLeavesPixelsAndOtherModesStillDraw) {
    ImageSurface surface(40, 40);
    GraphicsContext g(surface);
    g.fill(Rect(0, 0, 40, 40), Color(0.2, 0.4, 0.6));
    const Image before = surface.makeImage();
    StrokeStyle wide;
    wide.lineWidth = 5;
    // Under a clip to a curved shape too, which Cairo would otherwise hand a mask of.
    g.save();
    g.clip(Path::roundedRect(Rect(2.5, 2.5, 35, 35), 8, RoundedCornerStyle::continuous));
    g.fill(Rect(0, 0, 40, 40), Color(1, 0, 0, 0));
    g.stroke(Path::ellipse(Rect(5, 5, 30, 30)), Color::clear(), wide);
    g.setOpacity(0);
    g.fill(Rect(0, 0, 40, 40), Color(1, 0, 0));
    g.stroke(Path::rect(Rect(4, 4, 30, 30)), Color(0, 1, 0), wide);
    g.restore();
    const Image untouched = surface.makeImage();
    EXPECT_TRUE(std::equal(untouched.pixels().begin(), untouched.pixels().end(),
                           before.pixels().begin(), before.pixels().end()));

    // The faintest colour Cairo can show changes what lies under it.
    g.fill(Rect(0, 0, 10, 10), Color(1, 1, 1, 1.0 / 255));
    EXPECT_NE(surface.makeImage().pixel(5, 5), before.pixel(5, 5));
    EXPECT_EQ(surface.makeImage().pixel(15, 5), before.pixel(15, 5));
    // Copying a transparent colour clears the pixels it covers, stroked or filled.
    g.setBlendMode(BlendMode::copy);
    g.fill(Rect(20, 20, 10, 10), Color::clear());
    g.stroke(Path::rect(Rect(0.5, 30.5, 15, 5)), Color::clear(), StrokeStyle{});
    const Image after = surface.makeImage();
    EXPECT_EQ(after.pixel(25, 25), transparent);
    EXPECT_EQ(after.pixel(0, 30), transparent);
    EXPECT_EQ(after.pixel(35, 35), before.pixel(35, 35));
}
