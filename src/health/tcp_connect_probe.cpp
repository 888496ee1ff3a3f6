#include "health/tcp_connect_probe.hpp"

#include "platform/one_shot.hpp"

#include <QByteArray>
#include <QThreadPool>

#include <cerrno>
#include <memory>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaron {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Enough threads that a full round over every node runs at once even when some resolvers hang.
class ProbeThreads : public QThreadPool {
public:
    ProbeThreads() { setMaxThreadCount(64); }
};

QThreadPool& probeThreads() {
    static ProbeThreads pool;
    return pool;
}

class Socket {
public:
    explicit Socket(int descriptor)
        : descriptor_(descriptor) {}
    ~Socket() {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int get() const { return descriptor_; }

private:
    int descriptor_;
};

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList() {
        if (head)
            freeaddrinfo(head);
    }
};

int millisecondsUntil(SteadyClock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return int(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Connects without blocking past the deadline; true once the handshake completed.
bool connectBefore(const addrinfo& address, SteadyClock::time_point deadline) {
    Socket socket(
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol));
    if (socket.get() < 0)
        return false;
    if (::connect(socket.get(), address.ai_addr, address.ai_addrlen) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd watched{.fd = socket.get(), .events = POLLOUT, .revents = 0};
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, millisecondsUntil(deadline));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// Runs on a worker thread. Every address the resolver gives is tried in its order until one answers.
std::optional<int> connectMilliseconds(const QByteArray& host, int port, std::chrono::milliseconds budget) {
    const auto start = SteadyClock::now();
    const auto deadline = start + budget;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    AddressList addresses;
    if (::getaddrinfo(host.constData(), QByteArray::number(port).constData(), &hints, &addresses.head) != 0)
        return std::nullopt;
    for (const addrinfo* address = addresses.head; address; address = address->ai_next) {
        if (SteadyClock::now() >= deadline)
            return std::nullopt;
        if (connectBefore(*address, deadline)) {
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
            return int(elapsed.count());
        }
    }
    return std::nullopt;
}

// Answers the caller when the resolver has not returned by the deadline; the worker's own deadline covers
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
    probeThreads().start([result, host = host.toUtf8(), port, budget = deadline] {
        result.resume(connectMilliseconds(host, port, budget));
    });
    CancellationSource timer;
    expireAfter(clock, deadline, result, timer.token());
    const auto milliseconds = co_await result;
    timer.cancel();
    co_return milliseconds;
}

} // namespace tessaron
