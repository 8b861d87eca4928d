// The table file format, the registry's loading rules and the colour parser.

#include "Math/FontRegistry.hpp"
#include "Math/FontTable.hpp"
#include "Math/HexColor.hpp"
#include "Math/PlatformFont.hpp"
#include "platform/foundation/PropertyList.hpp"
#include "tests/Math/BundledFonts.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>
#include <unistd.h>

using namespace Math;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string plist(std::string_view body) {
    return std::string(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>)") +
           std::string(body) + "</dict></plist>";
}

constexpr std::string_view kPart = R"(<dict><key>advance</key><integer>1495</integer>
<key>endConnector</key><integer>249</integer><key>extender</key><false/>
<key>glyph</key><string>uni239D</string><key>startConnector</key><integer>0</integer></dict>)";

std::string table(std::string_view version, std::string_view part, std::string_view extra = {}) {
    return plist(std::string(version) + R"(
<key>accents</key><dict><key>A</key><integer>-12</integer></dict>
<key>constants</key><dict><key>AxisHeight</key><integer>250</integer></dict>
<key>italic</key><dict><key>f</key><integer>51</integer></dict>
<key>h_variants</key><dict><key>uni0302</key><array><string>uni0302</string><string>uni0302.h1</string></array></dict>
<key>v_variants</key><dict/>
<key>v_assembly</key><dict><key>parenleft</key><dict><key>italic</key><integer>0</integer>
<key>parts</key><array>)" +
                 std::string(part) + R"(</array></dict></dict>)" + std::string(extra));
}

constexpr std::string_view kVersion = "<key>version</key><string>1.0</string>";

TEST(FontTable, DecodesEveryKeyOfAWholeTable) {
    const std::optional<FontTable> decoded = FontTable::decode(bytes(table(kVersion, kPart)));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->version, "1.0");
    EXPECT_EQ(decoded->accents.at("A"), -12);
    EXPECT_EQ(decoded->constants.at("AxisHeight"), 250);
    EXPECT_EQ(decoded->italic.at("f"), 51);
    EXPECT_EQ(decoded->hVariants.at("uni0302"),
              (std::vector<std::string>{"uni0302", "uni0302.h1"}));
    EXPECT_TRUE(decoded->vVariants.empty());
    const FontTable::Assembly::Part part{1495, 249, false, "uni239D", 0};
    EXPECT_EQ(decoded->vAssembly.at("parenleft").parts, std::vector{part});
}

TEST(FontTable, ExtraKeysAreIgnoredAndMissingOrMistypedOnesFailTheWholeTable) {
    const std::string extraPart = std::string(kPart).insert(6, "<key>note</key><string>x</string>");
    EXPECT_TRUE(FontTable::decode(
        bytes(table(kVersion, extraPart, "<key>generator</key><string>x</string>"))));

    EXPECT_FALSE(FontTable::decode(bytes(table("", kPart))));
    EXPECT_FALSE(FontTable::decode(bytes(table("<key>version</key><integer>1</integer>", kPart))));
    std::string noExtender(kPart);
    noExtender.erase(noExtender.find("<key>extender</key><false/>"), 27);
    EXPECT_FALSE(FontTable::decode(bytes(table(kVersion, noExtender))));
    std::string realAdvance(kPart);
    realAdvance.replace(realAdvance.find("<integer>1495</integer>"), 23, "<real>1495.5</real>");
    EXPECT_FALSE(FontTable::decode(bytes(table(kVersion, realAdvance))));
    EXPECT_FALSE(FontTable::decode(bytes(plist(std::string(kVersion)))));
    EXPECT_FALSE(FontTable::decode(bytes("<plist><dict><key>version</key>")));
    EXPECT_FALSE(FontTable::decode(bytes("")));
}

TEST(FontTable, EncodesWhatItDecodesNegativeValuesIncluded) {
    const std::optional<FontTable> decoded = FontTable::decode(bytes(table(kVersion, kPart)));
    ASSERT_TRUE(decoded);
    const std::string xml = decoded->encode().encodeXML();
    EXPECT_NE(xml.find("<key>startConnector</key>"), std::string::npos);
    const std::optional<FontTable> again = FontTable::decode(bytes(xml));
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *decoded);
    EXPECT_EQ(again->accents.at("A"), -12);
}

