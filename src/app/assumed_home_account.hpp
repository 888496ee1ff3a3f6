#pragma once

#include "screens/home_account.hpp"

namespace tessaron {

// Stands for the account model until it exists, matching the session's assumed sign-in: signed in,
// with no account record to show.
class AssumedHomeAccount final : public TessaronHomeAccount {
    Q_OBJECT
public:
    using TessaronHomeAccount::TessaronHomeAccount;

    bool isSignedIn() const override { return true; }
    std::optional<QString> accountEmail() const override { return std::nullopt; }
    QCoro::Task<> refresh(TessaronSession*, CancellationToken) override { co_return; }
};

} // namespace tessaron
