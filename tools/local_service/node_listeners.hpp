#pragma once

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace tessaron::local_service {

// Plain TCP listeners on the seeded nodes' addresses, so latency probes and the tunnel stand-in find a
// server there. Each connection is held open until the peer closes it; whatever it sends is discarded.
class NodeListeners {
public:
    // An address that cannot be bound is reported on stderr and left out (listeningCount() tells).
    NodeListeners(const std::vector<std::string>& addresses, int port);
    ~NodeListeners();
    NodeListeners(const NodeListeners&) = delete;
    NodeListeners& operator=(const NodeListeners&) = delete;

    std::size_t listeningCount() const { return listeners_.size(); }

private:
    void serve();
    void acceptOn(int listener);
    // False once the peer has closed or failed, after the connection was closed here.
    bool drain(int connection);

    std::vector<int> listeners_;
    std::vector<int> connections_;
    // Written to by the destructor to wake the serving thread.
    int wake_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace tessaron::local_service
