#include "Mossbarrow/SkillSort.hpp"

namespace mossbarrow {

namespace {
constexpr std::array<std::string_view, 4> kRawValues{"trending", "stars", "updated", "downloads"};
} // namespace

std::optional<SkillSort> SkillSort::fromRawValue(std::string_view rawValue) {
    for (const auto candidate : allCases()) {
        if (candidate.rawValue() == rawValue) {
            return candidate;
        }
    }
    return std::nullopt;
}

const std::array<SkillSort, 4>& SkillSort::allCases() {
    static constexpr std::array<SkillSort, 4> cases{trending, stars, updated, downloads};
    return cases;
}

std::string_view SkillSort::rawValue() const {
    return kRawValues.at(value_);
}

SkillSort SkillSort::decode(const platform::JSONDecodingContainer& container) {
    const auto value = fromRawValue(container.decodeStringView());
    if (!value) {
        container.throwDataCorrupted("Cannot initialize SkillSort from invalid String value " +
                                     std::string(container.decodeStringView()));
    }
    return *value;
}

void SkillSort::encode(platform::JSONEncodingContainer& container) const {
    container.encodeString(rawValue());
}

} // namespace mossbarrow
