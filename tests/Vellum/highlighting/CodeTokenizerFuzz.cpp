// libFuzzer target: arbitrary bytes as code in one of the bundled languages (the first byte
// chooses which, unknown names included) through the shared tokenizer and its workers. Whatever
// the script makes of it, within its time limit or not, the tokens must spell out the code
// exactly. Any violation aborts.

#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "platform/runtime/Runtime.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 26> languages{
    "markup",     "html",   "css",      "clike",  "javascript", "js", "typescript",
    "json",       "yaml",   "markdown", "diff",   "bash",       "c",  "cpp",
    "objectivec", "csharp", "java",     "kotlin", "swift",      "go", "rust",
    "python",     "ruby",   "php",      "sql",    "klingon"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::shared_ptr<vellum::CodeTokenizer>& tokenizer = vellum::CodeTokenizer::shared();
    if (!tokenizer) {
        std::abort(); // the build puts the script and its worker into the bundle
    }
    if (size == 0) {
        return 0;
    }
    const std::string_view language = languages[data[0] % languages.size()];
    const std::string code(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::vector<vellum::CodeToken> tokens =
        platform::blockingWait(tokenizer->tokenize(code, std::string(language)));
    std::string spelled;
    for (const vellum::CodeToken& token : tokens) {
        spelled += token.content;
    }
    if (spelled != code) {
        std::abort();
    }
    return 0;
}
