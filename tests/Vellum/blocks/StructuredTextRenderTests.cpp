// A real document with every kind of block, drawn offscreen in both style sets, light and dark.
// Set MOSS_BLOCKS_PNG_DIR to keep the pictures for review.

#include "Vellum/blocks/StructuredText.hpp"
#include "Vellum/style/DefaultStyle.hpp"
#include "Vellum/style/GitHubStyle.hpp"
#include "Vellum/style/VellumNamespace.hpp"
#include "platform/ui/UI.hpp"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

namespace ui = platform::ui;

const char* const document = R"(# Field notes

A paragraph with *emphasis*, **strong** text, `inline code` and a [link](https://example.com).
It wraps over more than one line when the column is narrow enough to make it.

## Lists

1. First step
2. Second step, with a longer text that wraps onto a second line
   - a nested bullet
   - another one
     1. deeper still
3. Third

9. nine
10. ten

> A quoted remark that runs long enough to wrap inside its panel.
>
> - with a list inside

---

```cpp
int main() {
    return sum(tally) > 0 ? 0 : 1;
}
```

$$\frac{a}{b} = \sqrt{x^2 + 1}$$

```math
e^{i\pi} + 1 = 0
```

| Name | Count |
|------|------:|
| apples | 3 |
| pears | 12 |

###### A small heading
)";

void render(bool gitHub, platform::ColorScheme scheme, const std::string& name) {
    ui::AnyView view{vellum::StructuredText(document)};
    view = gitHub
               ? vellum::vellum(view).structuredTextStyle(vellum::StructuredText::GitHubStyle())
               : vellum::vellum(view).structuredTextStyle(vellum::StructuredText::DefaultStyle());
    ui::EnvironmentValues environment;
    environment.set<ui::ColorSchemeKey>(scheme);
    ui::OffscreenHost host(view.padding(16), {560, std::nullopt}, environment);
    host.runUntilIdle(std::chrono::milliseconds(10000));
    EXPECT_GT(host.size().height, 600) << name;
    if (const char* dir = std::getenv("MOSS_BLOCKS_PNG_DIR")) {
        const platform::Color paper = scheme == platform::ColorScheme::dark
                                          ? platform::Color::gray(0.12)
                                          : platform::Color::white();
        const auto png = host.renderPNG(2.0, paper);
        std::ofstream(std::string(dir) + "/" + name + ".png", std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    }
}

TEST(DocumentRendering, EveryBlockKindInBothSetsLightAndDark) {
    render(false, platform::ColorScheme::light, "default-light");
    render(false, platform::ColorScheme::dark, "default-dark");
    render(true, platform::ColorScheme::light, "github-light");
    render(true, platform::ColorScheme::dark, "github-dark");
}

} // namespace
