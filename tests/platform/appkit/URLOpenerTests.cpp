#include "platform/appkit/URLOpener.hpp"
#include "tests/support/MainLoopWait.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <glib.h>
#include <gtest/gtest.h>
#include <thread>

namespace {

using platform::URLOpener;

TEST(URLOpenerTest, AcceptsOnlyWebURLsWithAHost) {
    for (const char* url : {"https://github.com/acme/skill", "http://example.com",
                            "HTTPS://Example.com/a?b=c#d", "https://example.com:8443/x%20y"}) {
        EXPECT_TRUE(URLOpener::isOpenable(url)) << url;
    }
    for (const char* url :
         {"", "github.com/acme", "file:///etc/passwd", "javascript:alert(1)", "ftp://example.com",
          "data:text/plain,hi", "mailto:a@b.c", "https://", "https:///path", "http:example.com",
          "ssh://host", "x-scheme-handler://open", "https://exa mple.com", "not a url at all"}) {
        EXPECT_FALSE(URLOpener::isOpenable(url)) << url;
    }
    EXPECT_FALSE(URLOpener::isOpenable(std::string_view{"https://a.com\0file:///x", 24}));
}

// The desktop's default handlers are found through the XDG data and config folders; a private
// handler, registered for the web schemes and for every other kind of link the application could
// be handed, records what reached the desktop.
class URLOpenerDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        root_ = fs::temp_directory_path() / ("moss-urlopener-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "data/applications");
        fs::create_directories(root_ / "config");
        record_ = root_ / "opened.txt";
        const fs::path script = root_ / "handler.sh";
        {
            std::ofstream out{script};
            out << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record_.string() << "'\n";
        }
        fs::permissions(script, fs::perms::owner_all);
        const std::string types = "x-scheme-handler/http;x-scheme-handler/https;"
                                  "x-scheme-handler/javascript;x-scheme-handler/data;"
                                  "x-scheme-handler/ftp;text/plain;application/octet-stream;";
        {
            std::ofstream out{root_ / "data/applications/moss-test-browser.desktop"};
            out << "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=" << script.string()
                << " %u\nMimeType=" << types << "\n";
        }
        {
            std::ofstream out{root_ / "config/mimeapps.list"};
            out << "[Default Applications]\n";
            std::string rest = types;
            for (auto end = rest.find(';'); end != std::string::npos; end = rest.find(';')) {
                out << rest.substr(0, end) << "=moss-test-browser.desktop\n";
                rest.erase(0, end + 1);
            }
        }
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (root_ / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (root_ / "config").c_str(), 1);
        // GLib reads the folders once per process; CTest runs each case in a process of its own.
        if (std::filesystem::path{g_get_user_data_dir()} != root_ / "data") {
            GTEST_SKIP() << "this process read other XDG folders before";
        }
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    // What the handler was started with, waiting up to `patience` for it to run. A handler that
    // must run gets the hang deadline; one that must not gets a short look.
    [[nodiscard]] std::string handed(std::chrono::milliseconds patience) const {
        std::string seen;
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (seen.empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds{25});
            std::ifstream in{record_};
            std::getline(in, seen);
        }
        return seen;
    }

private:
    std::filesystem::path root_;
    std::filesystem::path record_;
};

TEST_F(URLOpenerDesktopTest, OtherSchemesAreRefusedAndLaunchNothing) {
    for (const char* url : {"javascript:alert(document.cookie)", "file:///etc/passwd",
                            "data:text/html,<script>alert(1)</script>", "ftp://example.com/x"}) {
        const auto result = URLOpener::open(url);
        EXPECT_EQ(result.outcome, URLOpener::Outcome::refused) << url;
        EXPECT_FALSE(result.message.empty()) << url;
        EXPECT_FALSE(result.ok()) << url;
    }
    EXPECT_EQ(handed(std::chrono::milliseconds{500}), "");
}

TEST_F(URLOpenerDesktopTest, WebURLsReachTheDefaultHandler) {
    const auto result = URLOpener::open("https://example.com/skill?id=42");
    ASSERT_TRUE(result.ok()) << result.message;
    EXPECT_EQ(handed(moss_test::hangDeadline), "https://example.com/skill?id=42");
}

} // namespace
