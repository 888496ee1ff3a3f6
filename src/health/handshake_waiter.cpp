#include "health/handshake_waiter.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tessaron {

namespace {

struct FreeAddresses {
    void operator()(addrinfo* addresses) const { freeaddrinfo(addresses); }
};

} // namespace

struct HandshakeWaiter::Attempt {
    std::unique_ptr<addrinfo, FreeAddresses> addresses;
    const addrinfo* next = nullptr;
    int socket = -1;
    SteadyClock::time_point start;
    SteadyClock::time_point deadline;
    Answer answer;

    void answerWith(std::optional<int> milliseconds) {
        closeSocket();
        answer(milliseconds);
        answer = nullptr;
    }

    void answerConnected() {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
        answerWith(int(elapsed.count()));
    }

    void closeSocket() {
        if (socket >= 0)
            ::close(std::exchange(socket, -1));
    }

    // Starts a connection to the next address that does not refuse at once; answers when none is left or
    // one connects straight away. False once answered.
    bool startNext() {
        closeSocket();
        for (; next; next = next->ai_next) {
            if (SteadyClock::now() >= deadline)
                break;
            const addrinfo& address = *next;
            const int opened = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                        address.ai_protocol);
            if (opened < 0)
                continue;
            socket = opened;
            if (::connect(socket, address.ai_addr, address.ai_addrlen) == 0) {
                answerConnected();
                return false;
            }
            if (errno == EINPROGRESS) {
                next = next->ai_next;
                return true;
            }
            closeSocket();
        }
        answerWith(std::nullopt);
        return false;
    }

    // The socket answered: connected, or refused and on to the next address.
    bool settle() {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
            answerConnected();
            return false;
        }
        return startNext();
    }
};

HandshakeWaiter& HandshakeWaiter::shared() {
    // Never destroyed: its thread waits for the rest of the run, and answers may still be due at exit.
    static auto* waiter = new HandshakeWaiter;
    return *waiter;
}

HandshakeWaiter::HandshakeWaiter()
    : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    std::thread([this] { run(); }).detach();
}

void HandshakeWaiter::connect(addrinfo* addresses, SteadyClock::time_point start,
                              SteadyClock::time_point deadline, Answer answer) {
    Attempt attempt;
    attempt.addresses.reset(addresses);
    attempt.next = addresses;
    attempt.start = start;
    attempt.deadline = deadline;
    attempt.answer = std::move(answer);
    {
        std::lock_guard lock(mutex_);
        incoming_.push_back(std::move(attempt));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
}

void HandshakeWaiter::takeIncoming(std::vector<Attempt>& attempts) {
    std::vector<Attempt> taken;
    {
        std::lock_guard lock(mutex_);
        taken.swap(incoming_);
    }
    for (Attempt& attempt : taken) {
        if (attempt.startNext())
            attempts.push_back(std::move(attempt));
    }
}

void HandshakeWaiter::run() {
    std::vector<Attempt> attempts;
    std::vector<pollfd> watched;
    for (;;) {
        takeIncoming(attempts);
        watched.assign(1, {.fd = wake_, .events = POLLIN, .revents = 0});
        auto soonest = SteadyClock::time_point::max();
        for (const Attempt& attempt : attempts) {
            watched.push_back({.fd = attempt.socket, .events = POLLOUT, .revents = 0});
            soonest = std::min(soonest, attempt.deadline);
        }
        const int timeout =
            attempts.empty()
                ? -1
                : int(std::max<std::chrono::milliseconds::rep>(
                      std::chrono::ceil<std::chrono::milliseconds>(soonest - SteadyClock::now()).count(), 0));
        // A failed or interrupted poll reports nothing: the deadlines are checked all the same.
        ::poll(watched.data(), watched.size(), timeout);
        std::uint64_t woken = 0;
        [[maybe_unused]] const auto read = ::read(wake_, &woken, sizeof woken);
        const auto now = SteadyClock::now();
        std::vector<Attempt> waiting;
        for (std::size_t i = 0; i < attempts.size(); ++i) {
            Attempt& attempt = attempts[i];
            bool stillWaiting = true;
            if (watched[i + 1].revents != 0)
                stillWaiting = attempt.settle();
            else if (now >= attempt.deadline) {
                attempt.answerWith(std::nullopt);
                stillWaiting = false;
            }
            if (stillWaiting)
                waiting.push_back(std::move(attempt));
        }
        attempts.swap(waiting);
    }
}

} // namespace tessaron
