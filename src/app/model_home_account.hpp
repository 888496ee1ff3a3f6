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

private:
    TessaronAccountModel& model_;
};

} // namespace tessaron
