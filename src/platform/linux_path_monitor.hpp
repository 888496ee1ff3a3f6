#pragma once

#include "platform/path_monitor.hpp"

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace tessaron {

// A path counts as satisfied while the main routing table holds a default route (IPv4 or IPv6) that is
// up, not a reject route and not on the loopback interface: then connections to the internet can be
// attempted, whether or not they will succeed. Route and link changes arrive over rtnetlink; each one
// re-reads the tables. Without rtnetlink the first report is the only one.
class LinuxPathMonitor final : public QObject, public PathMonitor {
    Q_OBJECT
public:
    explicit LinuxPathMonitor(QObject* parent = nullptr);
    ~LinuxPathMonitor() override;

    static Factory factory();

    void start(UpdateHandler onUpdate) override;

    // The rules above over the text of /proc/net/route and /proc/net/ipv6_route.
    static bool hasDefaultRoute(const QString& ipv4Routes, const QString& ipv6Routes);

private:
    void openNetlink();
    void drainNetlink();
    void report();

    UpdateHandler onUpdate_;
    int netlink_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    bool reported_ = false;
    Status last_ = Status::unsatisfied;
};

} // namespace tessaron
