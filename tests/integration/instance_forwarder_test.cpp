#include "app/instance_forwarder.hpp"
#include "app/opened_url_router.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "platform/system_log.hpp"
#include "support/run_task.hpp"

#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
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

// The browser of the test: opening the sign-in page starts what it ends with, a process with the callback.
class CallbackBrowser : public QObject {
    Q_OBJECT
public:
    explicit CallbackBrowser(std::function<void()> onOpen)
        : onOpen_(std::move(onOpen)) {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
    }
    ~CallbackBrowser() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

public Q_SLOTS:
    void open(const QUrl&) { onOpen_(); }

private:
    std::function<void()> onOpen_;
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

TEST_F(InstanceForwarderTest, AWebSignInEndsWithTheCallbackThatAnotherProcessHandsOver) {
    InstanceForwarder instance(runtime.path());
    ASSERT_EQ(instance.start(std::nullopt), InstanceForwarder::Role::primary);
    LinuxWebAuthSession webSignIn;
    QList<QUrl> invitations;
    OpenedUrlRouter router(webSignIn, [&invitations](const QUrl& url) { invitations.append(url); });
    QObject::connect(&instance, &InstanceForwarder::urlOpened,
                     [&router](const QUrl& url) { router.open(url); });

    const QString callback = QStringLiteral("tessaron://auth/callback?code=c%2B1&state=s1");
    std::unique_ptr<Peer> handing;
    CallbackBrowser browser([&] { handing = start({callback}); });
    const auto result =
        testing::runTask(webSignIn.authorize(QUrl(QStringLiteral("https://accounts.test/authorize")),
                                             QStringLiteral("tessaron")),
                         10s);
    EXPECT_EQ(result.outcome, WebAuthSession::Outcome::callback);
    EXPECT_EQ(result.callbackUrl, QUrl::fromEncoded(callback.toLatin1()));
    ASSERT_TRUE(handing);
    EXPECT_EQ(handing->awaitExit(), 0);

    // The same callback once more finds no sign-in waiting: it is dropped, not taken for an invitation.
    const SystemLog::Capture log;
    QSignalSpy received(&instance, &InstanceForwarder::urlOpened);
    const auto late = start({callback});
    ASSERT_TRUE(received.wait(10'000));
    EXPECT_TRUE(invitations.isEmpty());
    EXPECT_EQ(log.messages(), QStringList{QStringLiteral("sign-in callback dropped: no sign-in is waiting")});
}

} // namespace
} // namespace tessaron

#include "instance_forwarder_test.moc"
