#pragma once

// Changes made to a store file from outside the program: by another program's connection, or
// by a failing disk or a careless tool.

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <sqlite3.h>
#include <string>

namespace moss_test {

// Runs SQL on the file with a connection of its own, as another program would; `leaveLog` ends
// that program the way a crash does, with its write-ahead log not yet folded into the file.
inline void runAsAnotherProgram(const std::filesystem::path& path, const std::string& sql,
                                bool leaveLog = false) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    if (leaveLog) {
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message != nullptr ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

// Overwrites the body of one table leaf page (type byte kept) at or after each given fraction
// of the file; returns how many pages it damaged. The file must be closed by its store.
inline std::size_t damageTableLeafPages(const std::filesystem::path& path,
                                        std::initializer_list<double> fractions) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) {
        return 0;
    }
    file.seekg(16);
    unsigned char sizeBytes[2] = {};
    file.read(reinterpret_cast<char*>(sizeBytes), 2);
    const std::size_t pageSize = (std::size_t(sizeBytes[0]) << 8) | sizeBytes[1];
    file.seekg(0, std::ios::end);
    const auto pages = static_cast<std::size_t>(file.tellg()) / pageSize;
    std::size_t damaged = 0;
    for (const double fraction : fractions) {
        for (auto page = static_cast<std::size_t>(fraction * static_cast<double>(pages));
             page < pages; ++page) {
            file.seekg(static_cast<std::streamoff>(page * pageSize));
            char type = 0;
            file.read(&type, 1);
            if (type == 0x0D) {
                file.seekp(static_cast<std::streamoff>(page * pageSize + 1));
                const std::string garbage(pageSize - 1, '\xEE');
                file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
                ++damaged;
                break;
            }
        }
    }
    return damaged;
}

} // namespace moss_test
