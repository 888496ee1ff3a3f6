#pragma once

#include "profiles/keychain_error.hpp"

#include <optional>
#include <utility>

namespace tessaron::testing {

// A Keychain error as its case and the Keychain's status (0 unless the case is `status`).
using KeychainFailure = std::pair<TessaronKeychainErrorKind, qint32>;

inline KeychainFailure failed(TessaronKeychainErrorKind kind, qint32 status = 0) {
    return {kind, status};
}

// The Keychain error an action throws, if any.
template <typename Action> std::optional<KeychainFailure> keychainFailure(Action action) {
    try {
        action();
    } catch (const TessaronKeychainError& error) {
        return KeychainFailure(error.kind(), error.keychainStatus());
    }
    return std::nullopt;
}

} // namespace tessaron::testing
