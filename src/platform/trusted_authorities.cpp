#include "platform/trusted_authorities.hpp"

#include "platform/build_config.hpp"
#include "platform/system_log.hpp"

namespace tessaron {

QSslConfiguration tlsTrusting(const QList<QSslCertificate>& authorities) {
    auto tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(authorities);
    return tls;
}

QList<QSslCertificate> systemAuthoritiesPlus(const QString& extraCaFile) {
    const auto extra =
        QSslCertificate::fromPath(extraCaFile, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    // Without it every request to the service fails its handshake; say why once, here.
    if (extra.isEmpty())
        SystemLog(QStringLiteral("http"))
            .error(QStringLiteral("no certificate authority in %1").arg(extraCaFile));
    return QSslConfiguration::systemCaCertificates() + extra;
}

QSslConfiguration productionTls() {
    // Listing the system's authorities costs a tenth of a second; Qt otherwise looks them up as needed.
    if constexpr (build_config::trustsLocalService)
        return tlsTrusting(systemAuthoritiesPlus(QString::fromUtf8(build_config::localServiceCa)));
    return QSslConfiguration::defaultConfiguration();
}

} // namespace tessaron
