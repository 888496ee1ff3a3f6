#pragma once

#include "platform/bundle_info.hpp"
#include "platform/cancellation.hpp"
#include "platform/clock.hpp"
#include "platform/http_transport.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/upgrade_gate.hpp"

#include <QString>
#include <QUrl>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <optional>

namespace tessaron {

// Where the pairing service answers: an https host and an optional port. The configured base URL's path,
// query and fragment play no part.
class TessaronPairingOrigin {
public:
    // Throws TessaronPairingError (invalidBaseURL) unless the URL is https with a host, no user info and a
    // port, if any, from 1 to 65535.
    explicit TessaronPairingOrigin(const QUrl& baseURL);

    const QString& host() const { return host_; }
    std::optional<int> port() const { return port_; }

    // "https://host[:port]" followed by `path`.
    QUrl url(const QString& path) const;

    bool operator==(const TessaronPairingOrigin&) const = default;

private:
    QString host_;
    std::optional<int> port_;
};

// The client of the pairing service: redeems invitations and pulls rosters. Every failure is a
// TessaronPairingError. It is immutable and may be used from the clock's thread; the transport, the clock
// and the gate must outlive every call, the client itself need not.
class TessaronPairingClient {
public:
    static inline const QString redeemPath = QStringLiteral("/v1/redeem");
    static inline const QString rosterPath = QStringLiteral("/v1/profiles");
    static constexpr qint64 maximumReplyBytes = 65'536;
    // The limit on the whole exchange, and the transfer's stall time-out.
    static constexpr std::chrono::seconds requestTimeout{15};

    // A 426 reply is reported to `gate`; no other reply is, so a pairing success never lifts a requirement
    // the account service set.
    TessaronPairingClient(TessaronPairingOrigin origin, HttpTransport& transport, Clock& clock,
                          TessaronServerUpgradeGate& gate = TessaronServerUpgradeGate::shared(),
                          const BundleInfo& info = BundleInfo::main());

    const TessaronPairingOrigin& origin() const { return origin_; }

    QCoro::Task<TessaronRedeemResult> redeem(QString code, QUuid redemptionID, QUuid installationID,
                                             QString consentVersion,
                                             CancellationToken cancellation = {}) const;
    QCoro::Task<TessaronRosterResponse> roster(QUuid profileID, QUuid installationID,
                                               CancellationToken cancellation = {}) const;

private:
    HttpRequest request(const QString& path, const QJsonObject& body) const;

    TessaronPairingOrigin origin_;
    HttpTransport* transport_;
    Clock* clock_;
    TessaronServerUpgradeGate* gate_;
    BundleInfo info_;
};

} // namespace tessaron
