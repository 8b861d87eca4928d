// Linked into test programs that lay out or draw text. Runs before main: pins the font
// configuration to the system's own and keeps the user's out. The program defines
// MOSS_FONT_TEST_HOME, an empty folder of its own to stand for the home directory.

#include <cstdlib>

namespace {

struct FontEnvironment {
    FontEnvironment() {
        setenv("FONTCONFIG_FILE", "/etc/fonts/fonts.conf", 1);
        setenv("HOME", MOSS_FONT_TEST_HOME, 1);
        setenv("XDG_CONFIG_HOME", MOSS_FONT_TEST_HOME "/config", 1);
        setenv("XDG_DATA_HOME", MOSS_FONT_TEST_HOME "/data", 1);
        setenv("XDG_CACHE_HOME", MOSS_FONT_TEST_HOME "/cache", 1);
    }
};

const FontEnvironment environment;

} // namespace

// Fontconfig keeps parts of its parsed configuration for the life of the process; it is not ours
// to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
