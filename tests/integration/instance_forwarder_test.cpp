#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tessaron {
namespace {

using namespace std::chrono_literals;

// One start of the application's stand-in, with the stdout lines it printed.
class Peer {
public:
    Peer(const QString& runtimeFolder, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(TESSARON_FORWARDER_PEER), arguments);
    }
    ~Peer() {
        process_.kill();
        process_.waitForFinished();
    }

    bool awaitLine(const QByteArray& line) {
        const QDeadlineTimer deadline(10s);
        while (!lines().contains(line)) {
            if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
                return lines().contains(line);
        }
        return true;
    }
    // Waits until it exits or serves as the instance.
    void awaitSettled() {
        const QDeadlineTimer deadline(10s);
        while (process_.state() != QProcess::NotRunning && !lines().contains("primary") &&
               !deadline.hasExpired())
            process_.waitForReadyRead(50);
    }
    // The exit code once it ended by itself within a few seconds, else -1.
    int awaitExit() {
        process_.waitForFinished(10'000);
        if (process_.state() != QProcess::NotRunning || process_.exitStatus() != QProcess::NormalExit)
            return -1;
        return process_.exitCode();
    }
    QByteArrayList lines() {
        output_ += process_.readAllStandardOutput();
        return output_.split('\n');
    }
    void crash() {
        process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    QByteArray output_;
};

class InstanceForwarderTest : public ::testing::Test {
protected:
    std::unique_ptr<Peer> start(const QStringList& arguments = {}) {
        return std::make_unique<Peer>(runtime.path(), arguments);
    }
    QString socketFile() const { return runtime.filePath(QStringLiteral("tessaron-app.socket")); }

    QTemporaryDir runtime;
};

TEST_F(InstanceForwarderTest, ALaterStartHandsItsRequestToTheRunningInstanceAndExits) {
    const auto first = start();
    ASSERT_TRUE(first->awaitLine("primary"));
    EXPECT_EQ(QFile::permissions(socketFile()) &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions());

    const QByteArrayList urls = {"tessaron://auth/callback?code=c%2B1&state=s%20t",
                                 "https://tessaron.app/i/abc?from=mail"};
    for (const QByteArray& url : urls) {
        SCOPED_TRACE(url.toStdString());
        const auto later = start({QString::fromLatin1(url)});
        EXPECT_EQ(later->awaitExit(), 0);
        EXPECT_FALSE(later->lines().contains("primary"));
        EXPECT_TRUE(first->awaitLine("open " + url));
    }
    const auto bare = start();
    EXPECT_EQ(bare->awaitExit(), 0);
    EXPECT_TRUE(first->awaitLine("raise"));
}

TEST_F(InstanceForwarderTest, SimultaneousStartsAgreeOnOneInstance) {
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < 4; ++i)
        peers.push_back(start({QStringLiteral("tessaron://join?code=%1").arg(i)}));
    Peer* primary = nullptr;
    int handedOver = 0;
    int ownCode = -1;
    for (int i = 0; i < 4; ++i) {
        peers[i]->awaitSettled();
        if (peers[i]->lines().contains("primary")) {
            EXPECT_EQ(primary, nullptr) << "two instances";
            primary = peers[i].get();
            ownCode = i;
        } else if (peers[i]->awaitExit() == 0) {
            ++handedOver;
        }
    }
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(handedOver, 3);
    for (int i = 0; i < 4; ++i) {
        if (i != ownCode) {
            EXPECT_TRUE(primary->awaitLine("open tessaron://join?code=" + QByteArray::number(i))) << i;
        }
    }
}

TEST_F(InstanceForwarderTest, ACrashedInstanceIsReplaced) {
    const auto crashed = start();
    ASSERT_TRUE(crashed->awaitLine("primary"));
    crashed->crash();
    ASSERT_TRUE(QFile::exists(socketFile()));

    const auto next = start({QStringLiteral("tessaron://join?code=1")});
    ASSERT_TRUE(next->awaitLine("primary"));
    const auto later = start();
    EXPECT_EQ(later->awaitExit(), 0);
    EXPECT_TRUE(next->awaitLine("raise"));
}

} // namespace
} // namespace tessaron
