#pragma once

// The math fonts the build bundles from Debian's packages, for tests run once per font.

#include "Math/MathFont.hpp"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace moss_test {

inline std::vector<Math::Font::Name> bundledFontNames() {
    return {Math::Font::Name::latinModern, Math::Font::Name::termes,
            Math::Font::Name::asana,       Math::Font::Name::xits,
            Math::Font::Name::kpMathLight, Math::Font::Name::kpMathSans,
            Math::Font::Name::euler,       Math::Font::Name::fira,
            Math::Font::Name::libertinus,  Math::Font::Name::garamond};
}

// A test name for a font: its name with '-' made '_'.
inline std::string fontTestName(const ::testing::TestParamInfo<Math::Font::Name>& info) {
    std::string name;
    for (const char c : info.param.rawValue()) {
        name += (c == '-') ? '_' : c;
    }
    return name;
}

} // namespace moss_test
