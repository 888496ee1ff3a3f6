#pragma once

#include "platform/cancellation.hpp"

#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <optional>

namespace tessaron {

class TessaronSession;

// What the home view needs of the account model.
class TessaronHomeAccount : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isSignedIn() const = 0;
    // The signed-in account's e-mail; none until the account record has arrived.
    virtual std::optional<QString> accountEmail() const = 0;
    // Brings the account up to date; run once each time the home view appears.
    virtual QCoro::Task<> refresh(TessaronSession* session, CancellationToken cancellation) = 0;

Q_SIGNALS:
    void changed();
};

} // namespace tessaron
