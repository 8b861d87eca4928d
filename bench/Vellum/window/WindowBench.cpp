// Documents in a real window, measured as the window runs them: a structured text in the GTK host
// inside a scrolled window 800 × 600 points, on the X display the program is given (run it under
// xvfb-run), drawn by the toolkit's own renderer, texture uploads and presentation included.
//
// A document goes into a window open before it, as a program that shows one document after
// another in its window puts it there (the window set up, and drawn with before: the toolkit's
// renderer made and compiled what it draws with); the cases with a second argument of 1 show it
// in a new window of its own instead, as a program that opens a window for each document does,
// the window's set-up and its renderer's first drawing counted with the document's.
//
// What counts is the main thread's busy time: the main loop's poll function is wrapped, and the
// time spent outside it (dispatching sources: updates, layout, snapshot, rendering) is busy time.
// Waiting for the frame clock's next tick or for the X server is not.
// - first frame: making the host (parsing the document) and the window, and the first frame that
//   shows it, from its first phase to its last (layout and paint of the first screen, rendering);
//   and the busy time from making the host to that frame presented (with the toolkit's set-up of
//   the window and the idle layout that runs while the X server maps it);
// - scroll frames: one wheel notch (40 points) per frame down the document and back, once the
//   rows are all laid out; the busy time from the scroll to the frame presented, p50 and p99.
//   The host's work ahead in idle time (strips drawn and rows laid out beyond the view), which
//   runs while the loop waits for the toolkit's next frame, is not the frame's: it is taken out
//   of the frame's time (and reported on its own), and counts in the stalls;
// - the longest main-loop dispatch (a stall) while the document loads and is scrolled to its end
//   without waiting for idle layout, and while a selection is dragged over a screen of text.
//
// Without a display the cases report an error rather than a number. Each case's label names the
// document and the toolkit's renderer that drew it.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "bench/Vellum/BenchDocument.hpp"
#include "platform/appkit/ViewHostWidget.hpp"
#include "platform/ui/UI.hpp"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <gtk/gtk.h>
#include <malloc.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace ui = platform::ui;
using Clock = std::chrono::steady_clock;

constexpr int windowWidth = 800;
constexpr int windowHeight = 600;
constexpr double wheelStep = 40;

// ---- Main-thread busy time ----------------------------------------------------------------------

// Everything the main loop does outside its poll is busy time; one stretch between two polls is
// one dispatch, the longest of which is the longest stall a user could see.
double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct BusyMeter {
    GPollFunc poll = nullptr;
    Clock::time_point leftPoll = Clock::now();
    // The main thread's processor time outside the poll: busy time without the time the
    // thread was not running (a loaded machine).
    double cpu = 0;
    double cpuLeftPoll = threadCpuMs();
    Clock::duration busy{};
    Clock::duration longest{};

    void reset() {
        cpu = 0;
        cpuLeftPoll = threadCpuMs();
        busy = {};
        longest = {};
        leftPoll = Clock::now();
    }
    [[nodiscard]] double busyMs() const {
        return std::chrono::duration<double, std::milli>(busy + (Clock::now() - leftPoll)).count();
    }
    [[nodiscard]] double cpuMs() const { return cpu + (threadCpuMs() - cpuLeftPoll); }
    // The longest dispatch, the one under way included.
    [[nodiscard]] double longestMs() const {
        return std::chrono::duration<double, std::milli>(std::max(longest, Clock::now() - leftPoll))
            .count();
    }
};

BusyMeter& meter() {
    static BusyMeter instance;
    return instance;
}

gint meteredPoll(GPollFD* fds, guint count, gint timeout) {
    BusyMeter& m = meter();
    const auto entered = Clock::now();
    const auto stretch = entered - m.leftPoll;
    m.busy += stretch;
    m.longest = std::max(m.longest, stretch);
    m.cpu += threadCpuMs() - m.cpuLeftPoll;
    const gint result = m.poll(fds, count, timeout);
    m.leftPoll = Clock::now();
    m.cpuLeftPoll = threadCpuMs();
    return result;
}

