#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct addrinfo;

namespace tessaron {

// Waits for the TCP handshakes of every measurement in flight on one thread of its own. A thread per waiting
// handshake would take one for each node of a round, and every thread a process starts leaves its stack and
// its heap arena behind: about 30 KB for each node of the list, kept for the rest of the run.
class HandshakeWaiter final {
public:
    using SteadyClock = std::chrono::steady_clock;
    // Given the milliseconds from the start to the first ready connection, or none when every address was
    // refused or the deadline passed first. Called on the waiter's thread.
    using Answer = std::function<void(std::optional<int>)>;

    static HandshakeWaiter& shared();

    // Tries the addresses in their order until one connects; takes them over (freed once answered).
    void connect(addrinfo* addresses, SteadyClock::time_point start, SteadyClock::time_point deadline,
                 Answer answer);

private:
    struct Attempt;
    HandshakeWaiter();
    void run();
    void takeIncoming(std::vector<Attempt>& attempts);

    int wake_;
    std::mutex mutex_;
    std::vector<Attempt> incoming_;
};

} // namespace tessaron
