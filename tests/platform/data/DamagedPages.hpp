#pragma once

// Damage done to a store file from outside, as a failing disk or a careless tool would do it.

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

namespace moss_test {

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
