#pragma once

#include "platform/one_shot.hpp"

#include <QCoreApplication>
#include <QMetaObject>

#include <qcoro/qcorotask.h>

namespace tessaron::testing {

// Suspends the caller until the event loop runs next, as a network reply or a result from another thread
// resumes the application's coroutines: a fake awaits it before it answers.
inline QCoro::Task<> eventLoopTurn() {
    OneShot<bool> turn;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [turn] { turn.resume(true); }, Qt::QueuedConnection);
    co_await turn;
}

} // namespace tessaron::testing
