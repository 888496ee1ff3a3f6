#pragma once

#include <QFuture>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <functional>
#include <mutex>

namespace tessaron {

// TLS settings that trust exactly `authorities`.
QSslConfiguration tlsTrusting(const QList<QSslCertificate>& authorities);

// The system's certificate authorities, plus those in the PEM file `extraCaFile`.
QList<QSslCertificate> systemAuthoritiesPlus(const QString& extraCaFile);

// TLS settings made once, when they are first asked for, on a worker thread: listing and parsing a whole
// authority store takes a tenth of a second that no caller should wait for before it needs it.
class SharedTlsConfiguration {
public:
    explicit SharedTlsConfiguration(std::function<QSslConfiguration()> make);

    // The settings, made by the first call; any thread may ask.
    QFuture<QSslConfiguration> get();

private:
    std::function<QSslConfiguration()> make_;
    std::once_flag started_;
    QFuture<QSslConfiguration> made_;
};

// The TLS settings of a production transport, shared by all of them and made off the asking thread: Qt's
// own, which looks the system's authorities up as needed. A build configured for the local service also
// trusts that service's own CA, and so lists the system's authorities once.
QFuture<QSslConfiguration> productionTls();

} // namespace tessaron
