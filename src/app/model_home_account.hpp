#pragma once

#include "screens/home_account.hpp"

namespace tessaron {

class TessaronAccountModel;

// The account model as the home view reads it. Before the stored sign-in has been read it reads as signed
// in without an account: the view then shows neither the sign-in prompt nor an address.
class ModelHomeAccount final : public TessaronHomeAccount {
    Q_OBJECT
public:
    explicit ModelHomeAccount(TessaronAccountModel& model, QObject* parent = nullptr);

    bool isSignedIn() const override;
    std::optional<QString> accountEmail() const override;
    QCoro::Task<> refresh(TessaronSession* session, CancellationToken cancellation) override;

    // Refreshes asked for while held wait for release(), and one cancelled meanwhile asks for nothing: the
    // application holds them until the home view's first picture is on screen, which must not share the
    // machine with the TLS set-up of the account's first request.
    void hold() { held_ = true; }
    void release();

Q_SIGNALS:
    void released();

private:
    TessaronAccountModel& model_;
    bool held_ = false;
};

// The account's start once the home view's first picture is on screen: the home view's refresh, held until
// now, goes first, and the launch refresh (no session; none under the test harness) a turn later. The held
// refresh resumes on the event loop's next turn; started at once, the launch refresh would take the model's
// one-at-a-time mark before it, and the home view's refresh, the only one that recovers the account's
// connection into an empty selection, would find the mark taken and return. With a slow keyring both wait
// for the stored token's read and resume in the order they began to wait.
void startAccountAfterFirstPaint(ModelHomeAccount& home, TessaronAccountModel& model, bool launchRefresh);

} // namespace tessaron
