#include "health/tcp_connect_probe.hpp"

#include "health/handshake_waiter.hpp"

#include "platform/one_shot.hpp"

#include <QByteArray>
#include <QThreadPool>

#include <netdb.h>

namespace tessaron {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Names are resolved on a few threads of their own: a resolver may take seconds, and holds its thread
// meanwhile. An address needs no resolver, and no handshake holds a thread (HandshakeWaiter).
class NameResolvers : public QThreadPool {
public:
    NameResolvers() { setMaxThreadCount(8); }
};

QThreadPool& nameResolvers() {
    static NameResolvers pool;
    return pool;
}

// Hands what the resolver gives to the waiter; false when it gives nothing.
bool connectResolved(const QByteArray& host, int port, int flags, SteadyClock::time_point start,
                     std::chrono::milliseconds budget, const OneShot<std::optional<int>>& result) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    addrinfo* addresses = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &addresses) != 0)
        return false;
    HandshakeWaiter::shared().connect(
        addresses, start, start + budget,
        [result](std::optional<int> milliseconds) { result.resume(milliseconds); });
    return true;
}

// Answers the caller when the resolver has not returned by the deadline; the waiter's own deadline covers
// the connection itself.
QCoro::Task<> expireAfter(Clock* clock, Clock::Duration deadline, OneShot<std::optional<int>> result,
                          CancellationToken cancellation) {
    co_await clock->sleep(deadline, cancellation);
    if (!cancellation.isCancelled())
        result.resume(std::nullopt);
}

} // namespace

TcpConnectProbe::TcpConnectProbe(Clock& clock, std::chrono::milliseconds deadline)
    : clock_(&clock)
    , deadline_(deadline) {}

QCoro::Task<std::optional<int>> TcpConnectProbe::measure(QString host, int port) {
    return LatencyMonitor::tcpConnectMilliseconds(std::move(host), port, clock_, deadline_);
}

QCoro::Task<std::optional<int>> LatencyMonitor::tcpConnectMilliseconds(QString host, int port, Clock* clock,
                                                                       std::chrono::milliseconds deadline) {
    if (port < 1 || port > 65535)
        co_return std::nullopt;
    OneShot<std::optional<int>> result;
    const auto start = SteadyClock::now();
    const QByteArray name = host.toUtf8();
    // An address is read at once, without the resolver.
    if (!connectResolved(name, port, AI_NUMERICHOST, start, deadline, result)) {
        nameResolvers().start([result, name, port, start, deadline] {
            if (!connectResolved(name, port, 0, start, deadline, result))
                result.resume(std::nullopt);
        });
    }
    CancellationSource timer;
    expireAfter(clock, deadline, result, timer.token());
    const auto milliseconds = co_await result;
    timer.cancel();
    co_return milliseconds;
}

} // namespace tessaron
