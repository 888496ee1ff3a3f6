#pragma once

#include "platform/vpn_error.hpp"

#include <optional>
#include <utility>

namespace tessaron::testing {

// The domain and code of the TessaronError that `call` throws; none when it throws nothing.
template <typename Call> std::optional<PlatformError> thrownError(Call&& call) {
    try {
        std::forward<Call>(call)();
    } catch (const TessaronError& error) {
        return PlatformError::from(error);
    }
    return std::nullopt;
}

} // namespace tessaron::testing
