#pragma once

#include "TestNote.hpp"
#include "platform/data/ModelContainer.hpp"
#include "platform/data/ModelContext.hpp"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace moss_test {

inline platform::Schema noteSchema(platform::Schema::Version version = {1, 0, 0}) {
    return platform::Schema({&TestNote::entityDescription()}, version);
}

// A fresh temporary folder per test, removed afterwards.
class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "moss-store-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    [[nodiscard]] std::filesystem::path storePath() const { return folder_ / "notes.store"; }

    [[nodiscard]] platform::ModelContainer openStore(platform::Schema::Version version = {1, 0,
                                                                                          0}) {
        return platform::ModelContainer(noteSchema(version),
                                        platform::ModelConfiguration{storePath()});
    }

    std::filesystem::path folder_;
};

} // namespace moss_test
