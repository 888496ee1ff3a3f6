#pragma once

#include "account/device_slot.hpp"
#include "platform/tessaron_error.hpp"

#include <QString>

#include <optional>
#include <variant>

namespace tessaron {

// In declaration order: the code of each case is its position here.
enum class TessaronAccountErrorKind {
    invalidCode,
    deviceSlot,
    network,
    server,
    invalidEmail,
    rateLimited,
    challengeExpired,
    emailRequired,
    providerConflict,
    unauthorized,
    notYourGrant,
    grantNotActive,
    unavailable,
    noAccess,
    deviceLimit,
    upgradeRequired,
};

// Every refused or failed request to the account service. Four cases carry a value: the attempts left,
// the device-slot conflict, a short technical detail (never shown) and the unexpected HTTP status.
class TessaronAccountError final : public EnumError<TessaronAccountErrorKind> {
public:
    using Kind = TessaronAccountErrorKind;

    // For the cases without a value.
    explicit TessaronAccountError(Kind kind);

    static TessaronAccountError invalidCode(qint64 attemptsLeft);
    static TessaronAccountError deviceSlot(TessaronDeviceSlotError error);
    static TessaronAccountError network(QString detail);
    static TessaronAccountError server(qint64 status);

    QString domain() const override { return QStringLiteral("TessaronAccountError"); }
    std::optional<QString> userMessage() const override;

    std::optional<qint64> attemptsLeft() const;
    std::optional<TessaronDeviceSlotError> deviceSlotError() const;
    std::optional<QString> networkDetail() const;
    std::optional<qint64> serverStatus() const;

    bool operator==(const TessaronAccountError& other) const;

private:
    using Payload = std::variant<std::monostate, qint64, TessaronDeviceSlotError, QString>;

    TessaronAccountError(Kind kind, Payload payload);

    Payload payload_;
};

} // namespace tessaron
