#pragma once

#include "platform/interface_addresses.hpp"

#include <QHostAddress>

namespace tessaron::testing {

// An interface list set by the test; none makes the enumeration fail.
class FakeInterfaceAddresses final : public InterfaceAddresses {
public:
    std::optional<QList<InterfaceAddress>> entries = QList<InterfaceAddress>{};

    std::optional<QList<InterfaceAddress>> list() const override { return entries; }

    // The entry of an address literal, in network byte order.
    static InterfaceAddress entry(const QString& literal) {
        const QHostAddress address(literal);
        const auto v6 = address.toIPv6Address();
        const QByteArray bytes(reinterpret_cast<const char*>(v6.c), 16);
        // An IPv4 address comes mapped into IPv6: its last four bytes.
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return {InterfaceAddress::Family::ipv4, bytes.right(4)};
        return {InterfaceAddress::Family::ipv6, bytes};
    }
};

} // namespace tessaron::testing
