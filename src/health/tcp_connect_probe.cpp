#include "health/tcp_connect_probe.hpp"

#include "health/handshake_waiter.hpp"

#include "platform/one_shot.hpp"

#include <QByteArray>

#include <netdb.h>

namespace tessaron {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The addresses of a host written as an address, read without the resolver; none for a name.
std::optional<SocketAddresses> numericAddresses(const QByteArray& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &found) != 0)
        return std::nullopt;
    auto addresses = socketAddresses(found, port);
    ::freeaddrinfo(found);
    return addresses;
}

// Answers the caller by its own clock should the waiter be late; the waiter's deadline is the same.
QCoro::Task<> expireAfter(Clock* clock, Clock::Duration deadline, OneShot<std::optional<int>> result,
                          CancellationToken cancellation) {
    co_await clock->sleep(deadline, cancellation);
    if (!cancellation.isCancelled())
        result.resume(std::nullopt);
}

} // namespace

TcpConnectProbe::TcpConnectProbe(Clock& clock, std::chrono::milliseconds deadline, std::string nameServers)
    : clock_(&clock)
    , deadline_(deadline)
    , nameServers_(std::move(nameServers)) {}

QCoro::Task<std::optional<int>> TcpConnectProbe::measure(QString host, int port) {
    return LatencyMonitor::tcpConnectMilliseconds(std::move(host), port, clock_, deadline_, nameServers_);
}

QCoro::Task<std::optional<int>> LatencyMonitor::tcpConnectMilliseconds(QString host, int port, Clock* clock,
                                                                       std::chrono::milliseconds deadline,
                                                                       std::string nameServers) {
    if (port < 1 || port > 65535)
        co_return std::nullopt;
    OneShot<std::optional<int>> result;
    const auto start = SteadyClock::now();
    HandshakeWaiter::Answer answer = [result](std::optional<int> milliseconds) {
        result.resume(milliseconds);
    };
    const QByteArray name = host.toUtf8();
    if (auto addresses = numericAddresses(name, port))
        HandshakeWaiter::shared().connect(std::move(*addresses), start, start + deadline, std::move(answer));
    else
        HandshakeWaiter::shared().connect({name.toStdString(), port, std::move(nameServers)}, start,
                                          start + deadline, std::move(answer));
    CancellationSource timer;
    expireAfter(clock, deadline, result, timer.token());
    const auto milliseconds = co_await result;
    timer.cancel();
    co_return milliseconds;
}

} // namespace tessaron
