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

} // namespace tessaron
