#pragma once

#include "session/sign_in_state.hpp"

namespace tessaron {

// Stands for the account where the session runs without one (its tests, the idle meter): someone counts
// as signed in, so invitations are redeemed at once, and there is no account to link a profile to.
class AssumedSignIn final : public TessaronSignInState {
public:
    bool isSignedIn() const override { return true; }
    bool isSignInStateKnown() const override { return true; }
    QCoro::Task<> signInStateKnown() override { co_return; }
    QCoro::Task<> linkProfileIfSignedIn(TessaronSession*) override { co_return; }
};

} // namespace tessaron
