#include "session/pairing_service_config.hpp"

#include "profiles/pairing_error.hpp"

namespace tessaron {

namespace {
const QString baseURLKey = QStringLiteral("TessaronPairingBaseURL");
}

std::optional<QUrl> pairingBaseURL(const BundleInfo& bundle) {
    const auto value = bundle.value(baseURLKey);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const auto text = value.toString().trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().toLower() != QLatin1String("https"))
        return std::nullopt;
    return url;
}

bool isPairingServiceConfigured(const BundleInfo& bundle) {
    return pairingBaseURL(bundle).has_value();
}

TessaronPairingOrigin makePairingOrigin(const BundleInfo& bundle) {
    const auto baseURL = pairingBaseURL(bundle);
    if (!baseURL)
        throw TessaronPairingError(TessaronPairingErrorKind::invalidBaseURL);
    return TessaronPairingOrigin(*baseURL);
}

} // namespace tessaron
