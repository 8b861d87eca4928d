#include "Mossbarrow/OstrelSkill.hpp"

namespace mossbarrow {

using platform::JSONDecodingContainer;

// The catalogue's keys are snake case; camel-case spellings are not read.
OstrelSkill OstrelSkill::decode(const JSONDecodingContainer& c) {
    return {
        .id = c.decode<std::int64_t>("id"),
        .slug = c.decode<std::string>("slug"),
        .name = c.decode<std::string>("name"),
        .description = c.decode<std::string>("description"),
        .longDescription = c.decode<std::string>("long_description"),
        .provider = c.decode<std::string>("provider"),
        .license = c.decodeIfPresent<std::string>("license"),
        .category = c.decode<std::string>("category"),
        .githubUrl = c.decode<std::string>("github_url"),
        .skillMdUrl = c.decode<std::string>("skill_md_url"),
        .createdAt = c.decode<std::int64_t>("created_at"),
        .updatedAt = c.decode<std::int64_t>("updated_at"),
    };
}

OstrelSkillsResponse OstrelSkillsResponse::decode(const JSONDecodingContainer& c) {
    return {
        .skills = c.decode<std::vector<OstrelSkill>>("skills"),
        .total = c.decode<std::int64_t>("total"),
    };
}

} // namespace mossbarrow

namespace mossbarrow {

void OstrelSkill::encode(platform::JSONEncodingContainer& c) const {
    c.encode("id", id);
    c.encode("slug", slug);
    c.encode("name", name);
    c.encode("description", description);
    c.encode("long_description", longDescription);
    c.encode("provider", provider);
    c.encodeIfPresent("license", license);
    c.encode("category", category);
    c.encode("github_url", githubUrl);
    c.encode("skill_md_url", skillMdUrl);
    c.encode("created_at", createdAt);
    c.encode("updated_at", updatedAt);
}

void OstrelSkillsResponse::encode(platform::JSONEncodingContainer& c) const {
    c.encode("skills", skills);
    c.encode("total", total);
}

} // namespace mossbarrow
