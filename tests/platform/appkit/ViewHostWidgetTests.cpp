#include "platform/appkit/DesktopAppearance.hpp"
#include "platform/appkit/Pasteboard.hpp"
#include "platform/appkit/ShareAction.hpp"
#include "platform/appkit/ViewHostWidget.hpp"
#include "platform/ui/UI.hpp"
#include "tests/support/ClipboardReader.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MainLoopWait.hpp"
#include "tests/support/PopoverMenus.hpp"
#include "tests/support/XInput.hpp"

#include <cairo.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace platform::ui;
using platform::Point;
using platform::ViewHostWidget;
namespace xtest = moss_test::xtest;

// Waits for `done` (see tests/support/MainLoopWait.hpp): the deadline only ends a hang.
bool iterateUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds deadline = moss_test::hangDeadline) {
    return moss_test::waitUntil(done, deadline);
}

// Lets the loop run for `duration` after the display has answered a round trip, so that the
// events of everything sent to it before (input from the test extension included) are here
// before the time starts to count, however slow the server is to answer.
void iterateFor(std::chrono::milliseconds duration) {
    if (GdkDisplay* const display = gdk_display_get_default()) {
        gdk_display_sync(display);
    }
    const auto end = std::chrono::steady_clock::now() + duration;
    iterateUntil([end] { return std::chrono::steady_clock::now() >= end; });
}

// What the tree saw.
struct Log {
    int taps = 0;
    std::vector<HoverPhase> hovers;
    std::vector<PointerEvent> pointer;
    std::vector<KeyEvent> keys;
    std::vector<std::string> performed;
};

const platform::SharedText selection{"Größe\n\nsecond", "<p>Größe</p>\n<p>second</p>"};
// Where the selection ends, in root coordinates.
const platform::Rect selectionEnd{10.4, 220.6, 30.2, 15.1};

// Records the events over its view, and offers a context menu that shares or copies a selection.
class Recorder : public InteractionObject {
public:
    Recorder(std::shared_ptr<Log> log, platform::ShareAction share)
        : log_(std::move(log))
        , share_(std::move(share)) {}
    bool pointerDown(const PointerEvent& event) override { return record(event); }
    bool pointerDragged(const PointerEvent& event) override { return record(event); }
    bool pointerUp(const PointerEvent& event) override { return record(event); }
    bool keyDown(const KeyEvent& event) override {
        log_->keys.push_back(event);
        return event.key != "Tab";
    }
    std::vector<MenuItem> contextMenu(Point) override {
        auto log = log_;
        auto share = share_;
        return {
            MenuItem{"Share", true,
                     [log, share] {
                         log->performed.push_back("share");
                         share(selection, selectionEnd);
                     }},
            MenuItem{"", true, {}, true},
            MenuItem{"Copy", true,
                     [log] {
                         log->performed.push_back("copy");
                         auto& board = platform::Pasteboard::general();
                         board.clearContents();
                         board.setPlainTextAndHTML(selection.plainText, selection.html);
                     }},
            MenuItem{"Select All", false, [log] { log->performed.push_back("select all"); }},
        };
    }
    std::optional<CursorShape> cursor(Point) const override { return CursorShape::iBeam; }

private:
    bool record(const PointerEvent& event) {
        log_->pointer.push_back(event);
        return true;
    }
    std::shared_ptr<Log> log_;
    platform::ShareAction share_;
};

const platform::Color tapBlue{0.15, 0.35, 0.85};
const platform::Color tapGreen{0.1, 0.65, 0.25};

// 240 × 300 points: a tap target (0,0)-(240,100) that turns green when tapped, a hover area
// (0,100)-(240,200) with a pointing-hand cursor, and a recording area (0,200)-(240,300).
struct Board {
    std::shared_ptr<Log> log;

    AnyView body(ViewContext& context) const {
        auto tapped = context.state<bool>(false);
        auto hovered = context.state<bool>(false);
        auto record = log;
        return VStack(HorizontalAlignment::leading(), 0,
                      {Rectangle()
                           .fill(*tapped ? tapGreen : tapBlue)
                           .frame(240, 100)
                           .onTapGesture([record, tapped](Point) {
                               ++record->taps;
                               tapped.set(true);
                           }),
                       Text("Hover here")
                           .font(platform::Font::system(22))
                           .frame(240, 100)
                           .background(Rectangle().fill(platform::Color::system(
                               *hovered ? platform::SystemColor::yellow
                                        : platform::SystemColor::textBackground)))
                           .onContinuousHover([record, hovered](HoverPhase phase) {
                               record->hovers.push_back(phase);
                               hovered.set(phase.kind == HoverPhaseKind::active);
                           })
                           .cursor(CursorShape::pointingHand),
                       Rectangle()
                           .fill(platform::Color::gray(0.8))
                           .frame(240, 100)
                           .interaction(std::make_shared<Recorder>(
                               record, context.environment().get<platform::ShareActionKey>()))})
            .frame(240, 300, Alignment::topLeading());
    }
};

// A toplevel window holding the host, shown on the virtual display. After each piece of input
// the loop runs a little, so that what the input caused is in when the test looks.
class Shown : public moss_test::InputWindow {
public:
    // Shows `host` in a window, inside `container` (already holding it) when there is one.
    explicit Shown(ViewHostWidget& host, GtkWidget* container = nullptr)
        : InputWindow(GTK_WIDGET(host.gtkWidget())) {
        show(container != nullptr ? container : widget(),
             [&host] { return host.framesDrawn() > 0; });
        iterateFor(std::chrono::milliseconds{100});
    }
    // A menu left open holds the pointer past its window: the cases after this one in the
    // process would send their clicks to it.
    ~Shown() override {
        for (const moss_test::ShownMenu& menu : moss_test::shownMenus(widget())) {
            gtk_popover_popdown(GTK_POPOVER(menu.popover));
        }
        iterateFor(std::chrono::milliseconds{50});
    }
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;

