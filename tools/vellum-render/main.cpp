// Renders a markdown document to a PNG, for looking at what the library draws:
//
//     vellum-render <document.md> <output.png> [--width points] [--style default|github]
//                   [--appearance light|dark] [--emoji list.json]
//
// The picture is `width` pixels wide (800 by default) with the document set inside a margin, as
// tall as the document needs. Formulas are on; images load from disk (paths relative to the
// document) or the network; custom emoji come from a JSON list of {"shortcode", "url"} objects
// whose relative URLs are read against the list's folder (Unicode emoji need no list). The tool
// waits until the images are in and the code is coloured before it draws. An image that cannot be
// loaded is reported on standard error and stays text, as it would on screen. A document taller
// than one drawing surface holds is drawn and written in strips.

#include "Vellum/attachments/AttachmentLoader.hpp"
#include "Vellum/attachments/Emoji.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/markdown/AttributedStringMarkdownParser.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/Markdown.hpp"
#include "platform/foundation/URLComponents.hpp"
#include "platform/runtime/MainExecutor.hpp"
#include "platform/runtime/Task.hpp"
#include "platform/ui/UI.hpp"
#include "tools/vellum-render/PngStripWriter.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

namespace ui = platform::ui;
namespace fs = std::filesystem;

constexpr double margin = 24;
constexpr double minimumWidth = 2 * margin + 40;
// A wider picture is no longer a page; it would only cost memory.
constexpr double maximumWidth = 8000;

struct Options {
    fs::path input;
    fs::path output;
    double width = 800;
    bool gitHub = false;
    bool dark = false;
    std::optional<fs::path> emojiList;
};

// What went wrong, said to the user; main prints it and exits with `status`.
struct Failure {
    std::string message;
    int status = 1;
};

// Asked for the usage: main prints it and exits with success.
struct HelpAsked {};

constexpr const char* usage =
    "usage: vellum-render <document.md> <output.png> [--width points] [--style default|github]\n"
    "                     [--appearance light|dark] [--emoji list.json]\n";

Options parseArguments(const std::vector<std::string_view>& arguments) {
    Options options;
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            throw HelpAsked{};
        }
        if (!argument.starts_with("--")) {
            positional.push_back(argument);
            continue;
        }
        if (i + 1 >= arguments.size()) {
            throw Failure{std::string(argument) + " needs a value", 2};
        }
        const std::string_view value = arguments[++i];
        if (argument == "--width") {
            double width = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), width);
            if (error != std::errc() || end != value.data() + value.size() ||
                !(width >= minimumWidth && width <= maximumWidth)) {
                std::ostringstream message;
                message << "--width must be a number from " << minimumWidth << " to "
                        << maximumWidth << ", not \"" << value << "\"";
                throw Failure{message.str(), 2};
            }
            options.width = width;
        } else if (argument == "--style") {
            if (value != "default" && value != "github") {
                throw Failure{
                    "--style must be default or github, not \"" + std::string(value) + "\"", 2};
            }
            options.gitHub = value == "github";
        } else if (argument == "--appearance") {
            if (value != "light" && value != "dark") {
                throw Failure{
                    "--appearance must be light or dark, not \"" + std::string(value) + "\"", 2};
            }
            options.dark = value == "dark";
        } else if (argument == "--emoji") {
            options.emojiList = fs::path(value);
        } else {
            throw Failure{"unknown option " + std::string(argument), 2};
        }
    }
    if (positional.size() != 2) {
        throw Failure{"expected a document and an output file", 2};
    }
    options.input = fs::path(positional[0]);
    options.output = fs::path(positional[1]);
    return options;
}

std::string readFile(const fs::path& path, const char* what) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        throw Failure{"cannot read " + std::string(what) + " " + path.string() +
                      ": it is a directory"};
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw Failure{"cannot read " + std::string(what) + " " + path.string() + ": " +
                      std::generic_category().message(errno)};
    }
    std::string text{std::istreambuf_iterator<char>(file), {}};
    if (file.bad()) {
        throw Failure{"cannot read " + std::string(what) + " " + path.string()};
    }
    return text;
}

