#pragma once

#include "profiles/keychain_error.hpp"

#include <optional>

namespace tessaron::testing {

// The Keychain error an action throws, if any.
template <typename Action> std::optional<TessaronKeychainError> keychainError(Action action) {
    try {
        action();
    } catch (const TessaronKeychainError& error) {
        return error;
    }
    return std::nullopt;
}

template <typename Action> std::optional<TessaronKeychainErrorKind> keychainFailure(Action action) {
    const auto error = keychainError(action);
    return error ? std::optional(error->kind()) : std::nullopt;
}

} // namespace tessaron::testing
