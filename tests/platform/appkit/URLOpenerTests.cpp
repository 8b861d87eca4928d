#include "platform/appkit/URLOpener.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
          "mailto:a@b.c", "https://", "https:///path", "http:example.com", "ssh://host",
          "x-scheme-handler://open", "https://exa mple.com", "not a url at all"}) {
        EXPECT_FALSE(URLOpener::isOpenable(url)) << url;
    }
    EXPECT_FALSE(URLOpener::isOpenable(std::string_view{"https://a.com\0file:///x", 24}));
}

TEST(URLOpenerTest, RefusedURLsLaunchNothing) {
    const auto result = URLOpener::open("file:///etc/passwd");
    EXPECT_EQ(result.outcome, URLOpener::Outcome::refused);
    EXPECT_FALSE(result.message.empty());
    EXPECT_FALSE(result.ok());
}

// The desktop's default handler is found through the XDG data and config folders; a private
// handler that records its argument shows what reached the desktop.
TEST(URLOpenerTest, WebURLsReachTheDefaultHandler) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("moss-urlopener-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "data/applications");
    fs::create_directories(root / "config");
    const fs::path record = root / "opened.txt";
    const fs::path script = root / "handler.sh";
    {
        std::ofstream out{script};
        out << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record.string() << "'\n";
    }
    fs::permissions(script, fs::perms::owner_all);
    {
        std::ofstream out{root / "data/applications/moss-test-browser.desktop"};
        out << "[Desktop Entry]\nType=Application\nName=Test Browser\nExec=" << script.string()
            << " %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n";
    }
    {
        std::ofstream out{root / "config/mimeapps.list"};
        out << "[Default Applications]\nx-scheme-handler/https=moss-test-browser.desktop\n"
               "x-scheme-handler/http=moss-test-browser.desktop\n";
    }
    ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (root / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (root / "config").c_str(), 1);

    const auto result = URLOpener::open("https://example.com/skill?id=42");
    ASSERT_TRUE(result.ok()) << result.message;
    std::string seen;
    for (int attempt = 0; attempt < 200 && seen.empty(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds{25});
        std::ifstream in{record};
        std::getline(in, seen);
    }
    EXPECT_EQ(seen, "https://example.com/skill?id=42");
    fs::remove_all(root);
}

} // namespace
