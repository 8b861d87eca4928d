#pragma once

// A generated MCP registry for the window tests and benchmarks: 250 servers, pages of 100.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace mossbarrow::uitest {

inline std::string serverName(int i) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "io.test/server-%03d", i);
    return buffer;
}

// A registry page in the service's format: servers [first, last) of those matching `search`.
// A later `edition` of the registry gives the same servers other titles and descriptions.
inline std::string mcpPage(const std::string& search, const std::string& cursor, int edition = 1) {
    const std::string titlePrefix = edition == 1 ? "Server " : "Renamed ";
    const std::string descriptionPrefix = edition == 1 ? "Test server" : "Renamed";
    std::vector<int> matching;
    for (int i = 0; i < 250; ++i) {
        if (search.empty() || serverName(i).find(search) != std::string::npos) {
            matching.push_back(i);
        }
    }
    const std::size_t start = cursor.empty() ? 0 : std::stoul(cursor.substr(1));
    const std::size_t end = std::min(matching.size(), start + 100);
    std::string body = R"({"servers": [)";
    for (std::size_t k = start; k < end; ++k) {
        const int i = matching[k];
        if (k > start) {
            body += ",";
        }
        body += R"({"server": {"name": ")" + serverName(i) + R"(", "version": "1.)" +
                std::to_string(i % 7) + R"(.0", "title": ")" + titlePrefix + std::to_string(i) +
                R"(", "description": ")" + descriptionPrefix + R"( number )" + std::to_string(i) +
                R"(", "websiteUrl": "https://example.com/)" + std::to_string(i) +
                R"(", "packages": [{"registryType": "npm", "identifier": "@test/s)" +
                std::to_string(i) + R"("}]}, "_meta": {"io.test/official": {"status": "active"}}})";
    }
    body += R"(], "metadata": {"count": )" + std::to_string(end - start);
    if (end < matching.size()) {
        body += R"(, "nextCursor": "c)" + std::to_string(end) + R"(")";
    }
    return body + "}}";
}

} // namespace mossbarrow::uitest
