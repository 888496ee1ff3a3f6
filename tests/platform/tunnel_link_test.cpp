#include "platform/address_sanitizer.hpp"
#include "platform/tunnel_channel.hpp"
#include "platform/tunnel_client.hpp"
#include "support/manual_clock.hpp"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUuid>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <tuple>

// Counts the process's allocations of a megabyte or more while armed. Under AddressSanitizer its allocator
// reports each one through a hook; elsewhere every library's malloc and realloc resolve to ours.
namespace {
std::atomic<bool> countingLargeAllocations = false;
std::atomic<int> largeAllocations = 0;
void noteAllocation(std::size_t size) {
    largeAllocations += countingLargeAllocations && size >= (std::size_t(1) << 20) ? 1 : 0;
}
} // namespace

#ifdef TESSARON_ADDRESS_SANITIZER
#include <sanitizer/allocator_interface.h>

namespace {
[[maybe_unused]] const bool hooked = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, std::size_t size) { noteAllocation(size); }, [](const volatile void*) {});
} // namespace
#else
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_realloc(void* pointer, std::size_t size);
extern "C" void* malloc(std::size_t size) {
    noteAllocation(size);
    return __libc_malloc(size);
}
extern "C" void* realloc(void* pointer, std::size_t size) {
    noteAllocation(size);
    return __libc_realloc(pointer, size);
}
#endif

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& condition) {
    QElapsedTimer guard;
    guard.start();
    while (!condition() && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return condition();
}

// A stand-in tunnel on a private socket: it greets every application that attaches with its state.
class TunnelLinkTest : public ::testing::Test {
protected:
    void SetUp() override { listen(); }

    void listen() {
        ASSERT_TRUE(server.listen(socketName));
        QObject::connect(&server, &QLocalServer::newConnection, [this] {
            while (auto* peer = server.nextPendingConnection()) {
                ++attachments;
                peers.append(peer);
                peer->write(R"({"kind":"status","status":"connected"})"
                            "\n");
            }
        });
    }

    // The far end of a channel, for feeding it raw bytes. Returned once the channel has read the stand-in's
    // greeting: the next message it reads is the test's own, however late the greeting came.
    QLocalSocket* channelPeer(TunnelChannel*& channel) {
        auto* socket = new QLocalSocket;
        socket->connectToServer(socketName);
        channel = new TunnelChannel(socket);
        bool greeted = false;
        const auto greeting =
            QObject::connect(channel, &TunnelChannel::received, [&greeted] { greeted = true; });
        EXPECT_TRUE(waitFor([&] { return greeted; }));
        QObject::disconnect(greeting);
        auto* peer = peers.takeLast();
        peer->readAll();
        return peer;
    }

    const QString socketName =
        QStringLiteral("tessaron-link-test-") + QUuid::createUuid().toString(QUuid::Id128);
    QLocalServer server;
    QList<QLocalSocket*> peers;
    int attachments = 0;
    ManualClock clock;
};

TEST_F(TunnelLinkTest, ADetachedClientLooksEveryFewSecondsAnAttachedOneSetsNoTimerAndAttachesAgainAtOnce) {
    server.close();
    TunnelClient client({socketName, QString()}, clock);
    ASSERT_TRUE(waitFor([&] { return clock.pendingCount() == 1u; })) << "the look poll runs while detached";
    listen();
    clock.advance(TunnelClient::lookInterval - 1ms);
    QCoreApplication::processEvents();
    EXPECT_EQ(attachments, 0);
    clock.advance(1ms + TunnelClient::lookTolerance);
    ASSERT_TRUE(waitFor([&] { return client.isAttached(); }));

    clock.advance(10min);
    EXPECT_EQ(clock.pendingCount(), 0u) << "nothing may wake an idle, attached client";
    EXPECT_EQ(attachments, 1);
    peers.takeLast()->disconnectFromServer();
    EXPECT_TRUE(waitFor([&] { return attachments == 2 && client.isAttached(); }))
        << "a dropped link is attached again without waiting for a look";
    EXPECT_EQ(clock.pendingCount(), 0u);
}

// Each message is read without a line-sized buffer: nothing but the overlong line itself allocates a
// megabyte.
TEST_F(TunnelLinkTest, AChannelReassemblesSplitLinesAndClosesOnGarbageOrAnOverlongLine) {
    const QByteArray overlong(TunnelChannel::maximumLineBytes + 1, ' ');
    const std::tuple<QList<QByteArray>, int, bool> cases[] = {
        {{"{\"a\"", ":1}\n{\"b\"", ":2}\n"}, 2, false},
        {QList<QByteArray>(20, "{}\n"), 20, false},
        {{"{\"a\":1}\n[1]\n{\"b\":2}\n"}, 1, true},
        {{overlong}, 0, true},
    };
    for (const auto& [writes, expectedMessages, closes] : cases) {
        TunnelChannel* channel = nullptr;
        auto* peer = channelPeer(channel);
        int messages = 0;
        bool closed = false;
        QObject::connect(channel, &TunnelChannel::received, [&] { ++messages; });
        QObject::connect(channel, &TunnelChannel::closed, [&] { closed = true; });
        countingLargeAllocations = !writes.contains(overlong);
        for (const auto& bytes : writes) {
            peer->write(bytes);
            waitFor([&] { return peer->bytesToWrite() == 0; });
            QCoreApplication::processEvents();
        }
        waitFor([&] { return closed == closes && messages == expectedMessages; });
        countingLargeAllocations = false;
        EXPECT_EQ(std::pair(messages, closed), std::pair(expectedMessages, closes))
            << writes.first().left(20).data();
        delete channel;
    }
    EXPECT_EQ(largeAllocations, 0);
}

} // namespace
} // namespace tessaron::testing
