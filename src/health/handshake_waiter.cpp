#include "health/handshake_waiter.hpp"

#include "health/name_lookup.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <span>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace tessaron {

struct HandshakeWaiter::Attempt {
    std::optional<Name> name;
    std::unique_ptr<NameLookup> lookup;
    SocketAddresses addresses;
    std::size_t next = 0;
    int socket = -1;
    SteadyClock::time_point start;
    SteadyClock::time_point deadline;
    Answer answer;
    // Where this attempt's sockets stand in the current poll.
    std::size_t firstWatched = 0;
    std::size_t watchedCount = 0;

    void answerWith(std::optional<int> milliseconds) {
        lookup.reset();
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

    // Starts the lookup, or the connection to an address given. False once answered.
    bool begin() {
        if (!name)
            return startNext();
        lookup = std::make_unique<NameLookup>(name->host, name->port, name->nameServers);
        name.reset();
        return connectOnceLookedUp();
    }

    bool connectOnceLookedUp() {
        if (!lookup->isDone())
            return true;
        addresses = lookup->addresses();
        lookup.reset();
        return startNext();
    }

    // Starts a connection to the next address that does not refuse at once; answers when none is left or
    // one connects straight away. False once answered.
    bool startNext() {
        closeSocket();
        for (; next < addresses.size(); ++next) {
            if (SteadyClock::now() >= deadline)
                break;
            const SocketAddress& address = addresses[next];
            const int opened = ::socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (opened < 0)
                continue;
            socket = opened;
            if (::connect(socket, address.get(), address.length) == 0) {
                answerConnected();
                return false;
            }
            if (errno == EINPROGRESS) {
                ++next;
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

    void watch(std::vector<pollfd>& watched) {
        firstWatched = watched.size();
        if (lookup)
            lookup->appendSockets(watched);
        else
            watched.push_back({.fd = socket, .events = POLLOUT, .revents = 0});
        watchedCount = watched.size() - firstWatched;
    }

    SteadyClock::time_point wakeAt() const {
        return lookup ? std::min(deadline, lookup->nextTimeout()) : deadline;
    }

    // Takes what the poll saw of this attempt. False once answered.
    bool proceed(std::span<const pollfd> watched, SteadyClock::time_point now) {
        const auto mine = watched.subspan(firstWatched, watchedCount);
        bool waiting = true;
        if (lookup) {
            lookup->process(mine);
            waiting = connectOnceLookedUp();
        } else if (mine.front().revents != 0) {
            waiting = settle();
        }
        if (waiting && now >= deadline) {
            answerWith(std::nullopt);
            return false;
        }
        return waiting;
    }
};

HandshakeWaiter& HandshakeWaiter::shared() {
    // Never destroyed and its thread never joined: it waits for the rest of the run, answers may still be
    // due at exit, and a lookup hanging on a silent name server must not keep the process from ending.
    static auto* waiter = new HandshakeWaiter;
    return *waiter;
}

HandshakeWaiter::HandshakeWaiter()
    : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    std::thread([this] { run(); }).detach();
}

void HandshakeWaiter::connect(SocketAddresses addresses, SteadyClock::time_point start,
                              SteadyClock::time_point deadline, Answer answer) {
    Attempt attempt;
    attempt.addresses = std::move(addresses);
    attempt.start = start;
    attempt.deadline = deadline;
    attempt.answer = std::move(answer);
    add(std::move(attempt));
}

void HandshakeWaiter::connect(Name name, SteadyClock::time_point start, SteadyClock::time_point deadline,
                              Answer answer) {
    Attempt attempt;
    attempt.name = std::move(name);
    attempt.start = start;
    attempt.deadline = deadline;
    attempt.answer = std::move(answer);
    add(std::move(attempt));
}

void HandshakeWaiter::add(Attempt attempt) {
    {
        std::lock_guard lock(mutex_);
        incoming_.push_back(std::move(attempt));
    }
    // The thread may be asleep until the deadline of another attempt.
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
        if (attempt.begin())
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
        for (Attempt& attempt : attempts) {
            attempt.watch(watched);
            soonest = std::min(soonest, attempt.wakeAt());
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
        for (Attempt& attempt : attempts) {
            if (attempt.proceed(watched, now))
                waiting.push_back(std::move(attempt));
        }
        attempts.swap(waiting);
    }
}

} // namespace tessaron