namespace {

// The reading that counts: the general property-list reader's tree, taken as a table.
std::optional<FontTable> generalReading(std::span<const std::uint8_t> data) {
    const auto root = platform::PropertyListValue::decode(data);
    return root ? FontTable::fromPropertyList(*root) : std::nullopt;
}

} // namespace

TEST(FontTable, EveryShippedTableReadsInItsPlainFormAsTheGeneralReaderReadsIt) {
    const fs::path fonts = FontRegistry::locateModuleBundle().value() / "mathFonts.bundle";
    for (const Font::Name& name : moss_test::bundledFontNames()) {
        std::ifstream file(fonts / (name.rawValue() + ".plist"), std::ios::binary);
        const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(file)),
                                             std::istreambuf_iterator<char>());
        const std::optional<FontTable> reference = generalReading(data);
        ASSERT_TRUE(reference) << name.rawValue();
        ASSERT_FALSE(reference->vAssembly.empty()) << name.rawValue();
        const std::optional<FontTable> plain = FontTable::readPlain(data);
        ASSERT_TRUE(plain) << name.rawValue();
        EXPECT_EQ(*plain, *reference) << name.rawValue();
    }
}

TEST(FontTable, WhatThePlainFormDoesNotCoverIsReadByTheGeneralReader) {
    const std::string plainTable = table(kVersion, kPart);
    ASSERT_TRUE(FontTable::readPlain(bytes(plainTable)));
    const auto changed = [&](std::string_view from, std::string_view to) {
        std::string text = plainTable;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<std::string> others = {
        changed("uni239D", "a&amp;b"),
        changed("<key>accents</key>", "<!-- marks --><key>accents</key>"),
        changed("\n<key>accents</key>", "\r\n<key>accents</key>"),
        changed("<integer>1495</integer>", "<integer>01495</integer>"),
        changed("<integer>249</integer>", "<integer> 249</integer>"),
        changed("<integer>-12</integer>", "<integer>-12345678901234567890</integer>"),
        changed("<key>A</key><integer>-12</integer>",
                "<key>A</key><integer>-12</integer><key>A</key><integer>7</integer>"),
        changed("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", ""),
        changed("<key>version</key><string>1.0</string>",
                "<key>version</key><string>1.0 beta</string>"),
        plainTable + "\n<!-- end -->",
    };
    for (const std::string& text : others) {
        EXPECT_FALSE(FontTable::readPlain(bytes(text))) << text;
        EXPECT_EQ(FontTable::decode(bytes(text)), generalReading(bytes(text))) << text;
    }
    EXPECT_EQ(FontTable::decode(bytes(others.front()))->vAssembly.at("parenleft").parts[0].glyph,
              "a&b");
}

TEST(FontTable, EveryCutOrChangedByteReadsAsTheGeneralReaderReadsIt) {
    const std::string text = table(kVersion, kPart);
    for (std::size_t cut = 0; cut < text.size(); ++cut) {
        const auto head = bytes(std::string_view(text).substr(0, cut));
        ASSERT_EQ(FontTable::decode(head), generalReading(head)) << cut;
    }
    for (std::size_t at = 0; at < text.size(); ++at) {
        for (const char replacement : {'<', '/', '-', '0', ' ', '\0'}) {
            std::string changed = text;
            changed[at] = replacement;
            ASSERT_EQ(FontTable::decode(bytes(changed)), generalReading(bytes(changed)))
                << at << " " << replacement;
        }
    }
}

TEST(PropertyList, RejectsNestingBeyondItsDepthLimit) {
    std::string deep;
    for (int i = 0; i < 200; ++i) {
        deep += "<array>";
    }
    for (int i = 0; i < 200; ++i) {
        deep += "</array>";
    }
    EXPECT_FALSE(platform::PropertyListValue::decode(bytes("<plist>" + deep + "</plist>")));
    EXPECT_TRUE(
        platform::PropertyListValue::decode(bytes("<plist><array><array/></array></plist>")));
}

TEST(PropertyList, ReadsXMLOnlyAndRefusesWhatWouldHoldANul) {
    const auto stringIn = [](std::string_view body) -> std::optional<std::string> {
        const auto value = platform::PropertyListValue::decode(bytes(
            "<plist><dict><key>k</key><string>" + std::string(body) + "</string></dict></plist>"));
        if (!value || value->dictionary() == nullptr) {
            return std::nullopt;
        }
        const std::string* text = value->dictionary()->at("k").string();
        return text != nullptr ? std::optional(*text) : std::nullopt;
    };
    EXPECT_EQ(stringIn("&#65;&#x42;&amp;"), "AB&");
    // The library would stop the process on these rather than fail.
    EXPECT_FALSE(stringIn("a&#0;b"));
    EXPECT_FALSE(stringIn("a&#x0000;b"));
    EXPECT_FALSE(stringIn(std::string("a\0b", 3)));
    EXPECT_FALSE(platform::PropertyListValue::decode(
        bytes("<plist><dict><key>a&#0;</key><string>x</string></dict></plist>")));

    const std::uint8_t binary[] = {
        0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd1, 0x01, 0x02, 0x57, 0x76, 0x65, 0x72,
        0x73, 0x69, 0x6f, 0x6e, 0x53, 0x31, 0x2e, 0x30, 0x08, 0x0b, 0x13, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17};
    EXPECT_FALSE(platform::PropertyListValue::decode(binary));
}

// A registry over a directory of its own, filled by each test.
class Registry : public testing::Test {
protected:
    void SetUp() override {
        directory = fs::temp_directory_path() /
                    ("math-fonts-" + std::to_string(getpid()) + "-" +
                     testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory);
        fs::create_directories(directory / "mathFonts.bundle");
        bundled = FontRegistry::locateModuleBundle().value() / "mathFonts.bundle";
    }
    void TearDown() override { fs::remove_all(directory); }

    void install(const std::string& name, bool withTable = true) {
        fs::copy_file(bundled / "latinmodern-math.otf",
                      directory / "mathFonts.bundle" / (name + ".otf"));
        if (withTable) {
            fs::copy_file(bundled / "latinmodern-math.plist",
                          directory / "mathFonts.bundle" / (name + ".plist"));
        }
    }

    fs::path directory;
    fs::path bundled;
};

TEST_F(Registry, AFontThatWasMissingIsLookedForAgain) {
    FontRegistry registry(directory / "mathFonts.bundle");
    const Font font(Font::Name("lm"), 12);
    EXPECT_FALSE(PlatformFont::make(font, registry));
    install("lm");
    const auto loaded = PlatformFont::make(font, registry);
    ASSERT_TRUE(loaded);
    EXPECT_GT(loaded->metrics().axisHeight(), 0);
    EXPECT_EQ(registry.graphicsFont(font.name), loaded->sharedFace());
}

TEST_F(Registry, AFontWithoutAReadableTableIsNoFont) {
    FontRegistry registry(directory / "mathFonts.bundle");
    install("bare", false);
    EXPECT_FALSE(registry.graphicsFont(Font::Name("bare")));
    install("broken", false);
    std::ofstream(directory / "mathFonts.bundle" / "broken.plist") << "<plist><dict>";
    EXPECT_FALSE(registry.fontTable(Font::Name("broken")));
    EXPECT_FALSE(registry.glyphFont(Font(Font::Name("broken"), 10)));
    // Not cached as missing: once the table is there the font loads.
    fs::copy_file(bundled / "latinmodern-math.plist",
                  directory / "mathFonts.bundle" / "bare.plist");
    EXPECT_TRUE(registry.graphicsFont(Font::Name("bare")));
}

TEST_F(Registry, NamesCannotReachOutsideTheBundle) {
    install("inside");
    fs::copy_file(bundled / "latinmodern-math.otf", directory / "outside.otf");
    fs::copy_file(bundled / "latinmodern-math.plist", directory / "outside.plist");
    FontRegistry registry(directory / "mathFonts.bundle");
    EXPECT_TRUE(registry.graphicsFont(Font::Name("inside")));
    EXPECT_FALSE(registry.graphicsFont(Font::Name("../outside")));
    EXPECT_FALSE(registry.graphicsFont(Font::Name((directory / "outside").string())));
    EXPECT_FALSE(FontRegistry(std::nullopt).graphicsFont(Font::Name("inside")));
}

TEST_F(Registry, ThreadsAskingAtOnceLoadAFontOnce) {
    install("shared");
    FontRegistry registry(directory / "mathFonts.bundle");
    std::vector<std::shared_ptr<const PlatformFont>> fonts(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        threads.emplace_back([&, i] {
            fonts[i] = PlatformFont::make(Font(Font::Name("shared"), 10.0 + double(i)), registry);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const auto& font : fonts) {
        ASSERT_TRUE(font);
        EXPECT_EQ(font->sharedFace(), fonts[0]->sharedFace());
        EXPECT_EQ(&font->metrics().table(), &fonts[0]->metrics().table());
    }
}

TEST_F(Registry, ThreadsFirstAskingAFontsGlyphDataAtOnceFindWhatOneThreadFinds) {
    // The glyph data is indexed on its first lookup: every kind of lookup, asked first by several
    // threads at once, comes out as one thread alone finds it.
    install("shared");
    const auto lookups = [](const FontMetrics& metrics) {
        std::vector<double> found;
        for (platform::GlyphID glyph = 0; glyph < 4000; glyph += 7) {
            found.push_back(metrics.italicCorrection(glyph));
            found.push_back(metrics.topAccentAdjustment(glyph));
            found.push_back(metrics.largerGlyph(glyph));
            found.push_back(static_cast<double>(metrics.horizontalVariants(glyph).size()));
            found.push_back(static_cast<double>(metrics.verticalAssembly(glyph).size()));
        }
        return found;
    };
    FontRegistry alone(directory / "mathFonts.bundle");
    const auto reference =
        lookups(PlatformFont::make(Font(Font::Name("shared"), 10), alone)->metrics());
    ASSERT_GT(std::count_if(reference.begin(), reference.end(), [](double v) { return v != 0; }),
              100);

    FontRegistry registry(directory / "mathFonts.bundle");
    const auto font = PlatformFont::make(Font(Font::Name("shared"), 10), registry);
    ASSERT_TRUE(font);
    std::vector<std::vector<double>> found(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < found.size(); ++i) {
        threads.emplace_back([&, i] { found[i] = lookups(font->metrics()); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const auto& each : found) {
        EXPECT_EQ(each, reference);
    }
}

TEST(FontName, EqualNamesAndSizesAreEqualKeysAndSignedZerosHashAlike) {
    EXPECT_EQ(Font(Font::Name::latinModern, 0.0), Font(Font::Name("latinmodern-math"), -0.0));
    EXPECT_EQ(std::hash<Font>{}(Font(Font::Name::latinModern, 0.0)),
              std::hash<Font>{}(Font(Font::Name::latinModern, -0.0)));
    EXPECT_NE(Font(Font::Name::latinModern, 12), Font(Font::Name::termes, 12));
    EXPECT_NE(Font(Font::Name::latinModern, 12), Font(Font::Name::latinModern, 12.5));
}

TEST(HexColor, ReadsTheLastSixDigitsAfterTheNumberSign) {
    const auto rgba = [](std::string_view text) { return colorFromHexString(text)->resolve(); };
    EXPECT_FALSE(colorFromHexString(""));
    EXPECT_FALSE(colorFromHexString("ff0000"));
    EXPECT_FALSE(colorFromHexString("#zz"));
    EXPECT_FALSE(colorFromHexString("#"));
    EXPECT_EQ(rgba("#ff0000"), (platform::RGBA{1, 0, 0, 1}));
    EXPECT_EQ(rgba("#abc"), (platform::RGBA{0, 0x0a / 255.0, 0xbc / 255.0, 1}));
    EXPECT_EQ(rgba("#12345678"), (platform::RGBA{0x34 / 255.0, 0x56 / 255.0, 0x78 / 255.0, 1}));
    EXPECT_EQ(rgba("#0000ffzz"), (platform::RGBA{0, 0, 1, 1}));
    EXPECT_EQ(rgba("#123456789abcdef0123"),
              (platform::RGBA{0xef / 255.0, 0x01 / 255.0, 0x23 / 255.0, 1}));
}

} // namespace
