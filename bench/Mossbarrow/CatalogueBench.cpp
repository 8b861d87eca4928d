// Decoding the catalogues' replies and filtering a large catalogue for one keystroke.

#include "Mossbarrow/ClawHubSkill.hpp"
#include "Mossbarrow/OstrelSkill.hpp"
#include "Mossbarrow/ServerResponse.hpp"
#include "Mossbarrow/SkillsBrowserViewModel.hpp"
#include "platform/foundation/JSONDecoder.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <string>

namespace {

using namespace mossbarrow;

// A registry page shaped like the real one: every optional member present, free-form metadata.
std::string mcpPage(int servers) {
    std::string json = R"({"servers":[)";
    for (int i = 0; i < servers; ++i) {
        json += fmt::format(
            R"({}{{"server":{{"name":"io.example/server-{}","description":"Server number {} reads and writes things for agents","version":"1.{}.0","title":"Server {}","websiteUrl":"https://example.com/s/{}",)"
            R"("repository":{{"type":"git","url":"https://example.com/s/{}.git","subfolder":"src"}},)"
            R"("packages":[{{"registryType":"npm","identifier":"server-{}","version":"1.{}.0","transport":{{"type":"stdio"}}}}],)"
            R"("icons":[{{"src":"https://example.com/s/{}.png","mimeType":"image/png","sizes":["48x48"]}}],)"
            R"("transport":{{"type":"streamable-http","url":"https://example.com/mcp/{}","headers":[{{"name":"Authorization","isRequired":true}}]}}}},)"
            R"("_meta":{{"io.modelcontextprotocol.registry/official":{{"status":"active","publishedAt":"2025-09-{:02}T10:00:00Z","isLatest":true,"score":{}.5}}}}}})",
            i == 0 ? "" : ",", i, i, i, i, i, i, i, i, i, i, i % 28 + 1, i);
    }
    json += R"(],"metadata":{"count":100,"nextCursor":"io.example/server-99:1.99.0"}})";
    return json;
}

std::string ostrelCatalogue(int skills) {
    static const char* const providers[] = {"anthropic", "openai", "openclaw"};
    std::string json = R"({"skills":[)";
    for (int i = 0; i < skills; ++i) {
        json += fmt::format(
            R"({}{{"id":{},"slug":"skill-{}","name":"Skill {}","description":"Does task {} with documents, tables and charts",)"
            R"("long_description":"# Skill {}\n\nA longer markdown description of what the skill does, with **emphasis** and a list:\n\n- one\n- two\n",)"
            R"("provider":"{}","license":{},"category":"category-{}","github_url":"https://example.com/skills/{}",)"
            R"("skill_md_url":"https://example.com/skills/{}/SKILL.md","created_at":{},"updated_at":{}}})",
            i == 0 ? "" : ",", i, i, i, i, i, providers[i % 3], i % 4 == 0 ? "null" : "\"MIT\"",
            i % 17, i, i, 1700000000 + i, 1700005000 + i);
    }
    json += fmt::format(R"(],"total":{}}})", skills);
    return json;
}

void decodeMCPPage(benchmark::State& state) {
    const std::string json = mcpPage(100);
    const platform::JSONDecoder decoder;
    for (auto _ : state) {
        auto page = decoder.decode<ServerListResponse>(json);
        benchmark::DoNotOptimize(page);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
    state.counters["bytes"] = static_cast<double>(json.size());
}
BENCHMARK(decodeMCPPage)->Unit(benchmark::kMicrosecond);

void decodeOstrelCatalogue(benchmark::State& state) {
    const std::string json = ostrelCatalogue(5000);
    const platform::JSONDecoder decoder;
    for (auto _ : state) {
        auto catalogue = decoder.decode<OstrelSkillsResponse>(json);
        benchmark::DoNotOptimize(catalogue);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
    state.counters["bytes"] = static_cast<double>(json.size());
}
BENCHMARK(decodeOstrelCatalogue)->Unit(benchmark::kMicrosecond);

// One keystroke in Claude mode: the family's part of 5,000 skills narrowed by the text.
void filterOstrelKeystroke(benchmark::State& state) {
    const auto all =
        platform::JSONDecoder{}.decode<OstrelSkillsResponse>(ostrelCatalogue(5000)).skills;
    for (auto _ : state) {
        auto shown = SkillsBrowserViewModel::filterOstrel(all, "anthropic", " Tables ");
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(filterOstrelKeystroke)->Unit(benchmark::kMicrosecond);

// One keystroke in OpenClaw mode: 5,000 loaded ClawHub skills filtered as the list is drawn.
void filterClawHubKeystroke(benchmark::State& state) {
    std::vector<ClawHubSkill> items;
    for (int i = 0; i < 5000; ++i) {
        items.push_back(ClawHubSkill{
            .slug = fmt::format("skill-{}", i),
            .displayName = fmt::format("Skill Number {}", i),
            .summary = i % 5 == 0
                           ? std::nullopt
                           : std::optional<std::string>(fmt::format("Works with sheets {}", i)),
        });
    }
    for (auto _ : state) {
        auto shown = SkillsBrowserViewModel::filterClawHub(items, "number 12");
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(filterClawHubKeystroke)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
