#pragma once

#include "platform/interface_addresses.hpp"

namespace tessaron {

// The interface list of the C library (getifaddrs).
class LinuxInterfaceAddresses final : public InterfaceAddresses {
public:
    std::optional<QList<InterfaceAddress>> list() const override;
};

} // namespace tessaron