// Starts the toolkit once; null when there is a display, else why not.
const char* startToolkit() {
    static const char* why = []() -> const char* {
        if (!gtk_init_check()) {
            return "no display: run under xvfb-run";
        }
        meter().poll = g_main_context_get_poll_func(nullptr);
        g_main_context_set_poll_func(nullptr, meteredPoll);
        return nullptr;
    }();
    return why;
}

// ---- Documents ----------------------------------------------------------------------------------

// The first `bytes` of the technical manual, cut before a heading.
std::string manualPrefix(std::size_t bytes) {
    const std::string& manual = moss_bench::technicalManual();
    const std::size_t cut = manual.rfind("\n## ", bytes);
    return manual.substr(0, cut == std::string::npos ? bytes : cut + 1);
}

const std::string& documentOf(int which) {
    static const std::string readme = manualPrefix(20 * 1024);
    static const std::string manual = manualPrefix(120 * 1024);
    switch (which) {
    case 0:
        return readme;
    case 1:
        return manual;
    default:
        return moss_bench::technicalDocument(); // 100 KB, formulas in every section
    }
}

const char* documentName(int which) {
    switch (which) {
    case 0:
        return "manual-20KB";
    case 1:
        return "manual-120KB";
    default:
        return "formulas-100KB";
    }
}

// ---- The window ---------------------------------------------------------------------------------

// A toplevel window 800 × 600 with a scrolled window in it, shown on the display; counts the
// frames the toolkit presents and times the last one.
class Toplevel {
public:
    Toplevel() {
        window_ = gtk_window_new();
        g_object_ref_sink(window_);
        gtk_window_set_default_size(GTK_WINDOW(window_), windowWidth, windowHeight);
        scroller_ = gtk_scrolled_window_new();
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller_), GTK_POLICY_NEVER,
                                       GTK_POLICY_AUTOMATIC);
        gtk_window_set_child(GTK_WINDOW(window_), scroller_);
        g_signal_connect(window_, "realize", G_CALLBACK(+[](GtkWidget* window, gpointer self) {
                             GdkFrameClock* const clock = gtk_widget_get_frame_clock(window);
                             g_signal_connect(clock, "before-paint",
                                              G_CALLBACK(+[](GdkFrameClock*, gpointer data) {
                                                  auto& shown = *static_cast<Toplevel*>(data);
                                                  shown.cycleStart_ = Clock::now();
                                              }),
                                              self);
                             g_signal_connect(clock, "after-paint",
                                              G_CALLBACK(+[](GdkFrameClock*, gpointer data) {
                                                  auto& shown = *static_cast<Toplevel*>(data);
                                                  ++shown.presented_;
                                                  shown.lastCycle_ =
                                                      Clock::now() - shown.cycleStart_;
                                              }),
                                              self);
                         }),
                         this);
    }
    ~Toplevel() {
        if (GdkFrameClock* const clock = gtk_widget_get_frame_clock(window_)) {
            g_signal_handlers_disconnect_by_data(clock, this);
        }
        gtk_window_destroy(GTK_WINDOW(window_));
        g_object_unref(window_);
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
    Toplevel(const Toplevel&) = delete;
    Toplevel& operator=(const Toplevel&) = delete;

    // Shows `content` in the scrolled window from its top, in place of what it showed; presents
    // the window the first time.
    void show(GtkWidget* content) {
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller_), nullptr);
        gtk_adjustment_set_value(vertical(), 0);
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller_), content);
        gtk_window_present(GTK_WINDOW(window_));
    }

    [[nodiscard]] GtkWidget* window() const { return window_; }
    [[nodiscard]] GtkAdjustment* vertical() const {
        return gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroller_));
    }
    [[nodiscard]] std::uint64_t presented() const { return presented_; }
    [[nodiscard]] Clock::duration lastCycle() const { return lastCycle_; }

