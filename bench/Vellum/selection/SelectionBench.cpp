// Selection over long documents.
//
// The model alone: 2,000 paragraphs of about 400 characters each, wrapped at 600 points, stacked
// as the block stack places them. A drag update is one hit test for the moving end and the
// highlight rectangles of the range, here the whole document from its start. The collection is
// read once beforehand, as the first hit test of a drag fills the lazy model.
//
// The real thing: the shared technical document (100 KB of headings, paragraphs, lists, quotes,
// tables, code and formulas) as a selectable StructuredText laid out whole offscreen at 480
// points. A drag update is the pointer event (hit test, model update), the update it causes (the
// highlights whose share changed compute their rectangles again) and the display list (what
// changed is recorded again). A copy is the plain text and HTML of the whole document selected.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/export/Formatter.hpp"
#include "Vellum/inline/TextFragmentAttribute.hpp"
#include "Vellum/selection/LiveTextLayout.hpp"
#include "Vellum/selection/TextHitTesting.hpp"
#include "Vellum/selection/TextSelectionInteraction.hpp"
#include "Vellum/selection/TextSelectionRect.hpp"
#include "bench/Vellum/BenchDocument.hpp"
#include "bench/support/AllocationCounter.hpp"
#include "platform/ui/OffscreenHost.hpp"

#include <array>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <fmt/format.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>

namespace {

namespace ui = platform::ui;

constexpr int kParagraphs = 2000;
constexpr double kWidth = 600;

std::string paragraph(int n) {
    std::string text = "Paragraph " + std::to_string(n) + ": ";
    while (text.size() < 400) {
        text += "the quick brown fox jumps over the lazy dog, ";
    }
    return text;
}

struct Document {
    std::shared_ptr<const vellum::LiveTextLayoutCollection> collection;
    double height = 0;
};

const Document& document() {
    static const Document doc = [] {
        ui::Text::LayoutKey::Value layouts;
        double y = 0;
        for (int i = 0; i < kParagraphs; ++i) {
            const std::string text = paragraph(i);
            const platform::TextAttributes attributes{.font = platform::Font::system(15)};
            auto laidOut = std::make_shared<const platform::TextLayout>(
                platform::StyledText(text, attributes), platform::ParagraphStyle{.width = kWidth});
            const ui::Text::Run run = ui::Text(std::vector<ui::Text::Run>{{text, attributes}})
                                          .customAttribute(vellum::TextFragmentAttribute{})
                                          .runs()
                                          .front();
            const double height = laidOut->size().height;
            layouts.push_back({ui::Anchor<platform::Point>(platform::Point{0, y}),
                               ui::Text::Layout(std::move(laidOut), {run})});
            y += height + 10;
        }
        Document d{std::make_shared<const vellum::LiveTextLayoutCollection>(std::move(layouts),
                                                                            ui::GeometryProxy()),
                   y};
        // Fill the lazy model: every line, run and slice.
        const vellum::TextRange all{vellum::startPosition(*d.collection),
                                    vellum::endPosition(*d.collection)};
        benchmark::DoNotOptimize(vellum::buildSelectionRects(*d.collection, all));
        return d;
    }();
    return doc;
}

void HitTestPoint(benchmark::State& state) {
    const Document& doc = document();
    const platform::Point point{kWidth / 3, doc.height * 0.6};
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellum::closestPosition(*doc.collection, point));
    }
}
BENCHMARK(HitTestPoint)->Unit(benchmark::kMicrosecond);

void SelectionRectsWholeDocument(benchmark::State& state) {
    const Document& doc = document();
    const vellum::TextRange all{vellum::startPosition(*doc.collection),
                                vellum::endPosition(*doc.collection)};
    std::size_t count = 0;
    for (auto _ : state) {
        const auto rects = vellum::buildSelectionRects(*doc.collection, all);
        count = rects.size();
        benchmark::DoNotOptimize(rects.data());
    }
    state.counters["rects"] = static_cast<double>(count);
    std::size_t runs = 0;
    std::size_t slices = 0;
    for (std::size_t l = 0; l < doc.collection->layoutCount(); ++l) {
        const auto& layout = doc.collection->layout(l);
        for (std::size_t n = 0; n < layout.lineCount(); ++n) {
            runs += layout.line(n).runCount();
            for (std::size_t r = 0; r < layout.line(n).runCount(); ++r) {
                slices += layout.line(n).run(r).sliceCount();
            }
        }
    }
    state.counters["runs"] = static_cast<double>(runs);
    state.counters["slices"] = static_cast<double>(slices);
}
BENCHMARK(SelectionRectsWholeDocument)->Unit(benchmark::kMillisecond);

