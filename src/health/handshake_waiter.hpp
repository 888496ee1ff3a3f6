#pragma once

#include "health/socket_address.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tessaron {

// Looks up the names and waits for the TCP handshakes of every measurement in flight, on one thread of its
// own. A thread per waiting lookup or handshake would take one for each node of a round, and every thread a
// process starts leaves its stack and its heap arena behind: about 30 KB for each node of the list, kept for
// the rest of the run. A thread shared by blocking lookups would make every name wait behind one that never
// resolves. The thread is never joined: a process ends at once, whatever lookups still wait.
class HandshakeWaiter final {
public:
    using SteadyClock = std::chrono::steady_clock;
    // Given the milliseconds from the start to the first ready connection, or none when the name did not
    // resolve, every address was refused or the deadline passed first. Called on the waiter's thread.
    using Answer = std::function<void(std::optional<int>)>;

    struct Name {
        std::string host;
        int port = 0;
        // "address:port" separated by commas; the system's name servers when empty.
        std::string nameServers;
    };

    static HandshakeWaiter& shared();

    // Tries the addresses in their order until one connects.
    void connect(SocketAddresses addresses, SteadyClock::time_point start, SteadyClock::time_point deadline,
                 Answer answer);
    // Looks the name up, then tries its addresses in the resolver's order. A lookup still waiting at the
    // deadline is dropped with everything it holds.
    void connect(Name name, SteadyClock::time_point start, SteadyClock::time_point deadline, Answer answer);

private:
    struct Attempt;
    HandshakeWaiter();
    void add(Attempt attempt);
    void run();
    void takeIncoming(std::vector<Attempt>& attempts);

    int wake_;
    std::mutex mutex_;
    std::vector<Attempt> incoming_;
};

} // namespace tessaron
