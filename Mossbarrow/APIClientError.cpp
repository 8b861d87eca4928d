#include "Mossbarrow/APIClientError.hpp"

namespace mossbarrow {

std::string APIClientError::localizedDescription() const {
    return platform::genericErrorDescription("Mossbarrow.APIClientError",
                                             static_cast<std::int64_t>(case_));
}

} // namespace mossbarrow
