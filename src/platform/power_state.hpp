#pragma once

#include <QObject>

namespace tessaron {

// Whether the host is saving power; views tone their motion down meanwhile.
class PowerState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool lowPower() const = 0;

Q_SIGNALS:
    void lowPowerChanged(bool lowPower);
};

} // namespace tessaron