    void moveTo(Point point) const override {
        InputWindow::moveTo(point);
        iterateFor(std::chrono::milliseconds{50});
    }
    void button(unsigned int number, bool down) const override {
        InputWindow::button(number, down);
        iterateFor(std::chrono::milliseconds{30});
    }
    void key(const char* name, const std::vector<const char*>& modifiers = {}) const override {
        InputWindow::key(name, modifiers);
        iterateFor(std::chrono::milliseconds{50});
    }
};

struct Pixel {
    int red;
    int green;
    int blue;
};

Pixel pixelAt(cairo_surface_t* surface, int x, int y) {
    const unsigned char* const data = cairo_image_surface_get_data(surface);
    const auto value = *reinterpret_cast<const std::uint32_t*>(
        data + y * cairo_image_surface_get_stride(surface) + x * 4);
    return {int(value >> 16 & 0xff), int(value >> 8 & 0xff), int(value & 0xff)};
}

bool near(Pixel pixel, const platform::Color& color, int tolerance = 3) {
    const platform::RGBA rgba = color.resolve();
    return std::abs(pixel.red - int(std::lround(rgba.red * 255))) <= tolerance &&
           std::abs(pixel.green - int(std::lround(rgba.green * 255))) <= tolerance &&
           std::abs(pixel.blue - int(std::lround(rgba.blue * 255))) <= tolerance;
}

// The popover menu the widget shows, once it shows one whose items activate `action`.
GtkWidget* shownMenu(GtkWidget* widget, const std::string& action) {
    GtkWidget* found = nullptr;
    iterateUntil([&] {
        for (const moss_test::ShownMenu& menu : moss_test::shownMenus(widget)) {
            if (!menu.items.empty() && menu.items.front().action.rfind(action, 0) == 0) {
                found = menu.popover;
            }
        }
        return found != nullptr;
    });
    return found;
}

// A window 200 points high that scrolls `child` vertically, as wide as `child` wants.
GtkWidget* scrolledWindow(GtkWidget* child) {
    GtkWidget* const scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scroller), 200);
    gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroller), 200);
    gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scroller), TRUE);
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), child);
    return scroller;
}

std::string cursorOf(GtkWidget* widget) {
    GdkCursor* const cursor = gtk_widget_get_cursor(widget);
    const char* const name = cursor != nullptr ? gdk_cursor_get_name(cursor) : nullptr;
    return name != nullptr ? name : "";
}

class ViewHostWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* why = moss_test::startToolkitWithXTest()) {
            GTEST_SKIP() << why;
        }
        log_ = std::make_shared<Log>();
        host_ = std::make_unique<ViewHostWidget>(AnyView(Board{log_}));
    }

    std::shared_ptr<Log> log_;
    std::unique_ptr<ViewHostWidget> host_;
};

TEST_F(ViewHostWidgetTest, ShowsTheTreeAtItsSize) {
    const Shown shown{*host_};
    EXPECT_EQ(gtk_widget_get_width(shown.widget()), 240);
    EXPECT_EQ(gtk_widget_get_height(shown.widget()), 300);
    cairo_surface_t* const screen = shown.screenshot();
    moss_test::keepScreenshot(screen, "moss-viewhost-shown.png");
    const int s = shown.scale();
    EXPECT_TRUE(near(pixelAt(screen, 120 * s, 50 * s), tapBlue));
    EXPECT_TRUE(near(pixelAt(screen, 120 * s, 250 * s), platform::Color::gray(0.8)));
    // The text is drawn: some pixel of the hover area is much darker than its background.
    int darkest = 255;
    for (int y = 100 * s; y < 200 * s; ++y) {
        for (int x = 0; x < 240 * s; ++x) {
            darkest = std::min(darkest, pixelAt(screen, x, y).green);
        }
    }
    EXPECT_LT(darkest, 100);
    cairo_surface_destroy(screen);
}

TEST_F(ViewHostWidgetTest, AClickReachesTheTapHandlerAndTheChangeIsDrawn) {
    const Shown shown{*host_};
    const auto framesBefore = host_->framesDrawn();
    shown.click({120, 50});
    ASSERT_TRUE(iterateUntil([&] { return log_->taps == 1; }));
    ASSERT_TRUE(iterateUntil([&] { return host_->framesDrawn() > framesBefore; }));
    iterateFor(std::chrono::milliseconds{100});
    cairo_surface_t* const screen = shown.screenshot();
    EXPECT_TRUE(near(pixelAt(screen, 120 * shown.scale(), 50 * shown.scale()), tapGreen));
    cairo_surface_destroy(screen);
    // Clicks elsewhere are not taps of the target.
    shown.click({120, 150});
    EXPECT_EQ(log_->taps, 1);
}

TEST_F(ViewHostWidgetTest, HoverAndCursorFollowThePointer) {
    const Shown shown{*host_};
    shown.moveTo({50, 50});
    EXPECT_TRUE(cursorOf(shown.widget()).empty() || cursorOf(shown.widget()) == "default");
    shown.moveTo({60, 150});
    ASSERT_TRUE(iterateUntil([&] { return !log_->hovers.empty(); }));
    EXPECT_EQ(log_->hovers.back().kind, HoverPhaseKind::active);
    EXPECT_NEAR(log_->hovers.back().location.x, 60, 1);
    EXPECT_NEAR(log_->hovers.back().location.y, 50, 1); // in the hover area's own coordinates
    EXPECT_EQ(cursorOf(shown.widget()), "pointer");
    shown.moveTo({60, 250});
    EXPECT_EQ(cursorOf(shown.widget()), "text");
    ASSERT_TRUE(iterateUntil([&] { return log_->hovers.back().kind == HoverPhaseKind::ended; }));

    // A drag that ends outside the widget ends the hover there.
    shown.moveTo({60, 150});
    ASSERT_TRUE(iterateUntil([&] { return log_->hovers.back().kind == HoverPhaseKind::active; }));
    shown.button(1, true);
    const auto [outsideX, outsideY] = shown.onScreen({60, 150});
    xtest::moveTo(shown.display(), outsideX + 2000, outsideY);
    iterateFor(std::chrono::milliseconds{50});
    shown.button(1, false);
    EXPECT_TRUE(iterateUntil([&] { return log_->hovers.back().kind == HoverPhaseKind::ended; }));

    // Leaving the widget from the hover area ends the hover too.
    shown.moveTo({60, 150});
    ASSERT_TRUE(iterateUntil([&] { return log_->hovers.back().kind == HoverPhaseKind::active; }));
    const auto [x, y] = shown.onScreen({60, 150});
    xtest::moveTo(shown.display(), x + 2000, y);
    EXPECT_TRUE(iterateUntil([&] { return log_->hovers.back().kind == HoverPhaseKind::ended; }));
}