// One drag update: the moving end is hit-tested at the bottom of the document, and the range from
// the start of the document to it yields its rectangles.
void DragUpdateWholeDocument(benchmark::State& state) {
    const Document& doc = document();
    const auto start = vellum::startPosition(*doc.collection);
    for (auto _ : state) {
        const auto end = vellum::closestPosition(*doc.collection, {kWidth / 2, doc.height - 5});
        benchmark::DoNotOptimize(vellum::buildSelectionRects(*doc.collection, {start, *end}));
    }
}
BENCHMARK(DragUpdateWholeDocument)->Unit(benchmark::kMillisecond);

// What the overlay draws while the drag goes on: the share of one on-screen paragraph.
void SelectionRectsInOneLayout(benchmark::State& state) {
    const Document& doc = document();
    const vellum::TextRange all{vellum::startPosition(*doc.collection),
                                vellum::endPosition(*doc.collection)};
    const auto& layout = doc.collection->base()[kParagraphs / 2].layout;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vellum::selectionRectsInLayout(*doc.collection, all, layout));
    }
}
BENCHMARK(SelectionRectsInOneLayout)->Unit(benchmark::kMicrosecond);

// Hands out the model of the selectable text it is built in.
struct ModelProbe {
    std::weak_ptr<std::shared_ptr<vellum::TextSelectionModel>> out;
    ui::AnyView body(ui::ViewContext& context) const {
        const auto holder = out.lock();
        if (auto model = context.environment<vellum::TextSelectionModelKey>(); model && holder) {
            *holder = std::move(model);
        }
        return ui::AnyView(platform::Color::clear());
    }
    friend bool operator==(const ModelProbe&, const ModelProbe&) { return false; }
};

// The document's emoji, whose view, built inside the document, hands out its selection model.
class ProbeEmoji final : public vellum::Attachment {
public:
    ProbeEmoji(std::string text, std::weak_ptr<std::shared_ptr<vellum::TextSelectionModel>> out)
        : text_(std::move(text))
        , out_(std::move(out)) {}
    bool isEqual(const vellum::Attachment& other) const override {
        const auto* emoji = dynamic_cast<const ProbeEmoji*>(&other);
        return emoji != nullptr && emoji->text_ == text_;
    }
    std::size_t hashValue() const override { return std::hash<std::string>()(text_); }
    std::string description() const override { return ":" + text_ + ":"; }
    ui::AnyView body() const override { return ui::AnyView(ModelProbe{out_}); }
    platform::Size
    sizeThatFits(ui::ProposedViewSize /*proposal*/,
                 const vellum::TextEnvironmentValues& /*environment*/) const override {
        return {14, 14};
    }

private:
    std::string text_;
    // Weakly: the model's texts hold the attachment.
    std::weak_ptr<std::shared_ptr<vellum::TextSelectionModel>> out_;
};

class ProbeEmojiLoader final : public vellum::AttachmentLoader {
public:
    explicit ProbeEmojiLoader(std::weak_ptr<std::shared_ptr<vellum::TextSelectionModel>> out)
        : out_(std::move(out)) {}
    platform::Task<vellum::AnyAttachment>
    attachment(platform::URL /*url*/, std::string text,
               vellum::ColorEnvironmentValues /*env*/) const override {
        co_return vellum::AnyAttachment(ProbeEmoji(std::move(text), out_));
    }

private:
    std::weak_ptr<std::shared_ptr<vellum::TextSelectionModel>> out_;
};

class SelectableDocument {
public:
    SelectableDocument()
        : host_(root(), {480, std::nullopt}) {
        host_.runUntil([this] { return *model_ != nullptr; }, std::chrono::milliseconds(60000));
        host_.runUntilIdle(std::chrono::milliseconds(60000));
        if (*model_ == nullptr) {
            throw std::runtime_error("the document shows no selection");
        }
    }
    ui::AnyView root() {
        std::unordered_set<vellum::Emoji> emoji;
        for (const char* name : {"rocket", "smile", "+1", "tada"}) {
            emoji.insert({name, *platform::URL::fromString(std::string("e:") + name)});
        }
        return vellum::textSelection(
            ui::AnyView(
                vellum::StructuredText(
                    markdown(), std::nullopt,
                    vellum::AttributedStringMarkdownParser::syntaxExtensions({emoji, true})))
                .environment<vellum::EmojiAttachmentLoaderKey>(
                    std::make_shared<const ProbeEmojiLoader>(model_)),
            vellum::EnabledTextSelectability());
    }
    static std::string markdown() {
        std::string text = moss_bench::technicalDocument();
        while (text.size() < 100 * 1024) {
            text += moss_bench::technicalDocument();
        }
        return text;
    }
    ui::OffscreenHost& host() { return host_; }
    vellum::TextSelectionModel& model() { return **model_; }
    const std::shared_ptr<vellum::TextSelectionModel>& sharedModel() { return *model_; }
    const vellum::TextLayoutCollection& collection() { return model().layoutCollection(); }
    double height() { return host_.size().height; }

private:
    std::shared_ptr<std::shared_ptr<vellum::TextSelectionModel>> model_ =
        std::make_shared<std::shared_ptr<vellum::TextSelectionModel>>();
    ui::OffscreenHost host_;
};

