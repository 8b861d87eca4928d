// libFuzzer target: arbitrary bytes through the JSON decoder, as typed records and as free-form
// values, and whatever decodes back through the encoder. Any crash, sanitizer report, hang or
// unbounded allocation is a failure; decoding errors are the expected outcome for most inputs.
// In the test build the same entry point runs over a few hand-made inputs.

#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

struct Entry {
    std::string name;
    std::optional<std::string> version;
    std::optional<std::int64_t> count;
    std::optional<std::vector<double>> values;
    std::optional<std::map<std::string, platform::JSONAny>> meta;
    static Entry decode(const platform::JSONDecodingContainer& c) {
        return {c.decode<std::string>("name"), c.decodeIfPresent<std::string>("version"),
                c.decodeIfPresent<std::int64_t>("count"),
                c.decodeIfPresent<std::vector<double>>("values"),
                c.decodeIfPresent<std::map<std::string, platform::JSONAny>>("_meta")};
    }
    void encode(platform::JSONEncodingContainer& c) const {
        c.encode("name", name);
        c.encodeIfPresent("version", version);
        c.encodeIfPresent("count", count);
        c.encodeIfPresent("values", values);
        c.encodeIfPresent("_meta", meta);
    }
};

struct Page {
    std::vector<Entry> entries;
    std::optional<bool> more;
    static Page decode(const platform::JSONDecodingContainer& c) {
        return {c.decode<std::vector<Entry>>("entries"), c.decodeIfPresent<bool>("more")};
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const platform::JSONDecoder decoder;
    try {
        const platform::JSONAny value = decoder.decode<platform::JSONAny>(text);
        // Whatever decodes must encode, and read back as the same value.
        const std::string written = platform::JSONEncoder(platform::JSONEncoder::prettyPrinted |
                                                          platform::JSONEncoder::sortedKeys)
                                        .encode(value);
        if (!(decoder.decode<platform::JSONAny>(written) == value)) {
            std::abort();
        }
    } catch (const platform::DecodingError&) {
    }
    try {
        const Page page = decoder.decode<Page>(text);
        for (const Entry& entry : page.entries) {
            (void)platform::JSONEncoder(platform::JSONEncoder::sortedKeys).encode(entry);
        }
    } catch (const platform::DecodingError&) {
    }
    return 0;
}

#ifndef MOSS_JSON_FUZZ_TARGET
#include <gtest/gtest.h>
#include <string>

TEST(JSONFuzzEntry, RunsOverSeedInputs) {
    const std::string deep = std::string(20000, '[') + std::string(19999, ']');
    for (const std::string& input : std::vector<std::string>{
             R"({"entries":[{"name":"a","version":"1","count":3,"values":[1,2.5],)"
             R"("_meta":{"x":[null,true,{"y":"z\/"}]}}],"more":false})",
             R"([1,-0,1e300,"\u00e9\/\u0000",{},[],123456789012345678901234567890])",
             R"({"entries":[{"name":"b","count":9223372036854775808}]})",
             R"({"entries":[{"name":"b","count":1.5}]})", R"({"a":1,"a":2})", deep, "",
             std::string("\0\xff{", 3)}) {
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()),
                                         input.size()),
                  0);
    }
}
#endif