TEST_F(ViewHostWidgetTest, DrawsOnlyWhenTheTreeChanges) {
    const Shown shown{*host_};
    // Moving over a part without hover effects and clicking where nothing listens change
    // nothing, so nothing is drawn.
    shown.moveTo({100, 40});
    iterateFor(std::chrono::milliseconds{200});
    const auto settled = host_->framesDrawn();
    shown.moveTo({120, 60});
    shown.moveTo({130, 70});
    iterateFor(std::chrono::milliseconds{200});
    EXPECT_EQ(host_->framesDrawn(), settled);

    // Hovering changes the hover area's colour: drawn again.
    shown.moveTo({120, 150});
    EXPECT_TRUE(iterateUntil([&] { return host_->framesDrawn() > settled; }));
}

TEST_F(ViewHostWidgetTest, PointerEventsCarryClickCountsAndDragLocations) {
    const Shown shown{*host_};
    shown.click({20, 220});
    shown.click({21, 221});
    shown.click({21, 220});
    // A press far from the last one starts counting again.
    shown.click({200, 280});
    std::vector<int> downs;
    for (const PointerEvent& event : log_->pointer) {
        if (event.kind == PointerEvent::Kind::down) {
            downs.push_back(event.clickCount);
        }
    }
    EXPECT_EQ(downs, (std::vector<int>{1, 2, 3, 1}));

    log_->pointer.clear();
    shown.moveTo({30, 230});
    shown.button(1, true);
    shown.moveTo({90, 260});
    shown.moveTo({150, 280});
    shown.button(1, false);
    ASSERT_GE(log_->pointer.size(), 3u);
    EXPECT_EQ(log_->pointer.front().kind, PointerEvent::Kind::down);
    EXPECT_EQ(log_->pointer.back().kind, PointerEvent::Kind::up);
    EXPECT_NEAR(log_->pointer.back().location.x, 150, 1);
    EXPECT_NEAR(log_->pointer.back().location.y, 80, 1); // the recording area starts at y = 200
    bool dragged = false;
    for (const PointerEvent& event : log_->pointer) {
        dragged = dragged || (event.kind == PointerEvent::Kind::dragged &&
                              std::abs(event.location.x - 90) < 1.5);
    }
    EXPECT_TRUE(dragged);
}

TEST_F(ViewHostWidgetTest, KeysReachTheFocusedTreeByName) {
    const Shown shown{*host_};
    shown.click({20, 220}); // takes the focus
    shown.focus();
    shown.key("a");
    shown.key("Left", {"Shift_L"});
    shown.key("c", {"Control_L"});
    shown.key("Right", {"Alt_L", "Shift_L"});
    ASSERT_TRUE(iterateUntil([&] { return log_->keys.size() >= 4; }));
    EXPECT_EQ(log_->keys[0].key, "a");
    EXPECT_EQ(log_->keys[0].text, "a");
    EXPECT_EQ(log_->keys[1].key, "Left");
    EXPECT_TRUE(log_->keys[1].modifiers.shift);
    EXPECT_EQ(log_->keys[2].key, "c");
    EXPECT_EQ(log_->keys[2].text, ""); // a shortcut types nothing
    EXPECT_TRUE(log_->keys[2].modifiers.command);
    EXPECT_TRUE(log_->keys[2].modifiers.control);
    EXPECT_EQ(log_->keys[3].key, "Right");
    EXPECT_TRUE(log_->keys[3].modifiers.option);
    EXPECT_TRUE(log_->keys[3].modifiers.shift);
    EXPECT_FALSE(log_->keys[3].modifiers.command);
}

