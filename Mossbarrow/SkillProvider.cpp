#include "Mossbarrow/SkillProvider.hpp"

namespace mossbarrow {

namespace {
constexpr std::array<std::string_view, 3> kRawValues{"claude", "openAI", "openClaw"};
} // namespace

std::optional<SkillProvider> SkillProvider::fromRawValue(std::string_view rawValue) {
    for (const auto candidate : allCases()) {
        if (candidate.rawValue() == rawValue) {
            return candidate;
        }
    }
    return std::nullopt;
}

const std::array<SkillProvider, 3>& SkillProvider::allCases() {
    static constexpr std::array<SkillProvider, 3> cases{claude, openAI, openClaw};
    return cases;
}

std::string_view SkillProvider::rawValue() const {
    return kRawValues.at(value_);
}

SkillProvider SkillProvider::decode(const platform::JSONDecodingContainer& container) {
    const auto value = fromRawValue(container.decodeStringView());
    if (!value) {
        container.throwDataCorrupted("Cannot initialize SkillProvider from invalid String value " +
                                     std::string(container.decodeStringView()));
    }
    return *value;
}

void SkillProvider::encode(platform::JSONEncodingContainer& container) const {
    container.encodeString(rawValue());
}

} // namespace mossbarrow
