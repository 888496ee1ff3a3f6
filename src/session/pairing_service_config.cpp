#include "session/pairing_service_config.hpp"

#include "profiles/pairing_error.hpp"

namespace tessaron {

bool isPairingServiceConfigured(const BundleInfo& bundle) {
    return bundle.pairingBaseURL().has_value();
}

TessaronPairingOrigin makePairingOrigin(const BundleInfo& bundle) {
    const auto baseURL = bundle.pairingBaseURL();
    if (!baseURL)
        throw TessaronPairingError(TessaronPairingErrorKind::invalidBaseURL);
    return TessaronPairingOrigin(*baseURL);
}

} // namespace tessaron