private:
    GtkWidget* window_ = nullptr;
    GtkWidget* scroller_ = nullptr;
    Clock::time_point cycleStart_;
    Clock::duration lastCycle_{};
    std::uint64_t presented_ = 0;
};

// A document in the host, in a scrolled window, in a toplevel window.
//
// Where the document is shown:
// - `openWindow`: in the window the process opened once and keeps, as a program shows one
//   document after another in its window: the window is set up, its renderer drew (and compiled
//   what it draws with) before (see `openWindow()`), and the document's host replaces what the
//   window showed;
// - `newWindow`: in a window of its own, made for it: the window's set-up and its renderer's
//   first drawing count with the document's;
// - `newWindowScrolledWhole`: as `newWindow`, a viewport scrolling the host whole (the host has
//   no adjustment and is as tall as the document), as a container that knows nothing of the host
//   does.
enum class Where { openWindow, newWindow, newWindowScrolledWhole };

Toplevel& openWindow();

class DocumentWindow {
public:
    // `into`: the open window to show it in, where not the process's own.
    explicit DocumentWindow(const std::string& markdown, Where where = Where::openWindow,
                            Toplevel* into = nullptr)
        : made_(Clock::now())
        , host_(vellum::textSelection(ui::AnyView(vellum::StructuredText(markdown)).padding(16),
                                      vellum::EnabledTextSelectability())) {
        if (where != Where::openWindow) {
            owned_ = std::make_unique<Toplevel>();
        }
        toplevel_ = owned_ ? owned_.get() : into != nullptr ? into : &openWindow();
        GtkWidget* content = GTK_WIDGET(host_.gtkWidget());
        if (where == Where::newWindowScrolledWhole) {
            content = gtk_viewport_new(nullptr, nullptr);
            gtk_viewport_set_child(GTK_VIEWPORT(content), GTK_WIDGET(host_.gtkWidget()));
        }
        built_ = Clock::now() - made_;
        toplevel_->show(content);
    }
    ~DocumentWindow() {
        if (!owned_) {
            toplevel_->show(nullptr);
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        }
    }
    DocumentWindow(const DocumentWindow&) = delete;
    DocumentWindow& operator=(const DocumentWindow&) = delete;

