// The code tokenizer: the bundled script over real grammars, and the tokenizer's handling of
// scripts that fail, misbehave or answer in the wrong shape.

#include "Vellum/highlighting/CodeTokenizer.hpp"
#include "Vellum/text/Resources.hpp"
#include "platform/runtime/Runtime.hpp"
#include "platform/script/JSContext.hpp"
#include "tests/platform/script/ScriptWorkerTestSupport.hpp"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace vellum {
namespace {

using TokenType = HighlighterTheme::TokenType;

std::string joined(const std::vector<CodeToken>& tokens) {
    std::string text;
    for (const CodeToken& token : tokens) {
        text += token.content;
    }
    return text;
}

bool contains(const std::vector<CodeToken>& tokens, const CodeToken& wanted) {
    return std::find(tokens.begin(), tokens.end(), wanted) != tokens.end();
}

std::vector<CodeToken> tokenize(CodeTokenizer& tokenizer, std::string code, std::string language) {
    return platform::blockingWait(tokenizer.tokenize(std::move(code), std::move(language)));
}

// Collects what the tokenizer logs.
class LogCapture {
public:
    LogCapture() {
        platform::Logger::setSink([this](platform::Logger::Level, std::string_view line) {
            const std::scoped_lock lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    ~LogCapture() { platform::Logger::setSink({}); }

    [[nodiscard]] std::vector<std::string> lines() const {
        const std::scoped_lock lock(mutex_);
        return lines_;
    }
    [[nodiscard]] bool logged(std::string_view message) const {
        const std::vector<std::string> all = lines();
        return std::any_of(all.begin(), all.end(), [&](const std::string& line) {
            return line.find(message) != std::string::npos;
        });
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

platform::Logger testLogger() {
    return platform::Logger(std::string(loggingSubsystem), "codeTokenizer");
}

// A resource bundle of its own in a temporary directory, holding `script` as the highlighting
// script (or no script at all).
class ScriptBundle {
public:
    explicit ScriptBundle(const std::optional<std::string>& script) {
        directory_ =
            std::filesystem::temp_directory_path() /
            ("vellum-tokenizer-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        std::filesystem::create_directories(directory_);
        if (script) {
            std::ofstream(directory_ / "prism-bundle.js", std::ios::binary) << *script;
        }
    }
    ScriptBundle(const ScriptBundle&) = delete;
    ScriptBundle& operator=(const ScriptBundle&) = delete;
    ~ScriptBundle() {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    [[nodiscard]] std::optional<platform::Bundle> bundle() const {
        return platform::Bundle::at(directory_);
    }

private:
    static int& counter() {
        static int value = 0;
        return value;
    }
    std::filesystem::path directory_;
};

std::shared_ptr<CodeTokenizer> tokenizerWithScript(const std::string& script,
                                                   CodeTokenizer::Options options = {}) {
    const ScriptBundle bundle(script);
    return CodeTokenizer::make(bundle.bundle(), testLogger(), options);
}

// The bundled script with requests that may run (nearly) as long as they like.
std::shared_ptr<CodeTokenizer> patientTokenizer(std::size_t workers) {
    return CodeTokenizer::make(locateResourceBundle(), testLogger(),
                               {.workers = workers, .callLimit = std::chrono::hours(1)});
}

// Markup on which the grammar backtracks for tens of seconds inside regular expressions.
std::string backtrackingMarkup() {
    std::string code;
    while (code.size() < 100'000) {
        code += "<a b=";
    }
    return code;
}

// Plain letters, on which the markdown grammar takes time quadratic in their number: minutes,
// nearly all of it inside one regular expression match.
std::string endlessMarkdown() {
    return std::string(400'000, 'a');
}

// A block started on the global pool, tokenized while the test goes on.
platform::Task<std::vector<CodeToken>> startTokenizing(std::shared_ptr<CodeTokenizer> tokenizer,
                                                       std::string code, std::string language) {
    return platform::Task<std::vector<CodeToken>>::detached(
        [tokenizer, code, language] { return tokenizer->tokenize(code, language); });
}

const CodeToken htmlAttribute{"href", TokenType::attrName};
const std::string htmlLink = "<a href=\"x\">link</a>";

// --- The bundled script ---

struct LanguageCase {
    std::string language;
    std::string code;
    std::vector<CodeToken> expected; // among the tokens, in any order
};

TEST(CodeTokenizerTests, BundledScriptHighlightsEachLanguage) {
    const std::shared_ptr<CodeTokenizer>& tokenizer = CodeTokenizer::shared();
    ASSERT_NE(tokenizer, nullptr) << "the build puts prism-bundle.js into vellum_Vellum.bundle";

    const std::vector<LanguageCase> cases = {
        {"cpp",
         "#include <vector>\nclass Box { public: int size() const { return 42; } };\n",
         {{"class", TokenType::keyword},
          {"Box", TokenType::className},
          {"42", TokenType::number},
          {"include", TokenType::directive}}},
        {"c",
         "/* note */ unsigned x = 0x1F;",
         {{"/* note */", TokenType::comment},
          {"unsigned", TokenType::keyword},
          {"0x1F", TokenType::number}}},
        {"javascript",
         "const greet = (name) => `hi ${name}`; // done",
         {{"const", TokenType::keyword},
          {"// done", TokenType::comment},
          {"${", TokenType::interpolationPunctuation}}},
        {"js", "let s = 'x';", {{"let", TokenType::keyword}, {"'x'", TokenType::string}}},
        {"typescript",
         "interface Point { x: number }",
         {{"interface", TokenType::keyword}, {"number", TokenType::builtin}}},
        {"python",
         "def area(r):\n    return 3.14 * r ** 2  # circle\n",
         {{"def", TokenType::keyword},
          {"area", TokenType::function},
          {"# circle", TokenType::comment}}},
        {"swift",
         "let answer: Int = 42\nprint(\"\\(answer)\")",
         {{"let", TokenType::keyword}, {"42", TokenType::number}}},
        {"rust",
         "fn main() { let v: Vec<u8> = Vec::new(); }",
         {{"fn", TokenType::keyword}, {"main", TokenType::functionDefinition}}},
        {"go", "func add(a int) int { return a }", {{"func", TokenType::keyword}}},
        {"java",
         "public class App { String s = \"x\"; }",
         {{"public", TokenType::keyword}, {"\"x\"", TokenType::string}}},
        {"json",
         "{\"name\": \"vellum\", \"ok\": true, \"n\": 3}",
         {{"\"name\"", TokenType::property},
          {"true", TokenType::boolean},
          {"3", TokenType::number}}},
        {"bash",
         "echo \"$HOME\" # where",
         {{"echo", TokenType::builtin}, {"# where", TokenType::comment}}},
        {"sql",
         "SELECT name FROM users WHERE id = 1;",
         {{"SELECT", TokenType::keyword}, {"1", TokenType::number}}},
        {"html",
         "<a href=\"x\">link</a>",
         {{"href", TokenType::attrName}, {"link", TokenType::plain}}},
        {"css", "a { color: red; }", {{"color", TokenType::property}, {"a", TokenType::selector}}},
        {"diff", "-old\n+new\n", {{"-old\n", TokenType::deleted}}},
        // Common in READMEs, and shipped by the highlighter's package.
        {"haskell",
         "main :: IO ()\nmain = putStrLn \"hi\" -- greet",
         {{"-- greet", TokenType::comment}, {"\"hi\"", TokenType::string}}},
        {"hs", "let x = 1 in x", {{"let", TokenType::keyword}}},
        {"latex",
         "\\begin{document} $x^2$ % note",
         {{"% note", TokenType::comment}, {"\\begin", TokenType::function}}},
        {"tex", "\\section{Intro}", {{"\\section", TokenType::function}}},
        {"toml",
         "[server]\nport = 8080 # default\nname = \"x\"",
         {{"# default", TokenType::comment}, {"8080", TokenType::number}}},
        {"lua", "local t = {} -- table", {{"local", TokenType::keyword}}},
        {"dockerfile", "FROM debian:12\nRUN apt-get update", {{"FROM", TokenType::keyword}}},
        {"makefile", "all: main.o\n\t$(CC) -o app main.o", {{"all", TokenType::symbol}}},
    };
    for (const LanguageCase& test : cases) {
        SCOPED_TRACE(test.language);
        const std::vector<CodeToken> tokens = tokenize(*tokenizer, test.code, test.language);
        EXPECT_EQ(joined(tokens), test.code);
        for (const CodeToken& wanted : test.expected) {
            EXPECT_TRUE(contains(tokens, wanted))
                << wanted.content << " as " << wanted.type.rawValue();
        }
        // Neighbours of one type are one token.
        for (std::size_t i = 1; i < tokens.size(); ++i) {
            EXPECT_NE(tokens[i - 1].type, tokens[i].type) << tokens[i].content;
        }
    }
}

TEST(CodeTokenizerTests, BundledScriptKeepsUnknownLanguagesAndOddTextPlain) {
    // The bundled script with a logger that writes: failures would show in the log.
    const std::shared_ptr<CodeTokenizer> tokenizer =
        CodeTokenizer::make(locateResourceBundle(), testLogger());
    ASSERT_NE(tokenizer, nullptr);
    const std::string code = "int x = 1;";
    // Answered by the script itself, not by the fallback for failures: nothing is logged.
    const LogCapture log;
    for (const std::string language : {"klingon", "", "extend", "__proto__", "toString"}) {
        SCOPED_TRACE(language);
        EXPECT_EQ(tokenize(*tokenizer, code, language), plainCodeTokens(code));
    }
    EXPECT_TRUE(log.lines().empty());
    EXPECT_TRUE(tokenize(*tokenizer, "", "cpp").empty());
    // Text with NUL characters and characters outside the Basic Multilingual Plane comes back
    // whole.
    const std::string odd("x = \"\xf0\x9f\x98\x80\0y\";", 13);
    EXPECT_EQ(joined(tokenize(*tokenizer, odd, "javascript")), odd);
}

// Code in no language, or in one the bundle has no grammar for, never starts a worker; code that
// needs one starts one, which goes once idle.
TEST(CodeTokenizerTests, WorkersStartOnlyForCodeInALanguageTheBundleHas) {
    const std::shared_ptr<CodeTokenizer> tokenizer = CodeTokenizer::make(
        locateResourceBundle(), testLogger(), {.idleLimit = std::chrono::milliseconds(300)});
    ASSERT_NE(tokenizer, nullptr);
    EXPECT_TRUE(tokenizer->knowsLanguage("cpp"));
    EXPECT_TRUE(tokenizer->knowsLanguage("hs"));
    EXPECT_FALSE(tokenizer->knowsLanguage("klingon"));
    const std::string code = "main = print 1";
    EXPECT_EQ(tokenize(*tokenizer, code, "klingon"), plainCodeTokens(code));
    EXPECT_EQ(tokenizer->workerStatistics().workersStarted, 0U);
    EXPECT_EQ(tokenizer->requestCount(), 0U);
    EXPECT_NE(tokenize(*tokenizer, code, "haskell"), plainCodeTokens(code));
    EXPECT_EQ(tokenizer->workerStatistics().workersStarted, 1U);
    EXPECT_TRUE(platform::testing::waitUntil(
        [&] { return tokenizer->workerStatistics().workersRunning == 0; }));
}

TEST(CodeTokenizerTests, SharedTokenizerServesConcurrentRequests) {
    const std::shared_ptr<CodeTokenizer>& tokenizer = CodeTokenizer::shared();
    ASSERT_NE(tokenizer, nullptr);
    std::vector<platform::Task<std::vector<CodeToken>>> tasks;
    for (int i = 0; i < 8; ++i) {
        const std::string code = "int v" + std::to_string(i) + " = " + std::to_string(i) + ";";
        tasks.push_back(platform::Task<std::vector<CodeToken>>::detached(
            [tokenizer, code]() { return tokenizer->tokenize(code, "cpp"); }));
    }
    for (int i = 0; i < 8; ++i) {
        const std::vector<CodeToken> tokens = platform::blockingWait(std::move(tasks[i]));
        EXPECT_EQ(joined(tokens), "int v" + std::to_string(i) + " = " + std::to_string(i) + ";");
        EXPECT_TRUE(contains(tokens, {std::to_string(i), TokenType::number}));
    }
    EXPECT_EQ(&CodeTokenizer::shared(), &tokenizer);
}

// --- Scripts that fail ---

TEST(CodeTokenizerTests, MissingScriptGivesNoTokenizer) {
    const LogCapture log;
    const ScriptBundle empty(std::nullopt);
    EXPECT_EQ(CodeTokenizer::make(empty.bundle(), testLogger()), nullptr);
    EXPECT_EQ(CodeTokenizer::make(std::nullopt, testLogger()), nullptr);
    EXPECT_TRUE(log.logged("Prism JavaScript bundle is missing."));
}

TEST(CodeTokenizerTests, FailingScriptsGiveOnePlainToken) {
    const std::string code = "let a = 1;";
    const std::vector<std::pair<std::string, std::string>> scripts = {
        {"no entry function", "var tokenizeCode = 3;"},
        {"throws while loading", "throw new Error('broken');"},
        {"throws", "function tokenizeCode(c, l) { throw new Error(l); }"},
        {"answers nothing", "function tokenizeCode(c, l) {}"},
        {"answers an object", "function tokenizeCode(c, l) { return {content: c, type: 'x'}; }"},
        {"non-string member",
         "function tokenizeCode(c, l) { return [{content: c, type: 'keyword', n: 1}]; }"},
        {"runs forever", "function tokenizeCode(c, l) { for (;;) {} }"},
        // Tokens that do not spell out the code would show (and copy) other text.
        {"drops text",
         "function tokenizeCode(c, l) { return [{content: 'let', type: 'keyword'}]; }"},
        {"adds text",
         "function tokenizeCode(c, l) { return [{content: c + ';', type: 'plain'}]; }"},
        {"reorders text",
         "function tokenizeCode(c, l) { return [{content: c.slice(4), type: 'plain'},"
         " {content: c.slice(0, 4), type: 'keyword'}]; }"},
        {"skips every element", "function tokenizeCode(c, l) { return [{content: c}]; }"},
    };
    for (const auto& [name, script] : scripts) {
        SCOPED_TRACE(name);
        const LogCapture log;
        const std::shared_ptr<CodeTokenizer> tokenizer = tokenizerWithScript(script);
        ASSERT_NE(tokenizer, nullptr);
        EXPECT_EQ(tokenize(*tokenizer, code, "js"), plainCodeTokens(code));
        EXPECT_TRUE(log.logged("Tokenization failed."));
    }
}

TEST(CodeTokenizerTests, RepliesAreMappedElementByElement) {
    const LogCapture log;
    const std::shared_ptr<CodeTokenizer> tokenizer = tokenizerWithScript(R"(
        function tokenizeCode(code, language) {
            if (code === '') return [];
            return [{}, {type: 'keyword', content: 'let', extra: 'kept out'},
                    {content: ' '}, {content: ' ', type: 'plain'}, {type: 'string'},
                    {content: code.slice(4), type: language}];
        })");
    ASSERT_NE(tokenizer, nullptr);
    const std::vector<CodeToken> expected = {
        {"let", TokenType::keyword}, {" ", TokenType::plain}, {"a = 1;", TokenType("made-up")}};
    EXPECT_EQ(tokenize(*tokenizer, "let a = 1;", "made-up"), expected);
    EXPECT_TRUE(tokenize(*tokenizer, "", "js").empty());
    EXPECT_TRUE(log.lines().empty());
}

TEST(CodeTokenizerTests, RunawayScriptIsStoppedAndTheTokenizerRecovers) {
    const LogCapture log;
    const std::shared_ptr<CodeTokenizer> tokenizer = tokenizerWithScript(R"(
        function tokenizeCode(code, language) {
            if (language === 'slow') { for (;;) {} }
            return [{content: code, type: language}];
        })");
    ASSERT_NE(tokenizer, nullptr);
    // The view keeps running meanwhile: the wait happens on the tokenizer, not the main thread.
    auto pending = platform::Task<std::vector<CodeToken>>::detached(
        [tokenizer]() { return tokenizer->tokenize("x", "slow"); });
    bool mainThreadRan = false;
    auto probe = platform::Task<void>::run([&mainThreadRan]() -> platform::Task<void> {
        mainThreadRan = true;
        co_return;
    });
    platform::blockingWait(std::move(probe));
    EXPECT_TRUE(mainThreadRan);
    EXPECT_EQ(platform::blockingWait(std::move(pending)), plainCodeTokens("x"));
    const std::vector<CodeToken> expected = {{"y", TokenType("fast")}};
    EXPECT_EQ(tokenize(*tokenizer, "y", "fast"), expected);
}

// --- Answers kept ---

TEST(CodeTokenizerTests, GoodAnswersAreKeptAndFailuresAskedAgain) {
    const LogCapture log;
    // One worker, so that the script's count of calls is the tokenizer's: the first call fails,
    // the others answer with their number.
    const std::shared_ptr<CodeTokenizer> tokenizer = tokenizerWithScript(R"(
        var calls = 0;
        function tokenizeCode(code, language) {
            calls++;
            if (calls === 1) throw new Error('busy');
            return [{content: code, type: language + calls}];
        })",
                                                                         {.workers = 1});
    ASSERT_NE(tokenizer, nullptr);
    EXPECT_EQ(tokenizer->knownTokens("a", "x"), nullptr);
    // The plain token of a failure is not kept: the same code goes to the script again.
    EXPECT_EQ(tokenize(*tokenizer, "a", "x"), plainCodeTokens("a"));
    EXPECT_TRUE(log.logged("Tokenization failed."));
    EXPECT_EQ(tokenizer->knownTokens("a", "x"), nullptr);
    const std::vector<CodeToken> second = {{"a", TokenType("x2")}};
    EXPECT_EQ(tokenize(*tokenizer, "a", "x"), second);
    // Its answer is, and comes back without the script (which would say x3), also at once.
    EXPECT_EQ(tokenize(*tokenizer, "a", "x"), second);
    ASSERT_NE(tokenizer->knownTokens("a", "x"), nullptr);
    EXPECT_EQ(*tokenizer->knownTokens("a", "x"), second);
    // Other code, or the same code in another language, is asked for.
    EXPECT_EQ(tokenize(*tokenizer, "a", "y"), (std::vector<CodeToken>{{"a", TokenType("y3")}}));
    EXPECT_EQ(tokenize(*tokenizer, "b", "x"), (std::vector<CodeToken>{{"b", TokenType("x4")}}));
}

TEST(CodeTokenizerTests, AnswersCutShortOrTooLongAreNotKept) {
    // Answers at once, except for code that runs until its worker is stopped.
    const std::shared_ptr<CodeTokenizer> tokenizer = tokenizerWithScript(R"(
        function tokenizeCode(code, language) {
            if (code === 'slow') { /a*b/.test('a'.repeat(1 << 20)); }
            return [{content: code, type: language}];
        })",
                                                                         {.workers = 1});
    ASSERT_NE(tokenizer, nullptr);
    const std::vector<pid_t> before = platform::testing::scriptWorkers();
    auto slow = startTokenizing(tokenizer, "slow", "x");
    const pid_t worker = platform::testing::newWorker(before);
    ASSERT_NE(worker, 0);
    platform::testing::crash(worker);
    EXPECT_EQ(platform::blockingWait(std::move(slow)), plainCodeTokens("slow"));
    EXPECT_EQ(tokenizer->knownTokens("slow", "x"), nullptr);
    // Code the script never sees is not kept either.
    const std::string overlong(CodeTokenizer::maximumCodeSize + 1, 'x');
    EXPECT_EQ(tokenize(*tokenizer, overlong, "x"), plainCodeTokens(overlong));
    EXPECT_EQ(tokenizer->knownTokens(overlong, "x"), nullptr);
}

TEST(CodeTokenizerTests, KeptAnswersStayWithinTheBudget) {
    const std::string script = "function tokenizeCode(c, l) { return [{content: c, type: l}]; }";
    const ScriptBundle bundle(script);
    const std::vector<CodeToken> one = {{std::string(100, '1'), TokenType("t")}};
    const std::size_t budget = CodeTokenCache::cost(one[0].content, "t", one) * 5 / 2;
    const std::shared_ptr<CodeTokenizer> tokenizer =
        CodeTokenizer::make(bundle.bundle(), testLogger(), {.workers = 1}, budget);
    ASSERT_NE(tokenizer, nullptr);
    for (char digit = '1'; digit <= '9'; ++digit) {
        const std::string code(100, digit);
        EXPECT_EQ(joined(tokenize(*tokenizer, code, "t")), code);
        EXPECT_LE(tokenizer->memoryUse(), budget);
    }
    // The last two are kept, the first ones made room for them.
    EXPECT_NE(tokenizer->knownTokens(std::string(100, '9'), "t"), nullptr);
    EXPECT_NE(tokenizer->knownTokens(std::string(100, '8'), "t"), nullptr);
    EXPECT_EQ(tokenizer->knownTokens(std::string(100, '1'), "t"), nullptr);
}

// --- Requests that run long or crash ---

TEST(CodeTokenizerTests, BacktrackingInputFallsBackToPlainAtItsLimit) {
    const std::shared_ptr<CodeTokenizer>& tokenizer = CodeTokenizer::shared();
    ASSERT_NE(tokenizer, nullptr);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"markup", backtrackingMarkup()}, {"markdown", endlessMarkdown()}};
    for (const auto& [language, code] : cases) {
        SCOPED_TRACE(language);
        auto slow = startTokenizing(tokenizer, code, language);
        // Comes back at its limit, not once the grammar is done.
        ASSERT_TRUE(platform::testing::waitUntil([&slow] { return slow.isDone(); }));
        EXPECT_EQ(platform::blockingWait(std::move(slow)), plainCodeTokens(code));
        // The worker that was stopped is replaced.
        EXPECT_TRUE(contains(tokenize(*tokenizer, htmlLink, "html"), htmlAttribute));
    }
}

TEST(CodeTokenizerTests, SlowBlockDoesNotHoldUpLaterBlocks) {
    const std::shared_ptr<CodeTokenizer> tokenizer = patientTokenizer(2);
    ASSERT_NE(tokenizer, nullptr);
    const std::vector<pid_t> before = platform::testing::scriptWorkers();
    auto slow = startTokenizing(tokenizer, endlessMarkdown(), "markdown");
    const pid_t slowWorker = platform::testing::newWorker(before);
    ASSERT_NE(slowWorker, 0);
    for (int block = 0; block < 3; ++block) {
        auto later = startTokenizing(tokenizer, htmlLink, "html");
        ASSERT_TRUE(platform::testing::waitUntil([&later] { return later.isDone(); }));
        EXPECT_TRUE(contains(platform::blockingWait(std::move(later)), htmlAttribute));
    }
    EXPECT_FALSE(slow.isDone());
    // Ends the slow one now rather than after its minutes.
    platform::testing::crash(slowWorker);
    platform::blockingWait(std::move(slow));
}

TEST(CodeTokenizerTests, CrashedWorkerGivesPlainTokensAndIsReplaced) {
    const LogCapture log;
    const std::vector<pid_t> before = platform::testing::scriptWorkers();
    const std::shared_ptr<CodeTokenizer> tokenizer = patientTokenizer(1);
    ASSERT_NE(tokenizer, nullptr);
    // Its worker is up and running the script.
    EXPECT_TRUE(contains(tokenize(*tokenizer, htmlLink, "html"), htmlAttribute));
    const pid_t worker = platform::testing::newWorker(before);
    ASSERT_NE(worker, 0);
    const std::string code = endlessMarkdown();
    auto crashing = startTokenizing(tokenizer, code, "markdown");
    platform::testing::crash(worker);
    EXPECT_EQ(platform::blockingWait(std::move(crashing)), plainCodeTokens(code));
    EXPECT_TRUE(log.logged("Tokenization failed."));
    EXPECT_TRUE(contains(tokenize(*tokenizer, htmlLink, "html"), htmlAttribute));
}

// --- Requests nobody waits for any more ---

TEST(CodeTokenizerTests, CancelledRequestsLeaveTheQueueAndStopTheirWorker) {
    const LogCapture log;
    const std::vector<pid_t> before = platform::testing::scriptWorkers();
    // One worker that would let a request run for an hour.
    const std::shared_ptr<CodeTokenizer> tokenizer =
        tokenizerWithScript(R"(
        function tokenizeCode(code, language) {
            if (language === 'slow') { for (;;) {} }
            return [{content: code, type: language}];
        })",
                            {.workers = 1, .callLimit = std::chrono::hours(1)});
    ASSERT_NE(tokenizer, nullptr);
    auto slow = startTokenizing(tokenizer, "x", "slow");
    const pid_t worker = platform::testing::newWorker(before);
    ASSERT_NE(worker, 0);

    // Queued behind the slow one on the only worker: cancelled, it answers at once, while the
    // worker is still busy, so it never ran.
    auto queued = startTokenizing(tokenizer, "y", "queued");
    queued.cancel();
    ASSERT_TRUE(platform::testing::waitUntil([&queued] { return queued.isDone(); }));
    EXPECT_EQ(platform::blockingWait(std::move(queued)), plainCodeTokens("y"));
    EXPECT_FALSE(slow.isDone());

    // The running one stops its worker rather than holding it for its hour, and the next block
    // is served by a fresh worker without waiting.
    slow.cancel();
    ASSERT_TRUE(platform::testing::waitUntil([&slow] { return slow.isDone(); }));
    EXPECT_EQ(platform::blockingWait(std::move(slow)), plainCodeTokens("x"));
    const std::vector<pid_t> running = platform::testing::scriptWorkers();
    EXPECT_EQ(std::find(running.begin(), running.end(), worker), running.end());
    const std::vector<CodeToken> expected = {{"z", TokenType("later")}};
    EXPECT_EQ(tokenize(*tokenizer, "z", "later"), expected);
    // A cancelled request is no failure of the script.
    EXPECT_FALSE(log.logged("Tokenization failed."));
}

TEST(CodeTokenizerTests, OverlongCodeStaysPlainWithoutTheScript) {
    // A script that would tokenize anything.
    const std::shared_ptr<CodeTokenizer> tokenizer =
        tokenizerWithScript("function tokenizeCode(c, l) { return [{content: c, type: l}]; }");
    ASSERT_NE(tokenizer, nullptr);
    const std::string longest(CodeTokenizer::maximumCodeSize, 'x');
    EXPECT_EQ(tokenize(*tokenizer, longest, "kept"),
              (std::vector<CodeToken>{{longest, TokenType("kept")}}));
    EXPECT_EQ(tokenize(*tokenizer, longest + "x", "kept"), plainCodeTokens(longest + "x"));
}

} // namespace
} // namespace vellum
