#pragma once

#include "platform/bundle_info.hpp"
#include "profiles/pairing_client.hpp"

#include <QUrl>

#include <optional>

namespace tessaron {

// The configured base URL of the pairing service, the account service and the diagnostics endpoint:
// "TessaronPairingBaseURL" when it is text that, trimmed, is not empty and forms an https URL.
std::optional<QUrl> pairingBaseURL(const BundleInfo& bundle);

bool isPairingServiceConfigured(const BundleInfo& bundle);

// Throws TessaronPairingError (invalidBaseURL) when no base URL is configured, or when the configured one
// is no valid pairing origin.
TessaronPairingOrigin makePairingOrigin(const BundleInfo& bundle);

} // namespace tessaron
