#include "platform/text/SegmentShaper.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace platform {
namespace {

/// A table of entries with the given hashes (which pick their home slots among the first 1024),
/// told apart by their offsets, or by their contexts alone where `sameOffset` is set.
struct Filled {
    ShapeTable table;
    std::vector<const ShapeTable::Entry*> entries;
    std::vector<ShapeTable::Key> keys;
    /// The contexts the keys look at (an entry taken out takes its own along).
    std::vector<std::string> contexts;

    explicit Filled(const std::vector<std::uint64_t>& hashes, bool sameOffset = false) {
        for (std::uint32_t i = 0; i < hashes.size(); ++i) {
            auto entry = std::make_unique<ShapeTable::Entry>();
            entry->hash = hashes[i];
            entry->offset = sameOffset ? 0 : i;
            entry->length = 2;
            entry->context = "a word " + std::to_string(i);
            entries.push_back(entry.get());
            table.insert(std::move(entry));
        }
        contexts.reserve(entries.size());
        for (const ShapeTable::Entry* e : entries) {
            contexts.push_back(e->context);
            keys.push_back({e->hash, e->font, e->offset, e->length, e->mode, contexts.back()});
        }
    }

    /// Takes the entries at `removed` out; every other one must still be found.
    void removeAndCheck(const std::vector<std::size_t>& removed) {
        for (const std::size_t r : removed) {
            const std::unique_ptr<ShapeTable::Entry> taken = table.extract(*entries[r]);
            ASSERT_EQ(taken.get(), entries[r]);
        }
        EXPECT_EQ(table.size(), entries.size() - removed.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const bool gone = std::find(removed.begin(), removed.end(), i) != removed.end();
            EXPECT_EQ(table.find(keys[i]), gone ? nullptr : entries[i]) << "entry " << i;
        }
    }
};

TEST(ShapeTable, FindsEveryEntryKeptThroughCollisionsRemovalsAndGrowth) {
    // Entries crowd a few home slots; taken out from the middle of their probe runs, those after
    // them move back, a run that wraps from the last slot to the first included.
    Filled crowded({7, 7, 8, 7, 1023, 1023, 0, 1023, 1, 9, 1024 + 7, 2048 + 1023});
    crowded.removeAndCheck({1, 4, 6});
    // An entry in the first slot that is at home there stays, though the hole is before it.
    Filled wrapped({1022, 1023, 0, 1022, 1});
    wrapped.removeAndCheck({0});

    // The same hash and all but the context alike: another entry.
    Filled alike({5, 5, 5}, true);
    alike.removeAndCheck({1});
    ShapeTable::Key other = alike.keys[0];
    other.context = "another";
    EXPECT_EQ(alike.table.find(other), nullptr);

    // Growing moves every entry; all are found after.
    std::vector<std::uint64_t> many;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        many.push_back(ShapeTable::hash(nullptr, i, 2, false, "a word " + std::to_string(i)));
    }
    Filled grown(many);
    grown.removeAndCheck({0, 1500, 2999});
}

} // namespace
} // namespace platform