TEST_F(ViewHostWidgetTest, ASecondaryClickShowsTheContextMenu) {
    const Shown shown{*host_};
    shown.click({40, 240}, 3);
    GtkWidget* const menu = shownMenu(shown.widget(), "viewhost.");
    ASSERT_NE(menu, nullptr);
    // A secondary click is no press of the primary button.
    for (const PointerEvent& event : log_->pointer) {
        EXPECT_NE(event.kind, PointerEvent::Kind::down);
    }
    // Two sections, split where the separator was; items in order.
    GMenuModel* const model = gtk_popover_menu_get_menu_model(GTK_POPOVER_MENU(menu));
    ASSERT_EQ(g_menu_model_get_n_items(model), 2);
    std::vector<std::string> titles;
    for (int section = 0; section < 2; ++section) {
        GMenuModel* const items = g_menu_model_get_item_link(model, section, G_MENU_LINK_SECTION);
        for (int index = 0; index < g_menu_model_get_n_items(items); ++index) {
            char* label = nullptr;
            g_menu_model_get_item_attribute(items, index, G_MENU_ATTRIBUTE_LABEL, "s", &label);
            titles.emplace_back(label);
            g_free(label);
        }
        g_object_unref(items);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Share", "Copy", "Select All"}));

    EXPECT_TRUE(gtk_widget_activate_action(shown.widget(), "viewhost.item-1", nullptr));
    EXPECT_TRUE(gtk_widget_activate_action(shown.widget(), "viewhost.item-2", nullptr));
    EXPECT_EQ(log_->performed, (std::vector<std::string>{"copy"})); // Select All is disabled

    // Where the tree offers no menu, none is shown.
    gtk_popover_popdown(GTK_POPOVER(menu));
    shown.click({40, 40}, 3);
    bool shownAgain = false;
    for (GtkWidget* child = gtk_widget_get_first_child(shown.widget()); child != nullptr;
         child = gtk_widget_get_next_sibling(child)) {
        shownAgain = shownAgain || gtk_widget_get_visible(child);
    }
    EXPECT_FALSE(shownAgain);
}

TEST_F(ViewHostWidgetTest, FollowsTheDesktopsSchemeUnlessTheTreeSetsItsOwn) {
    GtkSettings* const settings = gtk_settings_get_default();
    g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, nullptr);
    const Shown shown{*host_};
    EXPECT_EQ(host_->graph().environment().colorScheme(), platform::ColorScheme::light);
    const auto before = host_->framesDrawn();
    g_object_set(settings, "gtk-application-prefer-dark-theme", TRUE, nullptr);
    EXPECT_EQ(host_->appearance().colorScheme, platform::ColorScheme::dark);
    EXPECT_EQ(host_->graph().environment().colorScheme(), platform::ColorScheme::dark);
    ASSERT_TRUE(iterateUntil([&] { return host_->framesDrawn() > before; }));
    iterateFor(std::chrono::milliseconds{100});
    // The hover area's background is the dark scheme's text background now.
    cairo_surface_t* const screen = shown.screenshot();
    const platform::Color background =
        platform::Color::system(platform::SystemColor::textBackground);
    const platform::RGBA dark = background.resolve({platform::ColorScheme::dark});
    const Pixel pixel = pixelAt(screen, 5 * shown.scale(), 105 * shown.scale());
    EXPECT_NEAR(pixel.red, dark.red * 255, 3);
    EXPECT_NEAR(pixel.blue, dark.blue * 255, 3);
    cairo_surface_destroy(screen);

    // A tree that asks for the light scheme keeps it.
    EnvironmentValues light;
    light.set<ColorSchemeKey>(platform::ColorScheme::light);
    host_->setEnvironment(light);
    EXPECT_EQ(host_->graph().environment().colorScheme(), platform::ColorScheme::light);

    // The desktop's high contrast reaches the tree, beside the scheme the tree chose.
    g_object_set(settings, "gtk-theme-name", "HighContrast", nullptr);
    EXPECT_EQ(host_->graph().environment().colorSchemeContrast(),
              platform::ColorSchemeContrast::increased);
    EXPECT_EQ(host_->graph().environment().colorScheme(), platform::ColorScheme::light);
    g_object_set(settings, "gtk-application-prefer-dark-theme", FALSE, "gtk-theme-name", "Adwaita",
                 nullptr);
}

// Counts its evaluations.
struct Counted {
    std::shared_ptr<int> evaluations;
    AnyView body() const {
        ++*evaluations;
        return AnyView(Rectangle().fill(tapBlue).frame(100, 100));
    }
    friend bool operator==(const Counted&, const Counted&) = default;
};

TEST_F(ViewHostWidgetTest, AnUnchangedEnvironmentLeavesTheTreeAlone) {
    auto evaluations = std::make_shared<int>(0);
    host_->setRootView(AnyView(Counted{evaluations}));
    const Shown shown{*host_};
    const int before = *evaluations;
    ASSERT_GT(before, 0);
    // The host's own values (the link opener, the share action) are the same ones each time.
    host_->setEnvironment({});
    host_->setEnvironment({});
    iterateFor(std::chrono::milliseconds{100});
    EXPECT_EQ(*evaluations, before);
}

TEST_F(ViewHostWidgetTest, TheDefaultOpenURLActionOpensOnlyWebLinks) {
    const OpenURLAction open = host_->graph().environment().get<OpenURLKey>();
    for (const char* link : {"javascript:alert(1)", "file:///etc/passwd", "data:text/html,x"}) {
        const auto url = platform::URL::fromString(link);
        ASSERT_TRUE(url.has_value()) << link;
        EXPECT_EQ(open(*url), OpenURLAction::Result::discarded) << link;
    }
}

TEST_F(ViewHostWidgetTest, TheWidgetOutlivesItsHandleInAWindow) {
    GtkWindow* const window = GTK_WINDOW(gtk_window_new());
    gtk_window_set_child(window, GTK_WIDGET(host_->gtkWidget()));
    host_.reset();
    gtk_window_present(window);
    iterateFor(std::chrono::milliseconds{200});
    GtkWidget* const widget = gtk_window_get_child(window);
    EXPECT_EQ(gtk_widget_get_width(widget), 240);
    gtk_window_destroy(window);
    iterateFor(std::chrono::milliseconds{50});
}

// What the done widget is for: a selection copied from the context menu reaches another program
// in both forms.
TEST_F(ViewHostWidgetTest, CopyFromTheContextMenuReachesAnotherProgramInBothForms) {
    const Shown shown{*host_};
    shown.click({40, 240}, 3);
    ASSERT_NE(shownMenu(shown.widget(), "viewhost."), nullptr);
    ASSERT_TRUE(gtk_widget_activate_action(shown.widget(), "viewhost.item-1", nullptr));

    const moss_test::ClipboardReader other;
    ASSERT_TRUE(other.connected());
    ASSERT_TRUE(iterateUntil([&] { return other.offersHTML(); }));
    EXPECT_EQ(other.html(), selection.html);
    EXPECT_EQ(other.plainText(), selection.plainText);
}

using moss_test::readFile;

