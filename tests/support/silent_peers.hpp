#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <string>

namespace tessaron::testing {

// A listener that never completes a handshake: it accepts nothing and its queue is full, so the kernel
// drops new SYNs.
struct SilentListener {
    explicit SilentListener(const char* address) {
        server.setListenBacklogSize(0);
        server.listen(QHostAddress(QString::fromLatin1(address)));
        server.pauseAccepting();
        for (auto& filler : fillers)
            filler.connectToHost(server.serverAddress(), server.serverPort());
        QTest::qWait(50);
    }
    quint16 port() const { return server.serverPort(); }

    QTcpServer server;
    QTcpSocket fillers[2];
};

// A name server on loopback that reads nothing, so no question ever gets an answer; the resolver is
// pointed at it directly, whatever /etc/resolv.conf says.
struct SilentNameServer {
    SilentNameServer() { socket.bind(QHostAddress::LocalHost, 0); }
    std::string address() const { return "127.0.0.1:" + std::to_string(socket.localPort()); }

    QUdpSocket socket;
};

} // namespace tessaron::testing
