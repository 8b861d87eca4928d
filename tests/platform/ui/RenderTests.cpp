#include "Probe.hpp"
#include "platform/observation/ObservationRegistrar.hpp"
#include "tests/support/PixelSnapshot.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>

using namespace ui_test;
using platform::Color;
using Bitmap = platform::Image;

namespace {

std::string snapshot(const char* name) {
    return std::string(MOSS_UI_SNAPSHOTS) + "/" + name + ".png";
}

} // namespace

TEST(Rendering, PixelsLandWhereTheLayoutPutTheViews) {
    OffscreenHost host(HStack(
        VerticalAlignment::top(), 0.0,
        {AnyView(Color(1, 0, 0)).frame(10.0, 10.0), AnyView(Color(0, 0, 1)).frame(10.0, 20.0)}));
    const Bitmap image = host.render(2.0);
    ASSERT_EQ(image.width(), 40);
    ASSERT_EQ(image.height(), 40);
    EXPECT_EQ(image.pixel(5, 5), (Bitmap::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(image.pixel(25, 35), (Bitmap::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(image.pixel(5, 35).alpha, 0); // below the short red block
}

TEST(Rendering, OpacityClipAndOffsetApplyToTheSubtree) {
    OffscreenHost host(
        ZStack(Alignment::topLeading(),
               {AnyView(Color::white()).frame(40.0, 40.0),
                AnyView(Color(0, 0, 0)).frame(40.0, 40.0).clipShape(Circle()),
                AnyView(Color(1, 0, 0)).frame(10.0, 10.0).offset(30, 30).opacity(0.5)}));
    const Bitmap image = host.render();
    EXPECT_EQ(image.pixel(20, 20), (Bitmap::Pixel{0, 0, 0, 255}));
    EXPECT_EQ(image.pixel(1, 1), (Bitmap::Pixel{255, 255, 255, 255})); // outside the circle
    const Bitmap::Pixel tinted = image.pixel(35, 35);
    EXPECT_EQ(tinted.red, 255);
    EXPECT_NEAR(tinted.green, 128, 2);
}

TEST(Rendering, ShapesSnapshot) {
    OffscreenHost host(HStack(VerticalAlignment::center(), 6.0,
                              {RoundedRectangle(8).fill(Color(0.85, 0.2, 0.2)).frame(40.0, 30.0),
                               Circle().stroke(Color(0.1, 0.3, 0.9), 3).frame(30.0, 30.0),
                               Capsule().fill(Color(0.2, 0.6, 0.3)).frame(50.0, 20.0),
                               Canvas([](CanvasContext& c, platform::Size s) {
                                   platform::Path p;
                                   p.move({0, s.height});
                                   p.addLine({s.width / 2, 0});
                                   p.addLine({s.width, s.height});
                                   p.closeSubpath();
                                   c.graphics.fill(p, c.foregroundStyle());
                               })
                                   .foregroundStyle(Color(0.9, 0.6, 0.1))
                                   .frame(30.0, 26.0)})
                           .padding(6));
    moss_test::expectSnapshot(host.render(2.0, Color::white()), snapshot("shapes"), 8, 0.01);
}

TEST(Rendering, TextSnapshot) {
    OffscreenHost host(
        VStack(HorizontalAlignment::leading(), 4.0,
               {Text("Styled ") + Text("runs").bold().foregroundColor(Color(0.8, 0.1, 0.1)) +
                    Text(" with ") + Text("lines").underline() + Text(" and ") +
                    Text("strikes").strikethrough(),
                Text("A paragraph that wraps at the width it is offered, line after line.")
                    .font(platform::Font::system(15))
                    .multilineTextAlignment(TextAlignment::center),
                Divider()})
            .padding(8)
            .frame(220.0, std::nullopt, Alignment::topLeading()));
    moss_test::expectSnapshot(host.render(2.0, Color::white()), snapshot("text"), 24, 0.02);
}

TEST(Rendering, SystemColoursFollowTheEnvironmentsScheme) {
    EnvironmentValues dark;
    dark.set<ColorSchemeKey>(platform::ColorScheme::dark);
    OffscreenHost light(AnyView(Color::primary()).frame(4.0, 4.0));
    OffscreenHost night(AnyView(Color::primary()).frame(4.0, 4.0), {}, dark);
    EXPECT_LT(light.render().pixel(2, 2).red, 60);
    EXPECT_GT(night.render().pixel(2, 2).red, 200);
}

namespace {

class Tone {
public:
    enum class Property { dark };
    platform::ObservationRegistrar registrar;
    platform::Observed<bool> dark{registrar, Property::dark, false};
};

// A swatch whose colour changes below the top of a canvas's symbol (in the body inside its frame),
// as a picture's frame does inside a text's attachment.
struct DeepSwatch {
    std::shared_ptr<Tone> tone;
    AnyView body() const { return AnyView(Color::gray(tone->dark.get() ? 0.1 : 0.9)); }
    friend bool operator==(const DeepSwatch&, const DeepSwatch&) = default;
};

} // namespace

TEST(Rendering, AChangeDeepInsideACanvasSymbolShowsWhereTheCanvasDrawsIt) {
    auto tone = std::make_shared<Tone>();
    OffscreenHost host(
        Canvas([](CanvasContext& c,
                  platform::Size) { c.drawSymbol(ViewID(1), platform::Rect(4, 4, 10, 10)); },
               {{ViewID(1), AnyView(DeepSwatch{tone}).frame(10.0, 10.0)}})
            .frame(20.0, 20.0));
    EXPECT_GT(host.render().pixel(9, 9).red, 200);
    tone->dark.set(true);
    host.runUntilIdle();
    EXPECT_LT(host.render().pixel(9, 9).red, 60);
}

// The graph tells a host where its drawing changed: where a list recorded again in place lies in
// the root, and for a change inside a canvas's symbol, all of the canvas (it draws the symbol
// wherever it decides).
TEST(Rendering, TheDamageIsWhereTheDrawingChanged) {
    auto inCanvas = std::make_shared<Tone>();
    auto inStack = std::make_shared<Tone>();
    OffscreenHost host(VStack(
        HorizontalAlignment::leading(), 0.0,
        {AnyView(Color(1, 0, 0)).frame(40.0, 20.0),
         Canvas([](CanvasContext& c,
                   platform::Size) { c.drawSymbol(ViewID(1), platform::Rect(4, 25, 10, 10)); },
                {{ViewID(1), AnyView(DeepSwatch{inCanvas}).frame(10.0, 10.0)}})
             .frame(40.0, 40.0),
         AnyView(DeepSwatch{inStack}).frame(10.0, 10.0)}));
    host.render();
    ASSERT_EQ(host.graph().takeDamage().size(), 1u); // everything, the first time
    EXPECT_TRUE(host.graph().takeDamage().empty());

    inCanvas->dark.set(true);
    host.runUntilIdle();
    EXPECT_EQ(host.graph().takeDamage(),
              std::vector<platform::Rect>{platform::Rect(0, 20, 40, 40)});
    inStack->dark.set(true);
    host.runUntilIdle();
    EXPECT_EQ(host.graph().takeDamage(),
              std::vector<platform::Rect>{platform::Rect(0, 60, 10, 10)});
}

TEST(Rendering, AShortRightToLeftLineInAWideColumnIsDrawnWhenOnlyPartIsShown) {
    // The text is laid out across the whole width, its right-to-left line at the far end, and
    // drawn from there to the column's start: drawing only the visible part must find it.
    FlexibleFrame column;
    column.maxWidth = infinity;
    column.alignment = Alignment::topLeading();
    OffscreenHost host(AnyView(Text("שלום עולם")).foregroundStyle(Color(0, 0, 0)).frame(column),
                       {600.0, std::nullopt});
    host.setVisibleRect(platform::Rect(0, 0, 600, 40));
    const Bitmap image = host.render(1.0, Color::white());
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            inked += image.pixel(x, y).red < 128 && x < 150 ? 1 : 0;
        }
    }
    EXPECT_GT(inked, 20);
}