// A desktop of its own with one application, "Notes", which records the text it is handed. The
// toolkit reads the XDG folders once, at start-up, and the folders go with the case: it runs in a
// process of its own (the program started again for it alone), which no other case shares.
class ShareDesktop {
public:
    ShareDesktop() {
        namespace fs = std::filesystem;
        root_ = fs::temp_directory_path() / ("moss-viewhost-share-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "data/applications");
        fs::create_directories(root_ / "runtime");
        fs::permissions(root_ / "runtime", fs::perms::owner_all);
        record_ = root_ / "handed.txt";
        {
            std::ofstream out{root_ / "notes.sh"};
            out << "#!/bin/sh\ncat \"$1\" > '" << record_.string() << ".tmp'\nmv '"
                << record_.string() << ".tmp' '" << record_.string() << "'\n";
        }
        fs::permissions(root_ / "notes.sh", fs::perms::owner_all);
        {
            std::ofstream out{root_ / "data/applications/moss-test-notes.desktop"};
            out << "[Desktop Entry]\nType=Application\nName=Notes\nExec="
                << (root_ / "notes.sh").string() << " %f\nMimeType=text/plain;\n";
        }
        {
            std::ofstream out{root_ / "data/applications/mimeinfo.cache"};
            out << "[MIME Cache]\ntext/plain=moss-test-notes.desktop;\n";
        }
        for (const char* variable : {"XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            g_setenv(variable, (root_ / "data").c_str(), TRUE);
        }
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
            g_setenv(variable, root_.c_str(), TRUE);
        }
        g_setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), TRUE);
    }
    ~ShareDesktop() { std::filesystem::remove_all(root_); }
    ShareDesktop(const ShareDesktop&) = delete;
    ShareDesktop& operator=(const ShareDesktop&) = delete;

    const std::filesystem::path& record() const { return record_; }

private:
    std::filesystem::path root_;
    std::filesystem::path record_;
};

// Share in the context menu opens the share menu under the selection's end; its items hand the
// text to the desktop's applications.
void checkSharing(const ShareDesktop& desktop) {
    auto log = std::make_shared<Log>();
    ViewHostWidget host{AnyView(Board{log})};
    const Shown shown{host};
    shown.click({40, 240}, 3);
    ASSERT_NE(shownMenu(shown.widget(), "viewhost."), nullptr);
    ASSERT_TRUE(gtk_widget_activate_action(shown.widget(), "viewhost.item-0", nullptr));
    GtkWidget* const picker = shownMenu(shown.widget(), "share.");
    ASSERT_NE(picker, nullptr);
    GdkRectangle at{};
    ASSERT_TRUE(gtk_popover_get_pointing_to(GTK_POPOVER(picker), &at));
    EXPECT_EQ(at.x, 10);
    EXPECT_EQ(at.y, 220);
    EXPECT_EQ(at.width, 31);
    EXPECT_EQ(at.height, 16);
    EXPECT_EQ(gtk_popover_get_position(GTK_POPOVER(picker)), GTK_POS_BOTTOM);

    ASSERT_TRUE(gtk_widget_activate_action(shown.widget(), "share.share-with", "s",
                                           "moss-test-notes.desktop"));
    ASSERT_TRUE(iterateUntil([&] { return std::filesystem::exists(desktop.record()); }));
    EXPECT_EQ(readFile(desktop.record()), selection.plainText);
}

[[noreturn]] void shareOnADesktopOfItsOwn() {
    if (gtk_is_initialized()) {
        std::fputs("the toolkit started before the desktop's folders were set\n", stderr);
        std::exit(2);
    }
    bool failed = false;
    {
        const ShareDesktop desktop;
        if (const char* why = moss_test::startToolkitWithXTest()) {
            std::fprintf(stderr, "not checked: %s\n", why);
        } else {
            checkSharing(desktop);
            failed = ::testing::Test::HasFailure();
        }
    }
    std::exit(failed ? 1 : 0);
}

TEST(ViewHostShareTest, ShareFromTheContextMenuHandsTheTextToAnApplication) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(shareOnADesktopOfItsOwn(), ::testing::ExitedWithCode(0), "");
}

// A timeline view gets a frame per display frame while it is shown, and none after it went.
TEST_F(ViewHostWidgetTest, DrawsTimelinesFrameByFrameWhileTheyAreShown) {
    auto frames = std::make_shared<int>(0);
    host_->setRootView(TimelineView([frames](const TimelineContext& timeline) {
        ++*frames;
        const auto phase = timeline.date.time_since_epoch().count() % 1000;
        return AnyView(
            Rectangle().fill(platform::Color::gray(double(phase) / 1000)).frame(100, 100));
    }));
    const Shown shown{*host_};
    const auto start = host_->framesDrawn();
    const int evaluated = *frames;
    iterateFor(std::chrono::milliseconds{500});
    EXPECT_GT(host_->framesDrawn(), start + 5);
    EXPECT_GT(*frames, evaluated + 5);

    host_->setRootView(AnyView(Rectangle().fill(tapBlue).frame(100, 100)));
    iterateFor(std::chrono::milliseconds{200});
    const auto settled = host_->framesDrawn();
    iterateFor(std::chrono::milliseconds{300});
    EXPECT_EQ(host_->framesDrawn(), settled);
}

// A horizontally scrolling strip of ten 100-point bars above a tall block, in a window that
// scrolls vertically.
TEST_F(ViewHostWidgetTest, WheelsScrollTheTreeOrTheWindowAroundIt) {
    auto offsets = std::make_shared<std::vector<double>>();
    std::vector<AnyView> bars;
    for (int index = 0; index < 10; ++index) {
        bars.push_back(Rectangle().fill(index % 2 == 0 ? tapBlue : tapGreen).frame(100, 100));
    }
    host_->setRootView(VStack(
        HorizontalAlignment::leading(), 0,
        {ScrollView(HStack(VerticalAlignment::center(), 0, std::move(bars)))
             .onScrollGeometryChange([offsets](const ScrollGeometry&, const ScrollGeometry& now) {
                 offsets->push_back(now.contentOffset.x);
             })
             .frame(240, 100),
         Rectangle().fill(platform::Color::gray(0.8)).frame(240, 500)}));
    GtkWidget* const scroller = scrolledWindow(GTK_WIDGET(host_->gtkWidget()));
    const Shown shown{*host_, scroller};
    GtkAdjustment* const vertical =
        gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller));

    // Wheel buttons: 4 up, 5 down, 6 left, 7 right.
    shown.click({120, 50}, 7);
    ASSERT_TRUE(iterateUntil([&] { return !offsets->empty() && offsets->back() > 0; }));
    EXPECT_DOUBLE_EQ(offsets->back(), 40);
    // Shift turns a vertical wheel sideways, as everywhere on the desktop.
    xtest::hold(shown.display(), "Shift_L", true);
    shown.click({120, 50}, 5);
    xtest::hold(shown.display(), "Shift_L", false);
    EXPECT_TRUE(iterateUntil([&] { return offsets->back() == 80; }));
    EXPECT_DOUBLE_EQ(gtk_adjustment_get_value(vertical), 0);

    // Over the strip, a plain vertical wheel is the window's: the strip only scrolls sideways.
    shown.click({120, 50}, 5);
    EXPECT_TRUE(iterateUntil([&] { return gtk_adjustment_get_value(vertical) > 0; }));
    EXPECT_DOUBLE_EQ(offsets->back(), 80);
}

