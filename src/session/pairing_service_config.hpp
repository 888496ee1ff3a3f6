#pragma once

#include "platform/bundle_info.hpp"
#include "profiles/pairing_client.hpp"

namespace tessaron {

// Whether the bundle names a pairing service at all; whether that origin is usable is makePairingOrigin's.
bool isPairingServiceConfigured(const BundleInfo& bundle);

// Throws TessaronPairingError (invalidBaseURL) when no base URL is configured, or when the configured one
// is no valid pairing origin.
TessaronPairingOrigin makePairingOrigin(const BundleInfo& bundle);

} // namespace tessaron
