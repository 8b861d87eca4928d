#pragma once

#include "platform/foundation/Error.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One step of the path from the top of a document to a value: a member name or an array index.
struct CodingKey {
    std::string stringValue;
    std::optional<std::int64_t> intValue;

    static CodingKey member(std::string name) { return {std::move(name), std::nullopt}; }
    static CodingKey index(std::int64_t i) {
        std::string name = "Index ";
        name.append(std::to_string(i));
        return {std::move(name), i};
    }

    friend bool operator==(const CodingKey&, const CodingKey&) = default;
};

using CodingPath = std::vector<CodingKey>;

// "items[3].stats.stars": member names joined with ".", indices in brackets.
[[nodiscard]] std::string codingPathDescription(const CodingPath& path);

// A value could not be decoded into the type asked for.
class DecodingError : public Error {
public:
    enum class Kind {
        typeMismatch,  // the value is of another kind than the type needs
        valueNotFound, // the value is null where a value is required
        keyNotFound,   // a required member is missing
        dataCorrupted, // the text is not JSON, or a value cannot be represented
    };

    DecodingError(Kind kind, CodingPath codingPath, std::string debugDescription,
                  std::optional<CodingKey> key = std::nullopt);

    [[nodiscard]] Kind kind() const { return kind_; }
    // For keyNotFound, the path of the object that lacks the member; else the value's own path.
    [[nodiscard]] const CodingPath& codingPath() const { return codingPath_; }
    // The missing member of a keyNotFound error.
    [[nodiscard]] const std::optional<CodingKey>& key() const { return key_; }
    [[nodiscard]] const std::string& debugDescription() const { return debugDescription_; }

    // "The data couldn’t be read because it is missing." for keyNotFound and valueNotFound,
    // "The data couldn’t be read because it isn’t in the correct format." otherwise.
    [[nodiscard]] std::string localizedDescription() const override;

private:
    Kind kind_;
    CodingPath codingPath_;
    std::string debugDescription_;
    std::optional<CodingKey> key_;
};

// A value could not be written (a number that JSON cannot hold, such as NaN or infinity).
class EncodingError : public Error {
public:
    EncodingError(CodingPath codingPath, std::string debugDescription);

    [[nodiscard]] const CodingPath& codingPath() const { return codingPath_; }
    [[nodiscard]] const std::string& debugDescription() const { return debugDescription_; }
    // "The data couldn’t be written because it isn’t in the correct format."
    [[nodiscard]] std::string localizedDescription() const override;

private:
    CodingPath codingPath_;
    std::string debugDescription_;
};

} // namespace platform
