#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace tessaron {

// One entry of the machine's interface address list. An interface appears once per address, and may
// appear with no address or with an address of a family that is neither IPv4 nor IPv6.
struct InterfaceAddress {
    enum class Family { none, ipv4, ipv6, other };

    Family family = Family::none;
    // Network byte order: 4 bytes for IPv4, 16 for IPv6, empty otherwise.
    QByteArray bytes;

    bool operator==(const InterfaceAddress&) const = default;
};

// The addresses of this machine's own network interfaces, loopback included.
class InterfaceAddresses {
public:
    virtual ~InterfaceAddresses() = default;

    // None when the system cannot enumerate its interfaces.
    virtual std::optional<QList<InterfaceAddress>> list() const = 0;
};

} // namespace tessaron
