#pragma once

#include "platform/bundle_info.hpp"
#include "profiles/pairing_client.hpp"

namespace tessaron {

// Throws TessaronPairingError (invalidBaseURL) when no base URL is configured, or when the configured one
// is no valid pairing origin.
TessaronPairingOrigin makePairingOrigin(const BundleInfo& bundle);

} // namespace tessaron
