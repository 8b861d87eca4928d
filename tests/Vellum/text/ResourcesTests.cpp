#include "Vellum/text/Box.hpp"
#include "Vellum/text/Resources.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct TemporaryDirectory {
    fs::path path;
    TemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "vellum-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() {
        std::error_code error;
        fs::remove_all(path, error);
    }
};

TEST(BoxTest, KeyBoxesCompareAsTheirValuesAndOnlyWithinOneType) {
    const vellum::KeyBox<std::string> a("body");
    const vellum::KeyBox<std::string> b("body");
    const vellum::KeyBox<int> number(4);
    EXPECT_TRUE(a.isEqual(&b));
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_FALSE(a.isEqual(&number));
    // Equal hashes are not enough: an int and a long of the same value are different keys.
    const vellum::KeyBox<int> five(5);
    const vellum::KeyBox<long> longFive(5);
    EXPECT_EQ(five.hash(), longFive.hash());
    EXPECT_FALSE(five.isEqual(&longFive));
    EXPECT_FALSE(a.isEqual(nullptr));
    const vellum::KeyBox<std::string> other("title");
    EXPECT_FALSE(a.isEqual(&other));
}

TEST(BoxTest, WeakBoxEmptiesWhenTheObjectGoesAndTuplesCompareInOrder) {
    auto object = std::make_shared<int>(3);
    const vellum::WeakBox<int> weak(object);
    EXPECT_EQ(*weak.get(), 3);
    object.reset();
    EXPECT_FALSE(weak.get());

    EXPECT_EQ(vellum::Tuple(1, std::string("a")), vellum::Tuple(1, std::string("a")));
    EXPECT_NE(vellum::Tuple(1, std::string("a")), vellum::Tuple(1, std::string("b")));
}

TEST(ResourcesTest, BundleIsTakenFromTheFirstCandidateThatHasIt) {
    const TemporaryDirectory tree;
    fs::create_directories(tree.path / "app" / "vellum_Vellum.bundle");
    fs::create_directories(tree.path / "resources");
    // Present only beside the main bundle itself: the last candidate finds it.
    const auto bundle =
        vellum::locateResourceBundle({tree.path / "resources", std::nullopt, tree.path / "app"});
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundleURL(), tree.path / "app" / "vellum_Vellum.bundle");
    EXPECT_FALSE(vellum::locateResourceBundle({tree.path / "resources"}));
    // The build tree makes one beside the test programs.
    EXPECT_TRUE(vellum::locateResourceBundle());
}

TEST(ResourcesTest, LoggerIsSilentUnlessTheDebugDefaultIsSet) {
    const TemporaryDirectory tree;
    platform::UserDefaults defaults(tree.path / "defaults");
    EXPECT_FALSE(vellum::makeVellumLogger("codeTokenizer", defaults).isEnabled());
    defaults.setBoolean(vellum::debugLoggingKey, true);
    const platform::Logger logger = vellum::makeVellumLogger("codeTokenizer", defaults);
    EXPECT_TRUE(logger.isEnabled());
    EXPECT_EQ(logger.subsystem(), vellum::loggingSubsystem);
    EXPECT_EQ(logger.category(), "codeTokenizer");
}

TEST(ResourcesTest, RectanglesPrintWithOneDecimal) {
    EXPECT_EQ(vellum::describeRect(0, 0, 0.04, 10), "(0.0, 0.0, 0.0, 10.0)");
    EXPECT_EQ(vellum::describeRect(-1.25, 2.35, 1e20, 0.05),
              "(-1.2, 2.4, 100000000000000000000.0, 0.1)");
}

TEST(ResourcesTest, ImagesEncodeAsPng) {
    const platform::Image image(2, 1, {0xFF0000FF, 0xFFFFFFFF});
    const auto png = vellum::encodeCGImageAsPNG(image);
    ASSERT_TRUE(png);
    ASSERT_GT(png->size(), 8U);
    EXPECT_EQ((*png)[1], 'P');
    EXPECT_FALSE(vellum::encodeCGImageAsPNG(platform::Image()));
}

} // namespace
