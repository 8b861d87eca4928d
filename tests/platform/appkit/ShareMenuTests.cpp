#include "platform/appkit/ShareMenu.hpp"
#include "platform/appkit/ShareMenuInternal.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/MainLoopWait.hpp"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::PasteboardType;
using platform::ShareMenu;

using moss_test::readFile;

// A desktop of its own: the XDG folders point into a temporary folder holding a few applications,
// each a script that records the arguments it was started with.
class ShareMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("moss-share-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "data/applications");
        fs::create_directories(root_ / "config");
        fs::create_directories(root_ / "runtime");
        fs::permissions(root_ / "runtime", fs::perms::owner_all);
        const fs::path script = root_ / "record.sh";
        {
            // $1 names the application; the rest is what the launcher passed.
            std::ofstream out{script};
            out << "#!/bin/sh\nname=$1\nshift\nprintf '%s' \"$#\" > '" << root_.string()
                << "'/$name.count\nprintf '%s' \"$1\" > '" << root_.string() << "'/$name.tmp\nmv '"
                << root_.string() << "'/$name.tmp '" << root_.string() << "'/$name.arg\n";
        }
        fs::permissions(script, fs::perms::owner_all);
        addApplication("notes", "Notes", "%f", "text/plain;");
        addApplication("browser", "Browser", "%u", "text/html;application/xhtml+xml;");
        addApplication("editor", "Editor", "%F", "text/html;text/plain;text/markdown;");
        addApplication("hidden", "Hidden Helper", "%f", "text/plain;", "NoDisplay=true\n");
        addApplication("bare", "Takes Nothing", "", "text/plain;");
        addApplication("viewer", "Image Viewer", "%f", "image/png;");
        addApplication("catchall", "Hex Editor", "%f", "application/octet-stream;");
        writeMimeCache();
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (root_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (root_ / "config").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), 1);
        // GLib reads the folders once per process; CTest runs each case in a process of its own.
        if (fs::path{g_get_user_data_dir()} != root_ / "data" ||
            fs::path{g_get_user_runtime_dir()} != root_ / "runtime") {
            GTEST_SKIP() << "this process read other XDG folders before";
        }
    }
    void TearDown() override { fs::remove_all(root_); }

    void addApplication(const std::string& name, const std::string& title,
                        const std::string& fieldCode, const std::string& types,
                        const std::string& extra = {}) {
        const std::string id = "moss-test-" + name + ".desktop";
        types_.emplace_back(id, types);
        std::ofstream out{root_ / "data/applications" / id};
        out << "[Desktop Entry]\nType=Application\nName=" << title
            << "\nExec=" << (root_ / "record.sh").string() << " " << name << " " << fieldCode
            << "\nMimeType=" << types << "\n"
            << extra;
    }

    // The index of types to applications that the desktop's database tool keeps beside the
    // entries, and that the launcher reads instead of every entry.
    void writeMimeCache() const {
        std::map<std::string, std::string> applicationsByType;
        for (const auto& [id, types] : types_) {
            std::string rest = types;
            for (auto end = rest.find(';'); end != std::string::npos; end = rest.find(';')) {
                applicationsByType[rest.substr(0, end)] += id + ";";
                rest.erase(0, end + 1);
            }
        }
        std::ofstream out{root_ / "data/applications/mimeinfo.cache"};
        out << "[MIME Cache]\n";
        for (const auto& [type, ids] : applicationsByType) {
            out << type << "=" << ids << "\n";
        }
    }

    // The argument application `name` was started with, once it has run.
    [[nodiscard]] std::string argumentOf(const std::string& name) const {
        const fs::path record = root_ / (name + ".arg");
        moss_test::waitUntil([&] { return fs::exists(record); });
        return readFile(record);
    }
    [[nodiscard]] std::string argumentCountOf(const std::string& name) const {
        return readFile(root_ / (name + ".count"));
    }

    // The file behind an argument that is a path or a file URI.
    [[nodiscard]] static fs::path fileOf(const std::string& argument) {
        if (argument.rfind("file:", 0) != 0) {
            return argument;
        }
        char* const path = g_filename_from_uri(argument.c_str(), nullptr, nullptr);
        fs::path result = path != nullptr ? path : "";
        g_free(path);
        return result;
    }

    fs::path root_;
    std::vector<std::pair<std::string, std::string>> types_;
};

const platform::SharedText sample{
    "It's \"$(touch pwned)\" `id` & ; | > Größe ✓\n\nsecond paragraph",
    "<p>It's <strong>\"$(touch pwned)\"</strong> `id` &amp; Größe ✓</p>\n<p>second paragraph</p>"};