/// A row of the lazy stack below: counts its evaluations.
struct CountedRow {
    std::shared_ptr<int> evaluations;
    int index = 0;
    int rows = 0;
    AnyView body() const {
        ++*evaluations;
        return Rectangle()
            .fill(index == rows - 1 ? tapGreen
                  : index % 2 == 0  ? tapBlue
                                    : platform::Color::gray(0.8))
            .frame(240, 20);
    }
};

// `rows` counted rows in a lazy stack.
AnyView countedRows(int rows, const std::shared_ptr<int>& evaluations) {
    return AnyView(LazyVStack(HorizontalAlignment::leading(), 0,
                              {ForEach::range(rows, [evaluations, rows](int index) {
                                  return AnyView(CountedRow{evaluations, index, rows});
                              })}));
}

// Two thousand rows of 20 points (40,000 points of tree) in a scrolled window 200 points high.
TEST_F(ViewHostWidgetTest, AScrolledWindowShowsAnyPartOfALongTreeDrawingOnlyThat) {
    constexpr int rows = 2000;
    std::vector<AnyView> bars;
    for (int index = 0; index < rows; ++index) {
        AnyView bar = Rectangle()
                          .fill(index == rows - 1 ? tapGreen
                                : index % 2 == 0  ? tapBlue
                                                  : platform::Color::gray(0.8))
                          .frame(240, 20);
        if (index == rows - 1) {
            auto log = log_;
            bar = bar.onTapGesture([log](Point) { ++log->taps; });
        }
        bars.push_back(std::move(bar));
    }
    host_->setRootView(VStack(HorizontalAlignment::leading(), 0, std::move(bars)));
    GtkWidget* const scroller = scrolledWindow(GTK_WIDGET(host_->gtkWidget()));
    const Shown shown{*host_, scroller};
    GtkAdjustment* const vertical =
        gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller));

    // The scroll bar knows the whole extent; the widget is as tall as the window shows.
    EXPECT_DOUBLE_EQ(gtk_adjustment_get_upper(vertical), rows * 20.0);
    EXPECT_DOUBLE_EQ(gtk_adjustment_get_page_size(vertical), 200);
    EXPECT_EQ(gtk_widget_get_height(shown.widget()), 200);

    // To the end: the last rows show, and each frame draws the rows on screen, not the tree: the
    // widget draws in strips of 128 points, so at most the rows of the strips the screen touches,
    // and between frames those of the strips it draws ahead of the screen.
    constexpr int rowsPerFrame = (200 + 2 * 128) / 20 + 2;
    constexpr int rowsPerStrip = 128 / 20 + 2;
    const auto frames = host_->framesDrawn();
    const auto ahead = host_->statistics().stripsDrawnAhead;
    const auto drawn = host_->graph().statistics().drawnOperations;
    gtk_adjustment_set_value(vertical, rows * 20.0 - 200);
    ASSERT_TRUE(
        iterateUntil([&] { return host_->framesDrawn() > frames; }, std::chrono::seconds{60}));
    iterateFor(std::chrono::milliseconds{100});
    const auto framesNow = host_->framesDrawn() - frames;
    const auto aheadNow = host_->statistics().stripsDrawnAhead - ahead;
    EXPECT_LE(aheadNow, 2u);
    EXPECT_LE(host_->graph().statistics().drawnOperations - drawn,
              rowsPerFrame * framesNow + rowsPerStrip * aheadNow);

    cairo_surface_t* const screen = shown.screenshot();
    moss_test::keepScreenshot(screen, "moss-viewhost-scrolled-end.png");
    EXPECT_TRUE(near(pixelAt(screen, 100, 190), tapGreen));                   // the last row
    EXPECT_TRUE(near(pixelAt(screen, 100, 170), tapBlue));                    // row 1998
    EXPECT_TRUE(near(pixelAt(screen, 100, 150), platform::Color::gray(0.8))); // row 1997
    cairo_surface_destroy(screen);

    // Input lands in the tree where the widget shows it.
    shown.click({120, 190});
    EXPECT_TRUE(iterateUntil([&] { return log_->taps == 1; }, std::chrono::seconds{60}));
}

// The same rows in a lazy stack: the first frame lays out what the window shows, the scroll bar
// reaches the exact extent as the rest is laid out in idle time, and the end shows the last rows.
TEST_F(ViewHostWidgetTest, ALazyStackInAScrolledWindowLaysOutWhatIsShownAndTheRestWhenIdle) {
    constexpr int rows = 2000;
    auto evaluations = std::make_shared<int>(0);
    host_->setRootView(countedRows(rows, evaluations));
    GtkWidget* const scroller = scrolledWindow(GTK_WIDGET(host_->gtkWidget()));
    const Shown shown{*host_, scroller};
    GtkAdjustment* const vertical =
        gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller));

    EXPECT_TRUE(iterateUntil([&] { return !host_->graph().hasDeferredLayout(); },
                             std::chrono::seconds{60}));
    EXPECT_DOUBLE_EQ(gtk_adjustment_get_upper(vertical), rows * 20.0);
    // Each row was evaluated once: on screen, or when the idle work reached it.
    EXPECT_EQ(*evaluations, rows);

    gtk_adjustment_set_value(vertical, rows * 20.0 - 200);
    EXPECT_TRUE(iterateUntil(
        [&] {
            cairo_surface_t* const screen = shown.screenshot();
            const bool last = near(pixelAt(screen, 100, 190), tapGreen);
            cairo_surface_destroy(screen);
            return last;
        },
        std::chrono::seconds{60}));
    cairo_surface_t* const screen = shown.screenshot();
    EXPECT_TRUE(near(pixelAt(screen, 100, 170), tapBlue)); // row 1998
    cairo_surface_destroy(screen);
}

