#pragma once

#include "screens/home_account.hpp"

namespace tessaron {

class TessaronAccountModel;

// The account model as the home view reads it.
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