// The file URL of a folder (an absolute path), ending in "/" so that relative references resolve
// inside it.
platform::URL folderURL(const fs::path& folder) {
    platform::URLComponents components;
    components.setScheme("file");
    components.setHost("");
    std::string path = folder.lexically_normal().string();
    if (!path.ends_with('/')) {
        path += '/';
    }
    components.setPath(path);
    const std::optional<std::string> text = components.string();
    const std::optional<platform::URL> url = text ? platform::URL::fromString(*text) : std::nullopt;
    if (!url) {
        throw Failure{"cannot make a URL of the folder " + folder.string()};
    }
    return *url;
}

std::unordered_set<vellum::Emoji> readEmoji(const fs::path& list) {
    const std::string json = readFile(list, "emoji list");
    std::vector<vellum::Emoji> emoji;
    try {
        emoji = platform::JSONDecoder().decode<std::vector<vellum::Emoji>>(json);
    } catch (...) {
        throw Failure{"cannot read the emoji list " + list.string() + ": " +
                      platform::localizedDescription(std::current_exception())};
    }
    const std::string base = folderURL(fs::absolute(list).parent_path()).absoluteString();
    std::unordered_set<vellum::Emoji> set;
    for (vellum::Emoji& entry : emoji) {
        const std::string resolved =
            platform::resolveURLReference(base, entry.url.absoluteString());
        if (const std::optional<platform::URL> url = platform::URL::fromString(resolved)) {
            entry.url = *url;
        }
        set.insert(std::move(entry));
    }
    return set;
}

// Passes loads on to the environment's own loader; reports those that fail and counts those
// that ended, so that the tool knows when the pictures are in.
class ReportingLoader final : public vellum::AttachmentLoader {
public:
    ReportingLoader(vellum::SharedAttachmentLoader loader, const char* kind,
                    std::shared_ptr<std::atomic<int>> ended)
        : loader_(std::move(loader))
        , kind_(kind)
        , ended_(std::move(ended)) {}

    platform::Task<vellum::AnyAttachment>
    attachment(platform::URL url, std::string text,
               vellum::ColorEnvironmentValues environment) const override {
        const std::string address = url.absoluteString();
        std::exception_ptr failure;
        try {
            vellum::AnyAttachment attachment =
                co_await loader_->attachment(std::move(url), std::move(text), environment);
            ++*ended_;
            co_return attachment;
        } catch (...) {
            failure = std::current_exception();
        }
        std::fprintf(stderr, "vellum-render: %s %s not loaded: %s\n", kind_, address.c_str(),
                     platform::localizedDescription(failure).c_str());
        ++*ended_;
        std::rethrow_exception(failure);
    }

private:
    vellum::SharedAttachmentLoader loader_;
    const char* kind_;
    std::shared_ptr<std::atomic<int>> ended_;
};

// How many loads the document starts: one per run with an image or emoji address.
int countLoads(const platform::AttributedString& parsed) {
    int count = 0;
    for (const auto& run : parsed.runs()) {
        const bool image =
            run.get<platform::AttributeScopes::FoundationAttributes::ImageURLAttribute>() !=
            nullptr;
        count += image || vellum::emojiURL(run.attributes) != nullptr ? 1 : 0;
    }
    return count;
}

// Runs the main loop until the document has settled: every load ended, every code block that
// awaits its tokens answered, and nothing left to update. Debug builds also wait for every task
// of the view to finish (they count live tasks). False when it had not settled after a minute.
bool settle(ui::OffscreenHost& host, const std::atomic<int>& ended, int loads, long baseline) {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    const std::shared_ptr<vellum::CodeTokenizer>& tokenizer = vellum::CodeTokenizer::shared();
    const auto answered = [&] {
        return ended.load() >= loads && (!tokenizer || tokenizer->pendingCount() == 0) &&
               (baseline < 0 || platform::detail::liveFrameCount() <= baseline);
    };
    while (std::chrono::steady_clock::now() < deadline) {
        host.runUntil(answered, std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now()));
        host.runUntilIdle();
        // The answers may have made more to do (a block laid out anew awaits its own).
        if (answered() && !host.graph().needsUpdate() &&
            platform::MainExecutor::shared().pendingCount() == 0) {
            return true;
        }
    }
    return false;
}

// Tallest strip drawn at once: well inside the drawing surface's limit of 32,767 pixels, and a
// few megabytes at the widest page.
constexpr int stripHeight = 4096;

