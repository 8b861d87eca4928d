#include "Mossbarrow/ServerResponse.hpp"

namespace mossbarrow {

std::string ServerResponse::id() const {
    return server.name + "-" + server.version.value_or("unknown");
}

} // namespace mossbarrow

namespace mossbarrow {

using platform::JSONDecodingContainer;
using JSONObject = std::map<std::string, JSONValue>;

Repository Repository::decode(const JSONDecodingContainer& c) {
    return {.type = c.decodeIfPresent<std::string>("type"),
            .url = c.decodeIfPresent<std::string>("url")};
}

Package Package::decode(const JSONDecodingContainer& c) {
    return {.registryType = c.decodeIfPresent<std::string>("registryType"),
            .identifier = c.decodeIfPresent<std::string>("identifier")};
}

Icon Icon::decode(const JSONDecodingContainer& c) {
    return {.src = c.decode<std::string>("src"),
            .mimeType = c.decodeIfPresent<std::string>("mimeType")};
}

ServerJSON ServerJSON::decode(const JSONDecodingContainer& c) {
    return {
        .name = c.decode<std::string>("name"),
        .description = c.decodeIfPresent<std::string>("description"),
        .version = c.decodeIfPresent<std::string>("version"),
        .title = c.decodeIfPresent<std::string>("title"),
        .websiteUrl = c.decodeIfPresent<std::string>("websiteUrl"),
        .repository = c.decodeIfPresent<Repository>("repository"),
        .packages = c.decodeIfPresent<std::vector<Package>>("packages"),
        .icons = c.decodeIfPresent<std::vector<Icon>>("icons"),
        .transport = c.decodeIfPresent<JSONObject>("transport"),
    };
}

ServerResponse ServerResponse::decode(const JSONDecodingContainer& c) {
    return {.server = c.decode<ServerJSON>("server"),
            .meta = c.decodeIfPresent<JSONObject>("_meta")};
}

Metadata Metadata::decode(const JSONDecodingContainer& c) {
    return {.count = c.decodeIfPresent<std::int64_t>("count"),
            .nextCursor = c.decodeIfPresent<std::string>("nextCursor")};
}

ServerListResponse ServerListResponse::decode(const JSONDecodingContainer& c) {
    return {.servers = c.decode<std::vector<ServerResponse>>("servers"),
            .metadata = c.decodeIfPresent<Metadata>("metadata")};
}

} // namespace mossbarrow

namespace mossbarrow {

// Records whose members are all optional still write an object, possibly empty.

void Repository::encode(platform::JSONEncodingContainer& c) const {
    c.encodeEmptyObject();
    c.encodeIfPresent("type", type);
    c.encodeIfPresent("url", url);
}

void Package::encode(platform::JSONEncodingContainer& c) const {
    c.encodeEmptyObject();
    c.encodeIfPresent("registryType", registryType);
    c.encodeIfPresent("identifier", identifier);
}

void Icon::encode(platform::JSONEncodingContainer& c) const {
    c.encode("src", src);
    c.encodeIfPresent("mimeType", mimeType);
}

void ServerJSON::encode(platform::JSONEncodingContainer& c) const {
    c.encode("name", name);
    c.encodeIfPresent("description", description);
    c.encodeIfPresent("version", version);
    c.encodeIfPresent("title", title);
    c.encodeIfPresent("websiteUrl", websiteUrl);
    c.encodeIfPresent("repository", repository);
    c.encodeIfPresent("packages", packages);
    c.encodeIfPresent("icons", icons);
    c.encodeIfPresent("transport", transport);
}

void ServerResponse::encode(platform::JSONEncodingContainer& c) const {
    c.encode("server", server);
    c.encodeIfPresent("_meta", meta);
}

void Metadata::encode(platform::JSONEncodingContainer& c) const {
    c.encodeEmptyObject();
    c.encodeIfPresent("count", count);
    c.encodeIfPresent("nextCursor", nextCursor);
}

void ServerListResponse::encode(platform::JSONEncodingContainer& c) const {
    c.encode("servers", servers);
    c.encodeIfPresent("metadata", metadata);
}

} // namespace mossbarrow
