#pragma once

// The bytes of a fixture file, as they are on disk (no newline translation); empty when the file
// cannot be read, so that a comparison with it fails and names what was expected.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace moss_test {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace moss_test
