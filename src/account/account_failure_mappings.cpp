#include "account/account_client.hpp"

namespace tessaron {

namespace {

using Kind = TessaronAccountErrorKind;

bool hasCode(const std::optional<QString>& code, QStringView expected) {
    return code && *code == expected;
}

// The statuses every endpoint shares, after the endpoint's own rules had their turn.
TessaronAccountError commonFailure(int status) {
    switch (status) {
    case 401:
        return TessaronAccountError(Kind::unauthorized);
    case 404:
        return TessaronAccountError(Kind::unavailable);
    case 429:
        return TessaronAccountError(Kind::rateLimited);
    default:
        return TessaronAccountError::server(status);
    }
}

} // namespace

TessaronAccountError TessaronAccountClient::mapCommonFailure(int status, const std::optional<QString>&,
                                                             const FailureExtras&) {
    return commonFailure(status);
}

TessaronAccountError TessaronAccountClient::mapEmailStartFailure(int status,
                                                                 const std::optional<QString>& code,
                                                                 const FailureExtras&) {
    if (status == 400)
        return hasCode(code, u"invalid_email") ? TessaronAccountError(Kind::invalidEmail)
                                               : TessaronAccountError::server(status);
    return commonFailure(status);
}

TessaronAccountError TessaronAccountClient::mapEmailVerificationFailure(int status,
                                                                        const std::optional<QString>& code,
                                                                        const FailureExtras& extras) {
    if (status == 401 && hasCode(code, u"invalid_code"))
        return TessaronAccountError::invalidCode(extras.attemptsLeft.value_or(0));
    if (status == 410)
        return TessaronAccountError(Kind::challengeExpired);
    return commonFailure(status);
}

TessaronAccountError TessaronAccountClient::mapAppleSignInFailure(int status,
                                                                  const std::optional<QString>& code,
                                                                  const FailureExtras&) {
    if (status == 400)
        return hasCode(code, u"email_required") ? TessaronAccountError(Kind::emailRequired)
                                                : TessaronAccountError::server(status);
    if (status == 409)
        return hasCode(code, u"provider_conflict") ? TessaronAccountError(Kind::providerConflict)
                                                   : TessaronAccountError::server(status);
    return commonFailure(status);
}

TessaronAccountError TessaronAccountClient::mapProfileFailure(int status, const std::optional<QString>& code,
                                                              const FailureExtras& extras) {
    if (extras.deviceSlotError)
        return TessaronAccountError::deviceSlot(*extras.deviceSlotError);
    if (status == 403)
        return hasCode(code, u"grant_not_active") ? TessaronAccountError(Kind::grantNotActive)
                                                  : TessaronAccountError::server(status);
    return commonFailure(status);
}

TessaronAccountError TessaronAccountClient::mapLinkFailure(int status, const std::optional<QString>& code,
                                                           const FailureExtras&) {
    if (status == 403)
        return hasCode(code, u"not_your_grant") ? TessaronAccountError(Kind::notYourGrant)
                                                : TessaronAccountError::server(status);
    return commonFailure(status);
}

TessaronAccountError TessaronAccountClient::mapSubscriptionLinkFailure(int status,
                                                                       const std::optional<QString>& code,
                                                                       const FailureExtras&) {
    if (status == 403)
        return hasCode(code, u"no_access") ? TessaronAccountError(Kind::noAccess)
                                           : TessaronAccountError::server(status);
    if (status == 409)
        return hasCode(code, u"device_limit") ? TessaronAccountError(Kind::deviceLimit)
                                              : TessaronAccountError::server(status);
    return commonFailure(status);
}

} // namespace tessaron
