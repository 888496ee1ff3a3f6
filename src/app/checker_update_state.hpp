#pragma once

#include "screens/update_state.hpp"

namespace tessaron {

class TessaronUpdateChecker;

// The update checker as the screens read it. A required release points at the product's download page:
// this build cannot install a release itself; an available one carries the feed's address, which the
// settings form opens only when it is https.
class CheckerUpdateState final : public TessaronUpdateState {
    Q_OBJECT
public:
    explicit CheckerUpdateState(TessaronUpdateChecker& checker, QObject* parent = nullptr);

    std::optional<TessaronReleaseOffer> required() const override;
    std::optional<TessaronReleaseOffer> available() const override;
    bool canCheckForUpdates() const override;
    void checkForUpdates() override;

private:
    TessaronUpdateChecker& checker_;
};

} // namespace tessaron
