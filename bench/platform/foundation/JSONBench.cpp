// JSON decoding and encoding throughput on a large generated catalogue.

#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <string>

namespace {

struct Skill {
    std::int64_t id = 0;
    std::string slug;
    std::string name;
    std::string description;
    std::string longDescription;
    std::string provider;
    std::optional<std::string> license;
    std::string category;
    std::string githubUrl;
    std::int64_t createdAt = 0;
    std::int64_t updatedAt = 0;
    std::optional<std::map<std::string, platform::JSONAny>> meta;

    static Skill decode(const platform::JSONDecodingContainer& c) {
        return {c.decode<std::int64_t>("id"),
                c.decode<std::string>("slug"),
                c.decode<std::string>("name"),
                c.decode<std::string>("description"),
                c.decode<std::string>("long_description"),
                c.decode<std::string>("provider"),
                c.decodeIfPresent<std::string>("license"),
                c.decode<std::string>("category"),
                c.decode<std::string>("github_url"),
                c.decode<std::int64_t>("created_at"),
                c.decode<std::int64_t>("updated_at"),
                c.decodeIfPresent<std::map<std::string, platform::JSONAny>>("_meta")};
    }
    void encode(platform::JSONEncodingContainer& c) const {
        c.encode("id", id);
        c.encode("slug", slug);
        c.encode("name", name);
        c.encode("description", description);
        c.encode("long_description", longDescription);
        c.encode("provider", provider);
        c.encodeIfPresent("license", license);
        c.encode("category", category);
        c.encode("github_url", githubUrl);
        c.encode("created_at", createdAt);
        c.encode("updated_at", updatedAt);
        c.encodeIfPresent("_meta", meta);
    }
};

struct Catalogue {
    std::vector<Skill> skills;
    std::int64_t total = 0;
    static Catalogue decode(const platform::JSONDecodingContainer& c) {
        return {c.decode<std::vector<Skill>>("skills"), c.decode<std::int64_t>("total")};
    }
};

std::string makeCatalogue(int count) {
    std::string json = R"({"skills":[)";
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            json += ",";
        }
        json += fmt::format(
            R"({{"id":{0},"slug":"skill-{0}","name":"Skill number {0}","description":"Does )"
            R"(useful thing {0} for agents","long_description":"# Skill {0}\n\nA longer )"
            R"(markdown description with **bold** text, a [link](https:\/\/example.com\/{0}) )"
            R"(and a list:\n- one\n- two\n","provider":"{1}",{2}"category":"tools",)"
            R"("github_url":"https://github.com/example/skill-{0}","skill_md_url":)"
            R"("https://example.com/{0}/SKILL.md","created_at":{3},"updated_at":{4},)"
            R"("_meta":{{"score":{5}.25,"tags":["a","b",null],"verified":true}},"extra":[1,2,3]}})",
            i, i % 2 == 0 ? "anthropic" : "openai", i % 3 == 0 ? "" : R"("license":"MIT",)",
            1700000000000LL + i, 1700000500000LL + i, i % 100);
    }
    json += fmt::format(R"(],"total":{}}})", count);
    return json;
}

void BM_DecodeCatalogueRecords(benchmark::State& state) {
    const std::string json = makeCatalogue(static_cast<int>(state.range(0)));
    const platform::JSONDecoder decoder;
    for (auto _ : state) {
        Catalogue catalogue = decoder.decode<Catalogue>(json);
        benchmark::DoNotOptimize(catalogue);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
    state.counters["doc_KiB"] = static_cast<double>(json.size()) / 1024.0;
}
BENCHMARK(BM_DecodeCatalogueRecords)->Arg(100)->Arg(5000)->Unit(benchmark::kMicrosecond);

void BM_DecodeAnyValue(benchmark::State& state) {
    const std::string json = makeCatalogue(static_cast<int>(state.range(0)));
    const platform::JSONDecoder decoder;
    for (auto _ : state) {
        platform::JSONAny value = decoder.decode<platform::JSONAny>(json);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * json.size()));
}
BENCHMARK(BM_DecodeAnyValue)->Arg(5000)->Unit(benchmark::kMicrosecond);

void BM_EncodePrettySorted(benchmark::State& state) {
    const std::string json = makeCatalogue(static_cast<int>(state.range(0)));
    const Catalogue catalogue = platform::JSONDecoder().decode<Catalogue>(json);
    const platform::JSONEncoder encoder(platform::JSONEncoder::prettyPrinted |
                                        platform::JSONEncoder::sortedKeys);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text = encoder.encode(catalogue.skills);
        bytes += text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_EncodePrettySorted)->Arg(5000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
