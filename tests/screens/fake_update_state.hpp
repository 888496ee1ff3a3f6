#pragma once

#include "screens/update_state.hpp"

namespace tessaron::testing {

// The update checker's published state, set by the test; counts the user's checks.
class FakeUpdateState final : public TessaronUpdateState {
    Q_OBJECT
public:
    std::optional<TessaronReleaseOffer> required() const override { return required_; }
    std::optional<TessaronReleaseOffer> available() const override { return available_; }
    bool canCheckForUpdates() const override { return canCheck_; }
    void checkForUpdates() override { ++checks; }

    void setRequired(std::optional<TessaronReleaseOffer> release) {
        required_ = std::move(release);
        Q_EMIT requiredChanged();
    }
    void setAvailable(std::optional<TessaronReleaseOffer> release) {
        available_ = std::move(release);
        Q_EMIT availableChanged();
    }
    void setCanCheck(bool canCheck) {
        canCheck_ = canCheck;
        Q_EMIT canCheckForUpdatesChanged(canCheck);
    }

    int checks = 0;

private:
    std::optional<TessaronReleaseOffer> required_;
    std::optional<TessaronReleaseOffer> available_;
    bool canCheck_ = false;
};

} // namespace tessaron::testing
