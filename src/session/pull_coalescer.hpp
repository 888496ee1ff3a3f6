#pragma once

#include <QHash>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

namespace tessaron {

// Runs at most one pull per key at a time: a caller that asks for a key already being pulled waits for
// that pull to end instead of starting another.
class TessaronPullCoalescer {
public:
    // Kept alive by the coalescer until it ends, so a capturing lambda coroutine is safe here.
    using Pull = std::function<QCoro::Task<>()>;

    TessaronPullCoalescer();

    // Ends when the key's pull ends, whoever started it. Only the caller that started the pull sees what
    // it threw; a caller that joined it is told only that it ended.
    QCoro::Task<> run(QUuid key, Pull pull);

    bool isRunning(const QUuid& key) const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace tessaron