// Draws the whole page strip by strip into the PNG file at `path`.
void drawInStrips(ui::OffscreenHost& host, const platform::Color& paper, double width,
                  const fs::path& path) {
    const platform::Size size = host.size();
    const int pixelWidth = int(std::ceil(width));
    const int pixelHeight = std::max(1, int(std::ceil(size.height)));
    vellum_render::PngStripWriter writer(path, pixelWidth, pixelHeight, true);
    for (int top = 0; top < pixelHeight; top += stripHeight) {
        const int rows = std::min(stripHeight, pixelHeight - top);
        host.setVisibleRect(platform::Rect({0, double(top)}, {double(pixelWidth), double(rows)}));
        const platform::Image strip = host.render(1.0, paper);
        if (strip.isNull() || strip.width() != pixelWidth || strip.height() < rows) {
            throw Failure{"cannot draw the picture"};
        }
        writer.write(strip, rows);
    }
    host.setVisibleRect(std::nullopt);
    writer.finish();
}

int render(const Options& options) {
    const std::string markdown = readFile(options.input, "document");
    vellum::AttributedStringMarkdownParser::PatternOptions patterns =
        vellum::AttributedStringMarkdownParser::defaultPatternOptions();
    patterns.mathExpressions = true;
    if (options.emojiList) {
        patterns.emoji = readEmoji(*options.emojiList);
    }
    const platform::URL base = folderURL(fs::absolute(options.input).parent_path());
    const auto extensions = vellum::AttributedStringMarkdownParser::syntaxExtensions(patterns);

    const int loads = countLoads(vellum::StructuredText::parse(
        vellum::AttributedStringMarkdownParser::markdown(base, extensions), markdown));
    const auto ended = std::make_shared<std::atomic<int>>(0);
    // The tokenizer lives as long as the process: made before counting tasks.
    (void)vellum::CodeTokenizer::shared();
    const long baseline = platform::detail::liveFrameCount();

    ui::AnyView view{vellum::StructuredText(markdown, base, extensions)};
    view = options.gitHub
               ? vellum::vellum(view).structuredTextStyle(vellum::StructuredText::GitHubStyle())
               : vellum::vellum(view).structuredTextStyle(vellum::StructuredText::DefaultStyle());
    view = view
               .environment<vellum::ImageAttachmentLoaderKey>(std::make_shared<ReportingLoader>(
                   vellum::ImageAttachmentLoaderKey::defaultValue(), "image", ended))
               .environment<vellum::EmojiAttachmentLoaderKey>(std::make_shared<ReportingLoader>(
                   vellum::EmojiAttachmentLoaderKey::defaultValue(), "emoji", ended));
    ui::EnvironmentValues environment;
    environment.set<ui::ColorSchemeKey>(options.dark ? platform::ColorScheme::dark
                                                     : platform::ColorScheme::light);
    // The page is as wide as asked even when the document's lines are all shorter.
    ui::FlexibleFrame page;
    page.maxWidth = ui::infinity;
    page.alignment = ui::Alignment::topLeading();
    ui::OffscreenHost host(view.frame(page).padding(margin), {options.width, std::nullopt},
                           environment);
    if (!settle(host, *ended, loads, baseline)) {
        std::fprintf(stderr, "vellum-render: the document had not settled after a minute; "
                             "drawing it as it is\n");
    }

    const platform::Color paper =
        options.dark ? platform::Color::gray(0.12) : platform::Color::white();
    try {
        drawInStrips(host, paper, options.width, options.output);
    } catch (const std::runtime_error& error) {
        throw Failure{"cannot write " + options.output.string() + ": " + error.what()};
    }
    return 0;
}

} // namespace

// Fontconfig keeps parts of its parsed configuration for the life of the process; in sanitized
// builds that is no leak of ours and must not fail the run.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    try {
        return render(parseArguments(arguments));
    } catch (const HelpAsked&) {
        std::fputs(usage, stdout);
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "vellum-render: %s\n", failure.message.c_str());
        if (failure.status == 2) {
            std::fputs(usage, stderr);
        }
        return failure.status;
    } catch (...) {
        std::fprintf(stderr, "vellum-render: %s\n",
                     platform::localizedDescription(std::current_exception()).c_str());
        return 1;
    }
}
