#pragma once

#include <qcoro/qcorotask.h>

namespace tessaron {

class TessaronSession;

// What the session needs of the account: whether someone is signed in, and linking a newly stored profile
// to that account. The account model implements it; the session never sees more of the account.
class TessaronSignInState {
public:
    virtual ~TessaronSignInState() = default;

    // Meaningful only once signInStateKnown() has completed: until the stored sign-in has been read it
    // says false, for a signed-in user too.
    virtual bool isSignedIn() const = 0;
    // Whether isSignedIn() tells the truth yet; signInStateKnown() completes when it does.
    virtual bool isSignInStateKnown() const = 0;
    // Completes once isSignedIn() tells the truth: at once, or when the stored sign-in has been read.
    virtual QCoro::Task<> signInStateKnown() = 0;
    // Links the session's selected profile to the signed-in account. Never fails; does nothing when nobody
    // is signed in.
    virtual QCoro::Task<> linkProfileIfSignedIn(TessaronSession* session) = 0;
};

} // namespace tessaron
