#pragma once

#include "session/sign_in_state.hpp"

namespace tessaron {

// Stands for the account in tests of the session alone: someone counts as signed in, so invitations are
// redeemed at once, and there is no account to link a profile to.
class AssumedSignIn final : public TessaronSignInState {
public:
    bool isSignedIn() const override { return true; }
    QCoro::Task<> linkProfileIfSignedIn(TessaronSession*) override { co_return; }
};

} // namespace tessaron