TEST_F(ShareMenuTest, OffersTheApplicationsThatOpenTextOrHTMLByName) {
    const ShareMenu menu{sample};
    // Hidden entries, entries whose program takes no file (it would start without the text) and
    // applications that only open some broader type are left out. An application that opens
    // both forms is handed plain text.
    const std::vector<ShareMenu::Item> expected{
        {"moss-test-browser.desktop", "Browser", PasteboardType::html},
        {"moss-test-editor.desktop", "Editor", PasteboardType::string},
        {"moss-test-notes.desktop", "Notes", PasteboardType::string},
    };
    EXPECT_EQ(menu.items(), expected);
    EXPECT_EQ(ShareMenu::availableServices(), expected);
}

TEST_F(ShareMenuTest, HandsEachApplicationItsFormOfTheTextAsOneFile) {
    const ShareMenu menu{sample};
    ASSERT_TRUE(menu.share("moss-test-notes.desktop"));
    ASSERT_TRUE(menu.share("moss-test-browser.desktop"));

    // The text reached the program untouched, through a file: nothing of it was read by a shell,
    // and the file's name, spaces and all, is a single argument.
    const fs::path notes = fileOf(argumentOf("notes"));
    EXPECT_EQ(argumentCountOf("notes"), "1");
    EXPECT_EQ(readFile(notes), sample.plainText);
    EXPECT_EQ(notes.extension(), ".txt");
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));

    // A browser gets a document that states its encoding, so "Größe" is not garbled.
    const std::string browserArgument = argumentOf("browser");
    EXPECT_EQ(argumentCountOf("browser"), "1");
    const fs::path page = fileOf(browserArgument);
    EXPECT_EQ(readFile(page), "<!DOCTYPE html>\n<meta charset=\"utf-8\">\n" + sample.html);
    EXPECT_EQ(page.extension(), ".html");

    // The files are the user's alone and live in the session's runtime folder.
    for (const fs::path& file : {notes, page}) {
        EXPECT_EQ(file.parent_path().parent_path(), root_ / "runtime") << file;
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600) << file;
    }
    EXPECT_NE(notes.parent_path(), page.parent_path());
}

TEST_F(ShareMenuTest, SharesWithNothingOutsideItsItems) {
    const ShareMenu menu{sample};
    EXPECT_FALSE(menu.share("moss-test-hidden.desktop"));
    EXPECT_FALSE(menu.share("moss-test-viewer.desktop"));
    EXPECT_FALSE(menu.share(""));
    // An application uninstalled after the menu was made is not started.
    fs::remove(root_ / "data/applications/moss-test-notes.desktop");
    fs::remove(root_ / "record.sh");
    EXPECT_FALSE(menu.share("moss-test-notes.desktop"));
    // Nothing was left behind for the refused shares.
    EXPECT_TRUE(fs::is_empty(root_ / "runtime"));
}

TEST_F(ShareMenuTest, MenuItemsActivateTheShareWithTheirApplication) {
    namespace internal = platform::share_menu_internal;
    auto menu = std::make_shared<const ShareMenu>(sample);
    GMenuModel* const model = internal::makeMenuModel(*menu, "share");
    ASSERT_EQ(g_menu_model_get_n_items(model), 3);
    std::vector<std::pair<std::string, std::string>> entries;
    for (int index = 0; index < 3; ++index) {
        char* label = nullptr;
        char* action = nullptr;
        g_menu_model_get_item_attribute(model, index, G_MENU_ATTRIBUTE_LABEL, "s", &label);
        g_menu_model_get_item_attribute(model, index, G_MENU_ATTRIBUTE_ACTION, "s", &action);
        GVariant* const target =
            g_menu_model_get_item_attribute_value(model, index, G_MENU_ATTRIBUTE_TARGET, nullptr);
        ASSERT_NE(target, nullptr);
        EXPECT_STREQ(action, "share.share-with");
        entries.emplace_back(label, g_variant_get_string(target, nullptr));
        g_variant_unref(target);
        g_free(label);
        g_free(action);
    }
    g_object_unref(model);
    EXPECT_EQ(entries[0],
              std::make_pair(std::string{"Browser"}, std::string{"moss-test-browser.desktop"}));
    EXPECT_EQ(entries[2],
              std::make_pair(std::string{"Notes"}, std::string{"moss-test-notes.desktop"}));

    // The action group keeps the text for as long as the menu may be shown.
    GActionGroup* const actions = internal::makeActionGroup(std::move(menu));
    g_action_group_activate_action(actions, internal::actionName,
                                   g_variant_new_string("moss-test-editor.desktop"));
    g_object_unref(actions);
    EXPECT_EQ(readFile(fileOf(argumentOf("editor"))), sample.plainText);
}

} // namespace
