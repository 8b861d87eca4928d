#include "Vellum/attachments/EmojiAttachment.hpp"
#include "Vellum/attachments/MathAttachment.hpp"
#include "Vellum/attachments/ResourceAttachmentLoader.hpp"
#include "Vellum/attachments/URLAttachmentLoader.hpp"
#include "Vellum/attachments/VellumAttributes.hpp"
#include "Vellum/attachments/WithAttachments.hpp"
#include "Vellum/text/Resources.hpp"
#include "platform/foundation/AttributeScope.hpp"
#include "platform/observation/ObservationTracking.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/ui/OffscreenHost.hpp"
#include "tests/platform/net/LoopbackServer.hpp"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

namespace {

using platform::AttributedString;
using platform::URL;
using vellum::AnyAttachment;
using vellum::EmojiAttachment;
using vellum::ImageAttachment;
using vellum::URLAttachmentLoader;
using ImageURLAttribute = platform::AttributeScopes::FoundationAttributes::ImageURLAttribute;

std::string fixture(const std::string& name) {
    std::ifstream in(std::string(MOSS_VELLUM_FIXTURES) + "/../images/loader/" + name,
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

URL url(const std::string& text) {
    return URL::fromString(text).value_or(*URL::fromString("http://invalid/"));
}

// Real image files under /docs/<name>, a reply held back until released under /slow/<name>, a
// 404, and a GIF cut in half. Paths asked are counted.
class PictureServer {
public:
    PictureServer()
        : server_([this](httplib::Server& s, moss_test::LoopbackServer& self) {
            s.Get(R"(/docs/(.+))", [this](const httplib::Request& request, httplib::Response& r) {
                count(request);
                r.set_content(fixture(request.matches[1]), "image/octet-stream");
            });
            s.Get(R"(/slow/(.+))",
                  [this, &self](const httplib::Request& request, httplib::Response& r) {
                      count(request);
                      self.holdUntilReleased();
                      r.set_content(fixture(request.matches[1]), "image/octet-stream");
                  });
            s.Get("/missing.png", [this](const httplib::Request& request, httplib::Response& r) {
                count(request);
                r.status = 404;
            });
            s.Get("/broken.gif", [this](const httplib::Request& request, httplib::Response& r) {
                count(request);
                const std::string bytes = fixture("anim.gif");
                r.set_content(bytes.substr(0, bytes.size() / 2), "image/gif");
            });
        }) {}

    std::string address(const std::string& path) const { return server_.url(path); }
    int requests(const std::string& path) {
        const std::lock_guard lock(mutex_);
        return counts_[path];
    }
    void release() { server_.release(); }

private:
    void count(const httplib::Request& request) {
        const std::lock_guard lock(mutex_);
        ++counts_[request.path];
    }
    std::mutex mutex_;
    std::map<std::string, int> counts_;
    moss_test::LoopbackServer server_;
};

AnyAttachment load(const vellum::AttachmentLoader& loader, const std::string& address,
                   const std::string& text = "alt") {
    return platform::blockingWait(loader.attachment(url(address), text, {}));
}

TEST(URLAttachmentLoaderTest, RelativeAddressesResolveAgainstTheBaseAndAbsoluteOnesStay) {
    PictureServer server;
    const URLAttachmentLoader<ImageAttachment> loader(url(server.address("/docs/")));
    const AnyAttachment relative = load(loader, "still.png", "A still");
    ASSERT_NE(relative.as<ImageAttachment>(), nullptr);
    EXPECT_EQ(relative.description(), "A still");
    EXPECT_EQ(server.requests("/docs/still.png"), 1);

    const AnyAttachment absolute = load(loader, server.address("/docs/anim.gif"));
    ASSERT_NE(absolute.as<ImageAttachment>(), nullptr);
    EXPECT_GT(absolute.as<ImageAttachment>()->image().frames.size(), 1U);

    EXPECT_EQ(vellum::attachmentAddress(url("a/b.png"), std::nullopt).absoluteString(), "a/b.png");
    EXPECT_EQ(vellum::attachmentAddress(url("../up.png"), url("http://h/docs/x/")).absoluteString(),
              "http://h/docs/up.png");
}

TEST(URLAttachmentLoaderTest, EmojiLoaderMakesEmojiAndContentFunctionsDecide) {
    PictureServer server;
    const URLAttachmentLoader<EmojiAttachment> emoji(std::nullopt);
    const AnyAttachment smile = load(emoji, server.address("/docs/anim.png"), "smile");
    ASSERT_NE(smile.as<EmojiAttachment>(), nullptr);
    EXPECT_EQ(smile.description(), ":smile:");

    const URLAttachmentLoader<ImageAttachment> custom(
        std::nullopt, [](const vellum::Image& image, const std::string& text) {
            return ImageAttachment(image, "[" + text + "]");
        });
    EXPECT_EQ(load(custom, server.address("/docs/photo.jpg"), "x").description(), "[x]");
}

TEST(URLAttachmentLoaderTest, FailedDownloadsThrowTheImageLoadersError) {
    PictureServer server;
    const URLAttachmentLoader<ImageAttachment> loader(std::nullopt);
    EXPECT_THROW(load(loader, server.address("/missing.png")), platform::URLError);
    EXPECT_THROW(load(loader, server.address("/broken.gif")), platform::URLError);
}

TEST(ResourceAttachmentLoaderTest, AnyAddressNamesAResourceWithoutTheNetwork) {
    const auto bundle = platform::Bundle::at(std::string(MOSS_VELLUM_FIXTURES) + "/../images");
    ASSERT_TRUE(bundle);
    const vellum::ResourceAttachmentLoader<vellum::EmojiResourceAttachment> loader(
        [](const URL& address) { return address.path(); }, bundle);
    const AnyAttachment found = load(loader, "snapshot-shapes", "shapes");
    const auto* emoji = found.as<vellum::EmojiResourceAttachment>();
    ASSERT_NE(emoji, nullptr);
    EXPECT_FALSE(emoji->image().frames.empty());
    EXPECT_EQ(found.description(), ":shapes:");
    // A closed port: the loader must not try it.
    const AnyAttachment missing = load(loader, "http://127.0.0.1:1/absent", "absent");
    ASSERT_NE(missing.as<vellum::EmojiResourceAttachment>(), nullptr);
    EXPECT_TRUE(missing.as<vellum::EmojiResourceAttachment>()->image().frames.empty());

    const vellum::ResourceAttachmentLoader<vellum::EmojiResourceAttachment> bundled(
        [](const URL& address) { return address.path(); });
    ASSERT_TRUE(vellum::locateResourceBundle());
    EXPECT_EQ(bundled.bundle(), vellum::locateResourceBundle());
}

// MARK: Resolution

// "a ![A](image) b :e: c" with the given addresses on the image and emoji runs.
AttributedString document(const std::string& image, const std::string& emoji,
                          const std::string& both = {}) {
    AttributedString text("a A b e c B");
    text.setAttribute<ImageURLAttribute>({{2}, {3}}, url(image));
    text.setAttribute<vellum::VellumAttributes::EmojiURLAttribute>({{6}, {7}}, url(emoji));
    if (!both.empty()) {
        text.setAttribute<ImageURLAttribute>({{10}, {11}}, url(both));
        text.setAttribute<vellum::VellumAttributes::EmojiURLAttribute>({{10}, {11}}, url(both));
    }
    return text;
}

std::optional<AttributedString> resolve(const AttributedString& text) {
    return platform::blockingWait(
        vellum::resolveAttachments(text, vellum::ImageAttachmentLoaderKey::defaultValue(),
                                   vellum::EmojiAttachmentLoaderKey::defaultValue(), {}));
}

const AnyAttachment* attachmentAt(const AttributedString& text, std::size_t offset) {
    for (const AttributedString::Run& run : text.runs()) {
        if (run.range.contains({offset})) {
            return vellum::attachment(run.attributes);
        }
    }
    return nullptr;
}

TEST(AttachmentResolutionTest, ReplacesExactlyTheRunsWithAddresses) {
    PictureServer server;
    const AttributedString input =
        document(server.address("/docs/still.png"), server.address("/docs/anim.gif"),
                 server.address("/docs/photo.jpg"));
    const std::optional<AttributedString> resolved = resolve(input);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->characters(), input.characters());
    ASSERT_NE(attachmentAt(*resolved, 2), nullptr);
    EXPECT_NE(attachmentAt(*resolved, 2)->as<ImageAttachment>(), nullptr);
    EXPECT_EQ(attachmentAt(*resolved, 2)->description(), "A");
    ASSERT_NE(attachmentAt(*resolved, 6), nullptr);
    EXPECT_EQ(attachmentAt(*resolved, 6)->description(), ":e:");
    // Both addresses: an image, loaded once, by the image loader.
    ASSERT_NE(attachmentAt(*resolved, 10), nullptr);
    EXPECT_NE(attachmentAt(*resolved, 10)->as<ImageAttachment>(), nullptr);
    EXPECT_EQ(server.requests("/docs/photo.jpg"), 1);
    for (const std::size_t plain : {0, 1, 3, 4, 5, 7, 8, 9}) {
        EXPECT_EQ(attachmentAt(*resolved, plain), nullptr) << plain;
    }
    EXPECT_EQ(vellum::collectAttachments(*resolved).size(), 3U);
}

TEST(AttachmentResolutionTest, AFailedLoadLeavesItsRunAsText) {
    PictureServer server;
    const AttributedString input =
        document(server.address("/missing.png"), server.address("/docs/anim.png"));
    const std::optional<AttributedString> resolved = resolve(input);
    ASSERT_TRUE(resolved);
    EXPECT_EQ(attachmentAt(*resolved, 2), nullptr);
    EXPECT_NE(attachmentAt(*resolved, 6), nullptr);
    EXPECT_EQ(resolved->characters(), input.characters());

    const std::optional<AttributedString> broken =
        resolve(document(server.address("/broken.gif"), server.address("/missing.png")));
    ASSERT_TRUE(broken);
    EXPECT_TRUE(vellum::collectAttachments(*broken).empty());

    // A loader of the caller's may throw anything, not only standard exceptions.
    struct Odd final : vellum::AttachmentLoader {
        platform::Task<AnyAttachment>
        attachment(URL /*url*/, std::string /*text*/,
                   vellum::ColorEnvironmentValues /*env*/) const override {
            throw 42;
            co_return AnyAttachment(vellum::MathAttachment("x", {}));
        }
    };
    const std::optional<AttributedString> odd = platform::blockingWait(
        vellum::resolveAttachments(input, std::make_shared<const Odd>(),
                                   vellum::EmojiAttachmentLoaderKey::defaultValue(), {}));
    ASSERT_TRUE(odd);
    EXPECT_EQ(attachmentAt(*odd, 2), nullptr);
    EXPECT_NE(attachmentAt(*odd, 6), nullptr);
}

TEST(AttachmentResolutionTest, TextWithoutAddressesIsNotCopied) {
    EXPECT_EQ(resolve(AttributedString("plain text")), std::nullopt);
}

// MARK: The view

struct Shown {
    std::shared_ptr<std::vector<AttributedString>> strings =
        std::make_shared<std::vector<AttributedString>>();
    vellum::WithAttachments view(AttributedString input) const {
        return vellum::WithAttachments(
            std::move(input), [strings = strings](const AttributedString& s) {
                strings->push_back(s);
                return platform::ui::AnyView(platform::ui::Text(std::string(s.characters())));
            });
    }
};

TEST(WithAttachmentsTest, ShowsTheUnchangedTextFirstThenTheResolvedCopy) {
    PictureServer server;
    const AttributedString input =
        document(server.address("/slow/still.png"), server.address("/docs/anim.gif"));
    Shown shown;
    platform::ui::OffscreenHost host(platform::ui::AnyView(shown.view(input)));
    host.runUntilIdle();
    ASSERT_FALSE(shown.strings->empty());
    EXPECT_EQ(shown.strings->front(), input);
    EXPECT_TRUE(vellum::collectAttachments(shown.strings->back()).empty());

    server.release();
    EXPECT_TRUE(
        host.runUntil([&] { return vellum::collectAttachments(shown.strings->back()).size() == 2; },
                      std::chrono::milliseconds(10000)));
}

TEST(WithAttachmentsTest, ANewerTextNeverShowsTheEarlierResolution) {
    PictureServer server;
    const AttributedString first =
        document(server.address("/docs/still.png"), server.address("/docs/anim.gif"));
    Shown shown;
    platform::ui::OffscreenHost host(platform::ui::AnyView(shown.view(first)));
    ASSERT_TRUE(
        host.runUntil([&] { return !vellum::collectAttachments(shown.strings->back()).empty(); },
                      std::chrono::milliseconds(10000)));

    // The second text's image is held back: until it arrives the second text shows as written.
    AttributedString second =
        document(server.address("/slow/photo.jpg"), server.address("/docs/anim.gif"));
    second.replaceSubrange({{0}, {1}}, AttributedString("z"));
    host.setRootView(platform::ui::AnyView(shown.view(second)));
    host.runUntilIdle();
    EXPECT_EQ(shown.strings->back(), second);

    server.release();
    ASSERT_TRUE(
        host.runUntil([&] { return vellum::collectAttachments(shown.strings->back()).size() == 2; },
                      std::chrono::milliseconds(10000)));
    EXPECT_EQ(shown.strings->back().characters(), second.characters());
}

TEST(WithAttachmentsTest, TheModelNotifiesOnlyForADifferentResolution) {
    vellum::WithAttachments::Model model;
    const AttributedString input("x");
    AttributedString resolved("x");
    resolved.setAttribute<vellum::VellumAttributes::AttachmentAttribute>(
        {{0}, {1}},
        AnyAttachment(vellum::MathAttachment("y", vellum::MathAttachment::DisplayStyle::inline_)));
    int changes = 0;
    const auto track = [&] {
        platform::withObservationTracking([&] { (void)model.resolution(); }, [&] { ++changes; });
    };
    track();
    model.setResolution(vellum::WithAttachments::Resolution{input, resolved});
    EXPECT_EQ(changes, 1);
    track();
    model.setResolution(vellum::WithAttachments::Resolution{input, resolved});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(model.shownString(input), resolved);
    EXPECT_EQ(model.shownString(AttributedString("z")), AttributedString("z"));
}

// A bundle with an emoji "badge" whose light picture is red and whose dark one is blue.
struct BadgeBundle {
    std::filesystem::path directory;
    BadgeBundle() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vellum-badge-XXXXXX").string();
        directory = ::mkdtemp(pattern.data());
        write("badge.png", 0xffff0000U);
        write("badge~dark.png", 0xff0000ffU);
    }
    ~BadgeBundle() {
        std::error_code error;
        std::filesystem::remove_all(directory, error);
    }
    void write(const std::string& file, std::uint32_t pixel) const {
        const auto png = vellum::encodeCGImageAsPNG(platform::Image(1, 1, {pixel}));
        ASSERT_TRUE(png);
        std::ofstream(directory / file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png->data()),
                   static_cast<std::streamsize>(png->size()));
    }
};

