#include "account/account_error.hpp"

#include <QCoreApplication>

namespace tessaron {

namespace {

bool carriesValue(TessaronAccountErrorKind kind) {
    using enum TessaronAccountErrorKind;
    return kind == invalidCode || kind == deviceSlot || kind == network || kind == server;
}

struct Message {
    const char* source;
    const char* comment;
};

// The English text is the key; the comment reaches translators through the disambiguation.
QString translated(Message message) {
    return QCoreApplication::translate("TessaronAccountError", message.source, message.comment);
}

} // namespace

TessaronAccountError::TessaronAccountError(Kind kind)
    : TessaronAccountError(kind, std::monostate{}) {
    Q_ASSERT(!carriesValue(kind));
}

TessaronAccountError::TessaronAccountError(Kind kind, Payload payload)
    : EnumError(kind)
    , payload_(std::move(payload)) {}

TessaronAccountError TessaronAccountError::invalidCode(qint64 attemptsLeft) {
    return {Kind::invalidCode, attemptsLeft};
}

TessaronAccountError TessaronAccountError::deviceSlot(TessaronDeviceSlotError error) {
    return {Kind::deviceSlot, std::move(error)};
}

TessaronAccountError TessaronAccountError::network(QString detail) {
    return {Kind::network, std::move(detail)};
}

TessaronAccountError TessaronAccountError::server(qint64 status) {
    return {Kind::server, status};
}

std::optional<qint64> TessaronAccountError::attemptsLeft() const {
    if (kind() != Kind::invalidCode)
        return std::nullopt;
    return std::get<qint64>(payload_);
}

std::optional<TessaronDeviceSlotError> TessaronAccountError::deviceSlotError() const {
    if (kind() != Kind::deviceSlot)
        return std::nullopt;
    return std::get<TessaronDeviceSlotError>(payload_);
}

std::optional<QString> TessaronAccountError::networkDetail() const {
    if (kind() != Kind::network)
        return std::nullopt;
    return std::get<QString>(payload_);
}

std::optional<qint64> TessaronAccountError::serverStatus() const {
    if (kind() != Kind::server)
        return std::nullopt;
    return std::get<qint64>(payload_);
}

bool TessaronAccountError::operator==(const TessaronAccountError& other) const {
    return kind() == other.kind() && payload_ == other.payload_;
}

std::optional<QString> TessaronAccountError::userMessage() const {
    switch (kind()) {
    case Kind::invalidCode:
        // There is deliberately no singular form.
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError",
                                             "That code is not right. %1 attempts left.",
                                             "Wrong email code; attempts remaining."))
            .arg(*attemptsLeft());
    case Kind::deviceSlot: {
        const auto slotError = *deviceSlotError();
        if (const auto* locked = slotError.locked())
            return TessaronDeviceSlotError::cooldownText(locked->slot, locked->nextSwapAt);
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError", "Tessaron is set up on another device.",
                                             "Device slot held by another device."));
    }
    case Kind::network:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError",
                                             "Tessaron could not reach the account service.",
                                             "Transport failure talking to the account service."));
    case Kind::server:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError",
                                             "The account service could not complete the request.",
                                             "Unexpected account service status."));
    case Kind::invalidEmail:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError", "That email address doesn’t look right.",
                                             "Email rejected by the account service."));
    case Kind::rateLimited:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError", "Too many attempts. Try again later.",
                                             "Account rate limit hit."));
    case Kind::challengeExpired:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError",
                                             "That code has expired. Request a new one.",
                                             "Email code challenge expired."));
    case Kind::emailRequired:
        return translated(QT_TRANSLATE_NOOP3(
            "TessaronAccountError", "Your Apple ID doesn’t share an email address. Add one, then try again.",
            "Sign in with Apple without an email."));
    case Kind::providerConflict:
        return translated(QT_TRANSLATE_NOOP3(
            "TessaronAccountError", "This email already has an account with a different sign-in method.",
            "OAuth identity conflicts with an existing account."));
    case Kind::unauthorized:
        return translated(
            QT_TRANSLATE_NOOP3("TessaronAccountError", "Please sign in again.", "Stored session rejected."));
    case Kind::notYourGrant:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError",
                                             "That access doesn’t belong to this account.",
                                             "Linking a grant owned by another account."));
    case Kind::grantNotActive:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError", "That access is no longer active.",
                                             "Recovering a profile from an inactive grant."));
    case Kind::unavailable:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError", "Accounts are not available right now.",
                                             "Account routes are not deployed."));
    case Kind::noAccess:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError", "Get access first.",
                                             "Subscription link refused: the account has no active access."));
    case Kind::deviceLimit:
        return translated(QT_TRANSLATE_NOOP3("TessaronAccountError",
                                             "Device limit reached. Sign out another device first.",
                                             "Subscription link refused: every device slot is taken."));
    case Kind::upgradeRequired:
        return QCoreApplication::translate("TessaronAccountError", "Update Tessaron to continue.");
    }
    Q_UNREACHABLE();
}

} // namespace tessaron
