#pragma once

#include "Mossbarrow/JSONValue.hpp"
#include "platform/foundation/JSONDecoder.hpp"
#include "platform/foundation/JSONEncoder.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mossbarrow {

struct Repository {
    std::optional<std::string> type;
    std::optional<std::string> url;

    static Repository decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

struct Package {
    std::optional<std::string> registryType;
    std::optional<std::string> identifier;

    static Package decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

struct Icon {
    std::string src;
    std::optional<std::string> mimeType;

    static Icon decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

// A server record of the MCP registry. URLs stay text; an empty sequence or map that was sent
// stays present and empty.
struct ServerJSON {
    std::string name;
    std::optional<std::string> description;
    std::optional<std::string> version;
    std::optional<std::string> title;
    std::optional<std::string> websiteUrl;
    std::optional<Repository> repository;
    std::optional<std::vector<Package>> packages;
    std::optional<std::vector<Icon>> icons;
    std::optional<std::map<std::string, JSONValue>> transport;

    static ServerJSON decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

// One entry of a registry page: the server and its free-form "_meta".
struct ServerResponse {
    ServerJSON server;
    std::optional<std::map<std::string, JSONValue>> meta;

    // name, "-", then the version or "unknown"; computed on each call.
    std::string id() const;

    static ServerResponse decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

struct Metadata {
    std::optional<std::int64_t> count;
    std::optional<std::string> nextCursor;

    static Metadata decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

struct ServerListResponse {
    std::vector<ServerResponse> servers;
    std::optional<Metadata> metadata;

    static ServerListResponse decode(const platform::JSONDecodingContainer& container);
    void encode(platform::JSONEncodingContainer& container) const;
};

} // namespace mossbarrow