TEST(WithAttachmentsTest, BundledEmojiFollowTheColourScheme) {
    const BadgeBundle badge;
    const vellum::SharedAttachmentLoader loader =
        std::make_shared<const vellum::ResourceAttachmentLoader<vellum::EmojiResourceAttachment>>(
            [](const URL& address) { return address.path(); },
            platform::Bundle::at(badge.directory));
    AttributedString input("a badge b");
    input.setAttribute<vellum::VellumAttributes::EmojiURLAttribute>({{2}, {7}}, url("badge"));
    Shown shown;
    const auto view = [&](platform::ColorScheme scheme) {
        return platform::ui::AnyView(shown.view(input))
            .environment<vellum::EmojiAttachmentLoaderKey>(loader)
            .environment<platform::ui::ColorSchemeKey>(scheme);
    };
    // The colour of the badge the content was last given.
    const auto shownBadge = [&]() -> std::optional<platform::Image::Pixel> {
        const AnyAttachment* attachment = attachmentAt(shown.strings->back(), 3);
        if (attachment == nullptr) {
            return std::nullopt;
        }
        const auto* emoji = attachment->as<vellum::EmojiResourceAttachment>();
        if (emoji == nullptr || emoji->image().frames.empty()) {
            return std::nullopt;
        }
        return emoji->image().frames.front().cgImage.pixel(0, 0);
    };
    const platform::Image::Pixel red{255, 0, 0, 255};
    const platform::Image::Pixel blue{0, 0, 255, 255};
    const auto deadline = std::chrono::milliseconds(10000);

    platform::ui::OffscreenHost host(view(platform::ColorScheme::light));
    ASSERT_TRUE(host.runUntil([&] { return shownBadge() == red; }, deadline));
    host.setRootView(view(platform::ColorScheme::dark));
    EXPECT_TRUE(host.runUntil([&] { return shownBadge() == blue; }, deadline));
    host.setRootView(view(platform::ColorScheme::light));
    EXPECT_TRUE(host.runUntil([&] { return shownBadge() == red; }, deadline));

    // The same emoji looked up in either scheme is one attachment only where the bundle has no
    // variant to tell them apart.
    const vellum::ColorEnvironmentValues light;
    const vellum::ColorEnvironmentValues dark(platform::ColorScheme::dark,
                                              platform::ColorSchemeContrast::standard);
    const auto bundle = platform::Bundle::at(badge.directory);
    EXPECT_NE(AnyAttachment(vellum::EmojiResourceAttachment("badge", bundle, "b", light)),
              AnyAttachment(vellum::EmojiResourceAttachment("badge", bundle, "b", dark)));
    EXPECT_EQ(AnyAttachment(vellum::EmojiResourceAttachment("none", bundle, "b", light)),
              AnyAttachment(vellum::EmojiResourceAttachment("none", bundle, "b", dark)));
}

} // namespace
