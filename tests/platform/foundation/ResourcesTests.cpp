#include "platform/foundation/Bundle.hpp"
#include "platform/foundation/Logger.hpp"
#include "platform/foundation/UserDefaults.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct TemporaryDirectory {
    fs::path path;
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "moss-resources-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() {
        std::error_code error;
        fs::remove_all(path, error);
    }
};

TEST(BundleTest, ResourceDirectoryIsFoundAboveTheExecutableOrInTheInstallTree) {
    const TemporaryDirectory tree;
    fs::create_directories(tree.path / "build" / "Resources" / "vellum_Vellum.bundle");
    fs::create_directories(tree.path / "build" / "tests" / "Vellum");
    EXPECT_EQ(platform::Bundle::findResourceDirectory(tree.path / "build" / "tests" / "Vellum"),
              tree.path / "build" / "Resources");

    fs::create_directories(tree.path / "prefix" / "bin");
    fs::create_directories(tree.path / "prefix" / "share" / "mossbarrow" / "Resources");
    EXPECT_EQ(platform::Bundle::findResourceDirectory(tree.path / "prefix" / "bin"),
              tree.path / "prefix" / "share" / "mossbarrow" / "Resources");
}

TEST(BundleTest, LooksUpResourcesByNameAndExtension) {
    const TemporaryDirectory tree;
    fs::create_directories(tree.path / "lib.bundle" / "fonts");
    std::ofstream(tree.path / "lib.bundle" / "script.js") << "x";
    std::ofstream(tree.path / "lib.bundle" / "fonts" / "a.otf") << "x";

    EXPECT_FALSE(platform::Bundle::at(tree.path / "missing.bundle"));
    const auto bundle = platform::Bundle::at(tree.path / "lib.bundle");
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->url("script", "js"), tree.path / "lib.bundle" / "script.js");
    EXPECT_EQ(bundle->url("a", "otf", "fonts"), tree.path / "lib.bundle" / "fonts" / "a.otf");
    EXPECT_FALSE(bundle->url("script", "css"));
    EXPECT_FALSE(bundle->url("", ""));
}

TEST(BundleTest, NamesThatLeadOutOfTheBundleFindNothing) {
    const TemporaryDirectory tree;
    fs::create_directories(tree.path / "lib.bundle" / "icons");
    std::ofstream(tree.path / "secret.png") << "x";
    std::ofstream(tree.path / "lib.bundle" / "icons" / "cat.png") << "x";
    fs::create_directory_symlink(tree.path, tree.path / "lib.bundle" / "up");
    fs::create_symlink(tree.path / "secret.png", tree.path / "lib.bundle" / "leak.png");
    fs::create_symlink("icons/cat.png", tree.path / "lib.bundle" / "alias.png");
    const auto bundle = platform::Bundle::at(tree.path / "lib.bundle");
    ASSERT_TRUE(bundle);

    const std::string absolute = (tree.path / "secret").string();
    EXPECT_FALSE(bundle->url(absolute, "png"));
    EXPECT_FALSE(bundle->url("secret", "png", tree.path.string()));
    EXPECT_FALSE(bundle->url("../secret", "png"));
    EXPECT_FALSE(bundle->url("icons/../../secret", "png"));
    EXPECT_FALSE(bundle->url("secret", "png", ".."));
    EXPECT_FALSE(bundle->url("up/secret", "png"));
    EXPECT_FALSE(bundle->url("leak", "png"));
    EXPECT_FALSE(bundle->url("."));
    // Links and steps that stay inside are resources like any other.
    EXPECT_EQ(bundle->url("alias", "png"), tree.path / "lib.bundle" / "alias.png");
    EXPECT_TRUE(bundle->url("icons/../icons/cat", "png"));
    EXPECT_TRUE(bundle->url("cat", "png", "icons"));
}

TEST(UserDefaultsTest, ValuesSurviveAReopenAndOddTextRoundTrips) {
    const TemporaryDirectory tree;
    const fs::path file = tree.path / "config" / "mossbarrow" / "defaults";
    {
        platform::UserDefaults defaults(file);
        EXPECT_FALSE(defaults.boolean("debug"));
        EXPECT_TRUE(defaults.setBoolean("debug", true));
        EXPECT_TRUE(defaults.set("odd\tkey", "line\none\\two"));
        EXPECT_TRUE(defaults.set("gone", "x"));
        EXPECT_TRUE(defaults.remove("gone"));
    }
    const platform::UserDefaults reopened(file);
    EXPECT_TRUE(reopened.boolean("debug"));
    EXPECT_EQ(reopened.string("odd\tkey"), "line\none\\two");
    EXPECT_FALSE(reopened.string("gone"));
}

TEST(UserDefaultsTest, DamagedLinesAreSkippedAndOnlyTrueWordsAreTrue) {
    const TemporaryDirectory tree;
    const fs::path file = tree.path / "defaults";
    std::ofstream(file) << "no tab here\nbad\\qescape\tx\na\tYES\nb\t0\nc\tmaybe\n";
    const platform::UserDefaults defaults(file);
    EXPECT_TRUE(defaults.boolean("a"));
    EXPECT_FALSE(defaults.boolean("b"));
    EXPECT_FALSE(defaults.boolean("c"));
    EXPECT_FALSE(defaults.string("no tab here"));
}

TEST(LoggerTest, EnabledLoggerWritesOneLineDisabledWritesNothing) {
    std::vector<std::string> lines;
    platform::Logger::setSink(
        [&](platform::Logger::Level, std::string_view line) { lines.emplace_back(line); });
    platform::Logger("org.example", "parser").debug("two\nlines");
    platform::Logger::disabled().error("dropped");
    platform::Logger::setSink({});
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_EQ(lines[0], "<7>org.example[parser]: two lines");
}

} // namespace