// Between frames the rows around the part shown are placed as far as the stack lays out beyond
// it, and their strips drawn: a scroll that stays within that finds both, and its frame neither
// places rows nor draws strips.
TEST_F(ViewHostWidgetTest, AScrollFindsTheRowsAroundTheScreenPlacedAndDrawnAhead) {
    constexpr int rows = 2000;
    auto evaluations = std::make_shared<int>(0);
    host_->setRootView(countedRows(rows, evaluations));
    GtkWidget* const scroller = scrolledWindow(GTK_WIDGET(host_->gtkWidget()));
    const Shown shown{*host_, scroller};
    GtkAdjustment* const vertical =
        gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller));
    ASSERT_TRUE(iterateUntil([&] { return !host_->graph().hasDeferredLayout(); },
                             std::chrono::seconds{60}));
    iterateFor(std::chrono::milliseconds{200});

    // The stack lays out half a screen (100 points) beyond the screen: at 90 the rows placed for
    // the first screen (down to 300) still cover the screen, and the idle work places them
    // down to 390.
    const auto scrollTo = [&](double offset) {
        const auto frames = host_->framesDrawn();
        gtk_adjustment_set_value(vertical, offset);
        return iterateUntil([&] { return host_->framesDrawn() > frames; });
    };
    ASSERT_TRUE(scrollTo(90));
    iterateFor(std::chrono::milliseconds{200});
    const auto placements = host_->graph().statistics().placements;
    const auto drawn = host_->statistics().stripsDrawn;
    ASSERT_TRUE(scrollTo(180));
    EXPECT_EQ(host_->graph().statistics().placements, placements);
    EXPECT_EQ(host_->statistics().stripsDrawn, drawn);

    // What the frame shows is the rows there: row 18 (points 360 to 380) at the bottom.
    iterateFor(std::chrono::milliseconds{100});
    cairo_surface_t* const screen = shown.screenshot();
    EXPECT_TRUE(near(pixelAt(screen, 100, 190), tapBlue));
    EXPECT_TRUE(near(pixelAt(screen, 100, 170), platform::Color::gray(0.8)));
    cairo_surface_destroy(screen);
}

// Asks the host to scroll: for a key, a rectangle of its own; for a drag, the pointer's place.
class ScrollAsker final : public InteractionObject {
public:
    ScrollRectToVisibleAction scroll;
    std::vector<PointerEvent> drags;
    bool pointerDown(const PointerEvent&) override { return true; }
    bool pointerDragged(const PointerEvent& event) override {
        drags.push_back(event);
        scroll(platform::Rect(event.location, platform::Size(1, 1)));
        return true;
    }
    bool pointerUp(const PointerEvent&) override { return true; }
    bool keyDown(const KeyEvent& event) override {
        const double y = event.key == "Down" ? 500 : event.key == "Up" ? 100 : 150;
        scroll(platform::Rect(0, y, 10, 20));
        return true;
    }
};

struct ScrollAskerBoard {
    std::shared_ptr<ScrollAsker> asker;
    AnyView body(ViewContext& context) const {
        asker->scroll = context.environment().get<ScrollRectToVisibleKey>();
        return Rectangle().fill(platform::Color::gray(0.8)).frame(240, 2000).interaction(asker);
    }
};

// In a scrolled window the widget scrolls the least that shows what the tree asks for, and sends
// a drag held below it again and again, each time where the pointer now is in the tree.
TEST_F(ViewHostWidgetTest, ScrollsToWhatTheTreeAsksAndRepeatsADragHeldOutside) {
    const auto asker = std::make_shared<ScrollAsker>();
    host_->setRootView(AnyView(ScrollAskerBoard{asker}));
    GtkWidget* const scroller = scrolledWindow(GTK_WIDGET(host_->gtkWidget()));
    const Shown shown{*host_, scroller};
    GtkAdjustment* const vertical =
        gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller));
    const auto at = [vertical] { return gtk_adjustment_get_value(vertical); };

    shown.click({120, 100}); // takes the focus
    shown.key("Down");       // 500-520: its bottom at the window's
    EXPECT_TRUE(iterateUntil([&] { return at() == 320; })) << at();
    shown.key("Up"); // 100-120: its top at the window's
    EXPECT_TRUE(iterateUntil([&] { return at() == 100; })) << at();
    shown.key("Home"); // 150-170 is in view already
    EXPECT_EQ(at(), 100);

    shown.moveTo({120, 100});
    shown.button(1, true);
    shown.moveTo({120, 240}); // 40 points below the window
    const std::size_t moved = asker->drags.size();
    ASSERT_GT(moved, 0U);
    ASSERT_TRUE(iterateUntil([&] { return asker->drags.size() >= moved + 3 && at() > 300; }));
    EXPECT_GT(asker->drags.back().location.y, asker->drags[moved - 1].location.y);
    shown.button(1, false);
    const std::size_t released = asker->drags.size();
    iterateFor(std::chrono::milliseconds{200});
    EXPECT_EQ(asker->drags.size(), released) << "no drag after the release";
}

} // namespace

