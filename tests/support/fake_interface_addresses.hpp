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
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            const quint32 value = address.toIPv4Address();
            const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
            return {InterfaceAddress::Family::ipv4, QByteArray(bytes, 4)};
        }
        const auto v6 = address.toIPv6Address();
        return {InterfaceAddress::Family::ipv6, QByteArray(reinterpret_cast<const char*>(v6.c), 16)};
    }
};

} // namespace tessaron::testing
