#pragma once

#include "screens/update_state.hpp"

namespace tessaron {

// Stands for the update checker until it exists: nothing required, nothing on offer, no check possible.
class NoUpdateChecker final : public TessaronUpdateState {
    Q_OBJECT
public:
    using TessaronUpdateState::TessaronUpdateState;

    std::optional<TessaronReleaseOffer> required() const override { return std::nullopt; }
    std::optional<TessaronReleaseOffer> available() const override { return std::nullopt; }
    bool canCheckForUpdates() const override { return false; }
    void checkForUpdates() override {}
};

} // namespace tessaron