    platform::ViewHostWidget& host() { return host_; }
    [[nodiscard]] GtkWidget* window() const { return toplevel_->window(); }
    [[nodiscard]] bool inNewWindow() const { return owned_ != nullptr; }
    [[nodiscard]] GtkAdjustment* vertical() const { return toplevel_->vertical(); }
    // Runs the loop until a frame that drew the tree was presented after this call, or until
    // `deadline` passed (false then).
    bool waitForFrame(std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
        const auto drawn = host_.framesDrawn();
        const auto presented = toplevel_->presented();
        const auto end = Clock::now() + deadline;
        // Wakes the loop now and then, should nothing else.
        const guint wake = g_timeout_add(
            20, +[](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
        bool shown = true;
        while (!(toplevel_->presented() > presented && host_.framesDrawn() > drawn)) {
            if (Clock::now() > end) {
                shown = false;
                break;
            }
            g_main_context_iteration(nullptr, TRUE);
        }
        g_source_remove(wake);
        return shown;
    }
    // The renderer the toolkit draws the window with.
    [[nodiscard]] std::string renderer() const {
        GskRenderer* const renderer = gtk_native_get_renderer(GTK_NATIVE(window()));
        return renderer != nullptr ? G_OBJECT_TYPE_NAME(renderer) : "none";
    }
    // The host's work ahead in idle time so far, in milliseconds.
    [[nodiscard]] double idleWorkMs() {
        return std::chrono::duration<double, std::milli>(host_.statistics().idleWork).count();
    }
    // How long making the host (parsing the document) and the window took.
    [[nodiscard]] double builtMs() const {
        return std::chrono::duration<double, std::milli>(built_).count();
    }
    // How long the last frame the toolkit presented took, from its first phase to its last
    // (updates, layout, snapshot, rendering).
    [[nodiscard]] double lastFrameMs() const {
        return std::chrono::duration<double, std::milli>(toplevel_->lastCycle()).count();
    }

    // Runs the loop until the rows are all laid out and nothing is left to do.
    void settle() {
        const auto end = Clock::now() + std::chrono::seconds(60);
        while (host_.graph().hasDeferredLayout() && Clock::now() < end) {
            g_main_context_iteration(nullptr, TRUE);
        }
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    }
    // Runs the loop until the host has had the window's renderer draw what it warms it with
    // (see the host), or until a deadline that only catches a hang.
    void waitForWarmRenderer() {
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (host_.statistics().rendererWarmUps == 0 && Clock::now() < end) {
            g_main_context_iteration(nullptr, TRUE);
        }
    }

private:
    Clock::time_point made_;
    Clock::duration built_{};
    platform::ViewHostWidget host_;
    std::unique_ptr<Toplevel> owned_;
    Toplevel* toplevel_ = nullptr;
};

// The window the process keeps open, as a program keeps its window: opened once, it
// showed a short document and its renderer was warmed, before any case puts a document in it.
Toplevel& openWindow() {
    // Kept to the process's end.
    static Toplevel* const window = new Toplevel();
    static const bool warmed = [] {
        DocumentWindow first(manualPrefix(4 * 1024), Where::openWindow, window);
        first.waitForFrame();
        first.waitForWarmRenderer();
        return true;
    }();
    (void)warmed;
    return *window;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// Starts the toolkit; null (the case skipped) when it cannot start.
const std::string* beginCase(benchmark::State& state) {
    if (const char* why = startToolkit()) {
        state.SkipWithError(why);
        return nullptr;
    }
    openWindow();
    return &documentOf(static_cast<int>(state.range(0)));
}

// Where the case shows its document: arg 1 of the cases that take one (0: the open window, 1: a
// new window).
Where whereOf(const benchmark::State& state) {
    return state.range(1) != 0 ? Where::newWindow : Where::openWindow;
}

// Labels the case with its document and the renderer that drew `window`.
void labelCase(benchmark::State& state, const DocumentWindow& window) {
    state.SetLabel(std::string(documentName(static_cast<int>(state.range(0)))) + " " +
                   window.renderer() + (window.inNewWindow() ? " new-window" : ""));
}

// The frames of a case: each one's busy time and the main thread's processor time, without the
// host's work ahead in idle time, which is kept apart.
struct Frames {
    std::vector<double> busy;
    std::vector<double> cpu;
    std::vector<double> idle;

    void add(double busyMs, double cpuMs, double idleMs) {
        busy.push_back(std::max(busyMs - idleMs, 0.0));
        cpu.push_back(std::max(cpuMs - idleMs, 0.0));
        idle.push_back(idleMs);
    }
};

// Frame times, the idle work done while they waited, and the longest stall.
void reportFrames(benchmark::State& state, const Frames& frames, double longest) {
    state.counters["p50_ms"] = percentile(frames.busy, 0.5);
    state.counters["p99_ms"] = percentile(frames.busy, 0.99);
    state.counters["max_ms"] = percentile(frames.busy, 1.0);
    state.counters["cpu_p50_ms"] = percentile(frames.cpu, 0.5);
    state.counters["cpu_p99_ms"] = percentile(frames.cpu, 0.99);
    state.counters["idle_p50_ms"] = percentile(frames.idle, 0.5);
    state.counters["idle_p99_ms"] = percentile(frames.idle, 0.99);
    state.counters["stall_ms"] = longest;
}

// ---- Cases --------------------------------------------------------------------------------------

void firstFrame(benchmark::State& state) {
    const std::string* const document = beginCase(state);
    if (document == nullptr) {
        return;
    }
    const std::string& markdown = *document;
    std::vector<double> samples;
    std::vector<double> launch;
    std::vector<double> built;
    std::vector<double> frame;
    for (auto _ : state) {
        meter().reset();
        DocumentWindow window(markdown, whereOf(state));
        if (!window.waitForFrame()) {
            state.SkipWithError("no frame was presented");
            return;
        }
        labelCase(state, window);
        // The document's own work for its first frame: parsing and building it, then the frame
        // that lays out and draws the first screen. The rest of the launch is the toolkit's
        // window set-up, waits for the X server and idle layout of the rows below.
        const double own = window.builtMs() + window.lastFrameMs();
        samples.push_back(own);
        built.push_back(window.builtMs());
        frame.push_back(window.lastFrameMs());
        launch.push_back(meter().busyMs());
        state.SetIterationTime(own / 1000);
    }
    state.counters["p50_ms"] = percentile(samples, 0.5);
    state.counters["max_ms"] = percentile(samples, 1.0);
    state.counters["build_p50_ms"] = percentile(built, 0.5);
    state.counters["frame_p50_ms"] = percentile(frame, 0.5);
    state.counters["launch_busy_p50_ms"] = percentile(launch, 0.5);
}

void scrollFrames(benchmark::State& state) {
    const std::string* const document = beginCase(state);
    if (document == nullptr) {
        return;
    }
    const std::string& markdown = *document;
    DocumentWindow window(markdown);
    window.waitForFrame();
    window.settle();
    labelCase(state, window);
    GtkAdjustment* const vertical = window.vertical();
    Frames frames;
    double longest = 0;
    double direction = 1;
    const auto drawnBefore = window.host().statistics();
    for (auto _ : state) {
        const double bottom =
            gtk_adjustment_get_upper(vertical) - gtk_adjustment_get_page_size(vertical);
        double next = gtk_adjustment_get_value(vertical) + direction * wheelStep;
        if (next > bottom || next < 0) {
            direction = -direction;
            next = gtk_adjustment_get_value(vertical) + direction * wheelStep;
        }
        const double idleBefore = window.idleWorkMs();
        meter().reset();
        gtk_adjustment_set_value(vertical, next);
        if (!window.waitForFrame()) {
            state.SkipWithError("no frame was presented");
            return;
        }
        longest = std::max(longest, meter().longestMs());
        frames.add(meter().busyMs(), meter().cpuMs(), window.idleWorkMs() - idleBefore);
        state.SetIterationTime(frames.busy.back() / 1000);
    }
    reportFrames(state, frames, longest);
    // Counted, where times are noisy: strips drawn for the frames and ahead of them, per frame.
    const auto& drawn = window.host().statistics();
    state.counters["strips_per_frame"] =
        double(drawn.stripsDrawn + drawn.stripsDrawnAhead - drawnBefore.stripsDrawn -
               drawnBefore.stripsDrawnAhead) /
        double(frames.busy.size());
}

// From the window's first frame straight down to the end, a notch per frame, while the rows below
// are still being laid out in idle time: the longest dispatch is the worst hitch a reader sees.
void scrollWhileLoading(benchmark::State& state) {
    const std::string* const document = beginCase(state);
    if (document == nullptr) {
        return;
    }
    const std::string& markdown = *document;
    Frames frames;
    double longest = 0;
    for (auto _ : state) {
        DocumentWindow window(markdown, whereOf(state));
        window.waitForFrame();
        labelCase(state, window);
        GtkAdjustment* const vertical = window.vertical();
        meter().reset();
        const auto start = Clock::now();
        for (int step = 0; step < 400; ++step) {
            const double bottom =
                gtk_adjustment_get_upper(vertical) - gtk_adjustment_get_page_size(vertical);
            const double value = gtk_adjustment_get_value(vertical);
            if (value >= bottom) {
                break;
            }
            const double before = meter().busyMs();
            const double cpuBefore = meter().cpuMs();
            const double idleBefore = window.idleWorkMs();
            gtk_adjustment_set_value(vertical, std::min(bottom, value + wheelStep));
            if (!window.waitForFrame()) {
                state.SkipWithError("no frame was presented");
                return;
            }
            frames.add(meter().busyMs() - before, meter().cpuMs() - cpuBefore,
                       window.idleWorkMs() - idleBefore);
        }
        longest = std::max(longest, meter().longestMs());
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    reportFrames(state, frames, longest);
}

// A selection dragged from the top of the first screen down over it, a few points per frame, as a
// pointer held down and moved.
void dragSelection(benchmark::State& state) {
    const std::string* const document = beginCase(state);
    if (document == nullptr) {
        return;
    }
    const std::string& markdown = *document;
    DocumentWindow window(markdown);
    window.waitForFrame();
    window.settle();
    labelCase(state, window);
    ui::ViewGraph& graph = window.host().graph();
    Frames frames;
    double longest = 0;
    const platform::Point start{60, 80};
    platform::Point at = start;
    bool down = false;
    for (auto _ : state) {
        ui::PointerEvent event;
        event.button = 1;
        event.clickCount = 1;
        if (!down || at.y > windowHeight - 40) {
            if (down) {
                ui::PointerEvent up = event;
                up.kind = ui::PointerEvent::Kind::up;
                up.location = at;
                graph.pointerEvent(up);
            }
            at = start;
            event.kind = ui::PointerEvent::Kind::down;
            down = true;
        } else {
            at = {at.x + 3, at.y + 7};
            event.kind = ui::PointerEvent::Kind::dragged;
        }
        event.location = at;
        const double idleBefore = window.idleWorkMs();
        meter().reset();
        graph.pointerEvent(event);
        // A press, or a move within one character, changes nothing to draw.
        const bool drawn = window.waitForFrame(std::chrono::milliseconds(200));
        const double busy = std::max(meter().busyMs() - (window.idleWorkMs() - idleBefore), 0.0);
        if (!drawn) {
            state.SetIterationTime(busy / 1000);
            continue;
        }
        longest = std::max(longest, meter().longestMs());
        frames.add(meter().busyMs(), meter().cpuMs(), window.idleWorkMs() - idleBefore);
        state.SetIterationTime(frames.busy.back() / 1000);
    }
    reportFrames(state, frames, longest);
}

// The process's resident memory, in megabytes, once the allocator gave back what it could.
double residentMB() {
    malloc_trim(0);
    long pages = 0;
    long resident = 0;
    if (FILE* const statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// What the window keeps while it shows the document (scrolled down and back, its rows all laid
// out), and once hidden: the host keeps pixels only of what is on screen. Arg 1: the host in a
// viewport that scrolls it whole, as tall as the document.
void residentMemory(benchmark::State& state) {
    const std::string* const document = beginCase(state);
    if (document == nullptr) {
        return;
    }
    for (auto _ : state) {
        DocumentWindow window(*document, state.range(1) != 0 ? Where::newWindowScrolledWhole
                                                             : Where::newWindow);
        if (!window.waitForFrame()) {
            state.SkipWithError("no frame");
            return;
        }
        window.settle();
        gtk_adjustment_set_value(window.vertical(), 2000);
        window.waitForFrame();
        gtk_adjustment_set_value(window.vertical(), 0);
        window.waitForFrame();
        window.settle();
        state.counters["rss_shown_mb"] = residentMB();
        state.counters["strips_shown"] = double(window.host().statistics().stripsKept);
        state.counters["height_pt"] = window.host().graph().size().height;
        gtk_widget_set_visible(window.window(), FALSE);
        window.settle();
        state.counters["rss_hidden_mb"] = residentMB();
        state.counters["strips_hidden"] = double(window.host().statistics().stripsKept);
        state.SetIterationTime(0.001);
        labelCase(state, window);
    }
}

} // namespace

BENCHMARK(residentMemory)
    ->Args({1, 0})
    ->Args({1, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(firstFrame)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(8);
BENCHMARK(scrollFrames)
    ->DenseRange(0, 2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(300);
BENCHMARK(scrollWhileLoading)
    ->ArgsProduct({{1, 2}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(dragSelection)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(150);

BENCHMARK_MAIN();
