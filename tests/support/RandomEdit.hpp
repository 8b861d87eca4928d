#pragma once

#include <cstddef>
#include <string>

namespace moss_test {

// One keystroke's worth of change, as the differential tests of incremental parsing make them:
// kind 0 inserts `character` at `at`, kind 1 deletes the character there, any other kind
// replaces it. Deleting or replacing at the end changes nothing.
inline void editOneCharacter(std::string& text, std::size_t at, char character, unsigned kind) {
    if (kind == 0) {
        text.insert(at, 1, character);
    } else if (at < text.size()) {
        if (kind == 1) {
            text.erase(at, 1);
        } else {
            text[at] = character;
        }
    }
}

} // namespace moss_test
