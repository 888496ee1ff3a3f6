#include "platform/linux_path_monitor.hpp"

#include <QFile>
#include <QSocketNotifier>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/route.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace tessaron {

namespace {

const QString loopbackInterface = QStringLiteral("lo");

QString readProcFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll());
}

bool isUsableDefault(unsigned flags, const QString& interface) {
    return (flags & RTF_UP) != 0 && (flags & RTF_REJECT) == 0 && interface != loopbackInterface;
}

// Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask …, after one header line.
bool hasIpv4Default(const QString& table) {
    const auto lines = table.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const auto columns = lines[i].split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (columns.size() < 8)
            continue;
        bool flagsRead = false;
        const auto flags = columns[3].trimmed().toUInt(&flagsRead, 16);
        const auto destination = columns[1].trimmed();
        const auto mask = columns[7].trimmed();
        if (flagsRead && destination == QLatin1String("00000000") && mask == QLatin1String("00000000") &&
            isUsableDefault(flags, columns[0].trimmed()))
            return true;
    }
    return false;
}

// Columns: destination, prefix length, source, source prefix length, next hop, metric, reference count,
// use count, flags, interface; no header.
bool hasIpv6Default(const QString& table) {
    const QString anyAddress(32, QLatin1Char('0'));
    const auto lines = table.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const auto& line : lines) {
        const auto columns = line.simplified().split(QLatin1Char(' '));
        if (columns.size() < 10)
            continue;
        bool flagsRead = false;
        const auto flags = columns[8].toUInt(&flagsRead, 16);
        if (flagsRead && columns[0] == anyAddress && columns[1] == QLatin1String("00") &&
            isUsableDefault(flags, columns[9]))
            return true;
    }
    return false;
}

} // namespace

LinuxPathMonitor::LinuxPathMonitor(QObject* parent)
    : QObject(parent) {}

LinuxPathMonitor::~LinuxPathMonitor() {
    if (netlink_ >= 0)
        ::close(netlink_);
}

PathMonitor::Factory LinuxPathMonitor::factory() {
    return [] {
        return std::make_unique<LinuxPathMonitor>();
    };
}

bool LinuxPathMonitor::hasDefaultRoute(const QString& ipv4Routes, const QString& ipv6Routes) {
    return hasIpv4Default(ipv4Routes) || hasIpv6Default(ipv6Routes);
}

void LinuxPathMonitor::start(UpdateHandler onUpdate) {
    if (onUpdate_)
        return;
    onUpdate_ = std::move(onUpdate);
    // Subscribe before the first reading, so that no change between the two goes unseen.
    openNetlink();
    report();
}

void LinuxPathMonitor::openNetlink() {
    const int socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (socket < 0)
        return;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups =
        RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        return;
    }
    netlink_ = socket;
    notifier_ = new QSocketNotifier(netlink_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        drainNetlink();
        report();
    });
}

// The messages only say that something changed; the tables are read again as a whole.
void LinuxPathMonitor::drainNetlink() {
    std::array<char, 8192> buffer{};
    while (::recv(netlink_, buffer.data(), buffer.size(), 0) > 0) {
    }
}

void LinuxPathMonitor::report() {
    const auto status = hasDefaultRoute(readProcFile(QStringLiteral("/proc/net/route")),
                                        readProcFile(QStringLiteral("/proc/net/ipv6_route")))
                            ? Status::satisfied
                            : Status::unsatisfied;
    if (reported_ && status == last_)
        return;
    reported_ = true;
    last_ = status;
    onUpdate_(status);
}

} // namespace tessaron
