#include "platform/trusted_authorities.hpp"

#include "platform/build_config.hpp"
#include "platform/system_log.hpp"

#include <QPromise>
#include <QThreadPool>

#include <memory>

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

SharedTlsConfiguration::SharedTlsConfiguration(std::function<QSslConfiguration()> make)
    : make_(std::move(make)) {}

QFuture<QSslConfiguration> SharedTlsConfiguration::get() {
    std::call_once(started_, [this] {
        auto promise = std::make_shared<QPromise<QSslConfiguration>>();
        made_ = promise->future();
        promise->start();
        QThreadPool::globalInstance()->start([promise, make = make_] {
            promise->addResult(make());
            promise->finish();
        });
    });
    return made_;
}

QFuture<QSslConfiguration> productionTls() {
    // Even Qt's own settings load the TLS library the first time they are asked for.
    static SharedTlsConfiguration production([] {
        if constexpr (build_config::trustsLocalService)
            return tlsTrusting(systemAuthoritiesPlus(QString::fromUtf8(build_config::localServiceCa)));
        return QSslConfiguration::defaultConfiguration();
    });
    return production.get();
}

} // namespace tessaron
