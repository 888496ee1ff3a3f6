#pragma once

#include "platform/power_state.hpp"

namespace tessaron::testing {

class FakePowerState final : public PowerState {
public:
    bool lowPower() const override { return lowPower_; }
    void set(bool lowPower) {
        lowPower_ = lowPower;
        Q_EMIT lowPowerChanged(lowPower);
    }

private:
    bool lowPower_ = false;
};

} // namespace tessaron::testing
