#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

namespace tessaron {

// TLS settings that trust exactly `authorities`.
QSslConfiguration tlsTrusting(const QList<QSslCertificate>& authorities);

// The system's certificate authorities, plus those in the PEM file `extraCaFile`.
QList<QSslCertificate> systemAuthoritiesPlus(const QString& extraCaFile);

// The TLS settings of a production transport: the system's certificate authorities. A build configured for
// the local service also trusts that service's own CA; nothing else changes.
QSslConfiguration productionTls();

} // namespace tessaron