// The pointer pressed near the top and moved back and forth between two places a few lines apart
// in the middle of the document: every update moves the selection's end.
void DocumentDragUpdate(benchmark::State& state) {
    SelectableDocument doc;
    const double middle = doc.height() / 2;
    const platform::Point from{200, 40};
    const std::array<platform::Point, 2> to{platform::Point{150, middle},
                                            platform::Point{300, middle + 60}};
    doc.host().pointer({ui::PointerEvent::Kind::down, from, 1, 1, {}});
    // The first drag reads the layouts' lines and glyphs, which later ones reuse.
    doc.host().pointer({ui::PointerEvent::Kind::dragged, to[1], 1, 1, {}});
    benchmark::DoNotOptimize(doc.host().graph().displayList());
    std::size_t i = 0;
    const std::uint64_t allocations = bench::allocationCount();
    const ui::ViewGraph::Statistics before = doc.host().graph().statistics();
    for (auto _ : state) {
        doc.host().pointer({ui::PointerEvent::Kind::dragged, to[i++ % 2], 1, 1, {}});
        const ui::DisplayList list = doc.host().graph().displayList();
        benchmark::DoNotOptimize(&list);
    }
    const ui::ViewGraph::Statistics& after = doc.host().graph().statistics();
    const auto perUpdate = [&state](std::uint64_t count) {
        return static_cast<double>(count) / static_cast<double>(state.iterations());
    };
    state.counters["allocs/update"] = perUpdate(bench::allocationCount() - allocations);
    state.counters["bodies/update"] = perUpdate(after.bodyEvaluations - before.bodyEvaluations);
    state.counters["sizes/update"] = perUpdate(after.sizeComputations - before.sizeComputations);
    state.counters["recordings/update"] = perUpdate(after.recordings - before.recordings);
    state.counters["texts"] = static_cast<double>(doc.collection().layoutCount());
    doc.host().pointer({ui::PointerEvent::Kind::up, to[0], 1, 1, {}});
}
BENCHMARK(DocumentDragUpdate)->Unit(benchmark::kMicrosecond);

// FNV-1a: a fingerprint of the copy to compare runs by.
std::uint32_t copyHash(std::string_view text, std::uint32_t hash = 2166136261U) {
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
    }
    return hash;
}

void DocumentCopyWholeSelection(benchmark::State& state) {
    SelectableDocument doc;
    const vellum::TextRange all{vellum::startPosition(doc.collection()),
                                vellum::endPosition(doc.collection())};
    doc.model().setSelectedRange(all);
    doc.host().runUntilIdle();
    const vellum::TextInteractionView view(doc.sharedModel());
    // The copy must stay the export of the selected text joined into one attributed string, byte
    // for byte, however it gets there.
    const auto first = view.copiedSelection();
    const vellum::Formatter joined(vellum::attributedText(doc.collection(), all));
    if (!first || first->plainText != joined.plainText() || first->html != joined.html()) {
        state.SkipWithError("the copy differs from the export of the joined selection");
        return;
    }
    state.SetLabel(fmt::format("hash {:08x}", copyHash(first->html, copyHash(first->plainText))));
    std::size_t bytes = 0;
    const std::uint64_t allocations = bench::allocationCount();
    for (auto _ : state) {
        const auto copied = view.copiedSelection();
        bytes = copied->plainText.size() + copied->html.size();
        benchmark::DoNotOptimize(copied->html.data());
    }
    state.counters["allocs/copy"] = static_cast<double>(bench::allocationCount() - allocations) /
                                    static_cast<double>(state.iterations());
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["runs"] =
        static_cast<double>(vellum::attributedText(doc.collection(), all).runs().size());
}
BENCHMARK(DocumentCopyWholeSelection)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