namespace {

// The checks of the case below, in a process whose toolkit starts at twice the scale.
void checkDrawingAtTwiceTheScale() {
    auto log = std::make_shared<Log>();
    ViewHostWidget host{AnyView(Board{log})};
    const Shown shown{host};
    ASSERT_EQ(shown.scale(), 2);
    EXPECT_EQ(host.graph().environment().displayScale(), 2.0);
    EXPECT_EQ(gtk_widget_get_width(shown.widget()), 240); // points, as before

    cairo_surface_t* const screen = shown.screenshot();
    moss_test::keepScreenshot(screen, "moss-viewhost-scale2.png");
    EXPECT_EQ(cairo_image_surface_get_width(screen), 480);
    // Edges fall on device pixels: the tap target ends exactly at device row 200.
    EXPECT_TRUE(near(pixelAt(screen, 20, 199), tapBlue));
    EXPECT_FALSE(near(pixelAt(screen, 20, 200), tapBlue, 40));
    EXPECT_TRUE(near(pixelAt(screen, 470, 590), platform::Color::gray(0.8)));
    cairo_surface_destroy(screen);

    // A click lands where the views are, in points.
    shown.click({200, 90});
    EXPECT_TRUE(iterateUntil([&] { return log->taps == 1; }));
}

// The display's scale is fixed when the toolkit starts: the case runs in a process of its own
// (the program started again for this case alone), so that neither it nor the cases after it in
// this process find the toolkit at a scale they did not expect.
TEST(ViewHostWidgetScaleTest, DrawsAtTheDisplaysScale) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(moss_test::runAtTwiceTheScale(checkDrawingAtTwiceTheScale),
                ::testing::ExitedWithCode(0), "");
}

} // namespace

// Presents `window` drawn by the renderer the toolkit knows by `name` (as its inspector chooses
// one for the display): the tests' environment asks for the Cairo renderer in every window.
void presentDrawnBy(GtkWindow* window, const char* name) {
    GdkDisplay* const display = gtk_widget_get_display(GTK_WIDGET(window));
    g_object_set_data_full(G_OBJECT(display), "gsk-renderer", g_strdup(name), g_free);
    gtk_window_present(window);
    g_object_set_data(G_OBJECT(display), "gsk-renderer", nullptr);
}

// The GL renderer's one-time costs for what a scroll first draws (the overlay scroll bar) are
// paid between frames after the window's first frame, once per window however many hosts it
// holds; the Cairo renderer has none and is left alone.
TEST_F(ViewHostWidgetTest, WarmsTheWindowsRendererOnceAfterItsFirstFrame) {
    GtkWindow* const window = GTK_WINDOW(gtk_window_new());
    ViewHostWidget second{AnyView(Board{log_})};
    GtkWidget* const box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(host_->gtkWidget()));
    gtk_box_append(GTK_BOX(box), GTK_WIDGET(second.gtkWidget()));
    gtk_window_set_child(window, box);
    const auto warmUps = [&] {
        return host_->statistics().rendererWarmUps + second.statistics().rendererWarmUps;
    };
    // What the hosts had done when the toolkit finished the first frame that drew them.
    struct FirstFrame {
        std::function<std::uint64_t()> warmUps;
        std::function<bool()> drawn;
        bool seen = false;
        std::uint64_t warmUpsThen = 0;
    } first{warmUps, [&] { return host_->framesDrawn() > 0 && second.framesDrawn() > 0; }};
    g_signal_connect(window, "realize", G_CALLBACK(+[](GtkWidget* realized, gpointer data) {
                         g_signal_connect(gtk_widget_get_frame_clock(realized), "after-paint",
                                          G_CALLBACK(+[](GdkFrameClock*, gpointer frame) {
                                              auto& seen = *static_cast<FirstFrame*>(frame);
                                              if (!seen.seen && seen.drawn()) {
                                                  seen.seen = true;
                                                  seen.warmUpsThen = seen.warmUps();
                                              }
                                          }),
                                          data);
                     }),
                     &first);
    presentDrawnBy(window, "gl");
    ASSERT_TRUE(iterateUntil([&] { return first.seen; }));
    const bool gl = !GSK_IS_CAIRO_RENDERER(gtk_native_get_renderer(GTK_NATIVE(window)));
    EXPECT_EQ(first.warmUpsThen, 0U);
    if (gl) {
        EXPECT_TRUE(iterateUntil([&] { return warmUps() == 1; }, std::chrono::seconds{30}));
    }
    // Frames after the first warm nothing again.
    const auto drawn = host_->framesDrawn();
    gtk_widget_queue_draw(GTK_WIDGET(host_->gtkWidget()));
    gtk_widget_queue_draw(GTK_WIDGET(second.gtkWidget()));
    EXPECT_TRUE(iterateUntil([&] { return host_->framesDrawn() > drawn; }));
    iterateFor(std::chrono::milliseconds{100});
    EXPECT_EQ(warmUps(), gl ? 1U : 0U);
    g_signal_handlers_disconnect_by_data(gtk_widget_get_frame_clock(GTK_WIDGET(window)), &first);
    gtk_window_destroy(window);
    iterateFor(std::chrono::milliseconds{50});

    // A window drawn by the Cairo renderer is never warmed.
    ViewHostWidget drawnByCairo{AnyView(Board{log_})};
    GtkWindow* const cairoWindow = GTK_WINDOW(gtk_window_new());
    gtk_window_set_child(cairoWindow, GTK_WIDGET(drawnByCairo.gtkWidget()));
    presentDrawnBy(cairoWindow, "cairo");
    EXPECT_TRUE(iterateUntil([&] { return drawnByCairo.framesDrawn() > 0; }));
    EXPECT_TRUE(GSK_IS_CAIRO_RENDERER(gtk_native_get_renderer(GTK_NATIVE(cairoWindow))));
    iterateFor(std::chrono::milliseconds{150});
    EXPECT_EQ(drawnByCairo.statistics().rendererWarmUps, 0U);
    gtk_window_destroy(cairoWindow);
    iterateFor(std::chrono::milliseconds{50});
    if (!gl) {
        GTEST_SKIP() << "no GL renderer on this display: nothing to warm";
    }
}
