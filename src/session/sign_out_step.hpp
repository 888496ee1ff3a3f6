#pragma once

namespace tessaron {

// The steps of the session's share of a sign-out, declared in the order they run. The account's token is
// deleted after the last of them, by the account model.
enum class TessaronSignOutStep {
    stopTunnel,
    deleteProfiles,
    removeSystemConfiguration,
    clearGeoData,
    removeStoredKeys,
};

} // namespace tessaron
