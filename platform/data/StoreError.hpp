#pragma once

#include "platform/foundation/Error.hpp"

#include <string>

namespace platform {

// A store that cannot be opened, read or written.
class StoreError final : public Error {
public:
    enum class Code {
        cannotOpen,    // the folder or file cannot be created or opened for writing
        notAStore,     // the file is not a database, or one of another program
        newerVersion,  // written by a newer version of the program
        incompatible,  // its version or tables do not match the schema
        damagedRecord, // a stored record cannot be read back
        writeFailed,   // an insert, delete or change did not reach the disk
        readFailed,    // a fetch failed
        invalidQuery,  // a fetch names an attribute or model the schema does not have
    };

    StoreError(Code code, std::string message);

    [[nodiscard]] Code code() const { return code_; }
    [[nodiscard]] std::string localizedDescription() const override { return message_; }

private:
    Code code_;
    std::string message_;
};

} // namespace platform
