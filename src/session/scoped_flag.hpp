#pragma once

#include <QObject>
#include <QPointer>

namespace tessaron {

// Sets a flag of a QObject for as long as it lives, and clears it at the end unless the owner is gone by
// then. Meant for coroutines, whose scope may outlive the object they run for.
class ScopedFlag {
public:
    ScopedFlag(QObject* owner, bool& flag)
        : owner_(owner)
        , flag_(flag) {
        flag_ = true;
    }
    ~ScopedFlag() {
        if (owner_)
            flag_ = false;
    }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    QPointer<QObject> owner_;
    bool& flag_;
};

} // namespace tessaron
