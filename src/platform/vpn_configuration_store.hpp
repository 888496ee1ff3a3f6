#pragma once

#include "platform/tunnel_provider_manager.hpp"

#include <QList>
#include <QString>

#include <functional>

namespace tessaron {

class Clock;

// The VPN configurations of this user, kept in one JSON file. Several application instances may share
// it: a change reads the file afresh under a lock that they all honour, and the file is replaced
// atomically, so a reader sees either the old list or the new one.
//
// A file that cannot be understood is kept aside as "<name>.damaged-<UTC stamp>" and the list starts
// empty: the application writes its configuration again at the next connect.
class VpnConfigurationStore {
public:
    // `clock` stamps the name a damaged file is kept under.
    VpnConfigurationStore(QString path, const Clock& clock);

    // "<XDG config>/tessaron/vpn-configurations.json".
    static QString defaultPath();

    const QString& path() const { return path_; }

    // Throws VpnError configurationReadWriteFailed when the file is there but cannot be read.
    QList<TunnelProviderManager> load() const;
    // Applies `change` to the stored list and writes the result. Throws VpnError
    // configurationReadWriteFailed, and then nothing is written.
    void update(const std::function<void(QList<TunnelProviderManager>&)>& change);

private:
    void keepDamagedFileAside() const;

    QString path_;
    const Clock& clock_;
};

} // namespace tessaron
