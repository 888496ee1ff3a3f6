#include "account/oauth_callback.hpp"
#include "app/instance_forwarder.hpp"
#include "app/opened_url_router.hpp"
#include "platform/linux_web_auth_session.hpp"
#include "support/fake_browser.hpp"
#include "support/qt_printers.hpp"
#include "support/run_task.hpp"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaron {
namespace {

using namespace std::chrono_literals;

// Starts of the real application, kept to this test's runtime and data folders.
class InstanceForwarderTest : public ::testing::Test {
protected:
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* folder : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            environment.insert(QString::fromLatin1(folder), home.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }
    std::unique_ptr<QProcess> startApp(const QStringList& arguments = {}) {
        auto app = std::make_unique<QProcess>();
        app->setProcessEnvironment(environment());
        app->start(QStringLiteral(TESSARON_APPLICATION), arguments);
        return app;
    }
    // "exit 0", or what else became of the process, with its error output.
    static std::string endOf(QProcess& app) {
        if (!app.waitForFinished(10'000))
            return "still running after 10 s";
        if (app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0)
            return "exit 0";
        return QStringLiteral("exit %1 (%2): %3")
            .arg(QString::number(app.exitCode()),
                 app.exitStatus() == QProcess::NormalExit ? "normal" : "crashed",
                 QString::fromLocal8Bit(app.readAllStandardError()))
            .toStdString();
    }
    QString socketFile() const { return home.filePath(QStringLiteral("tessaron-app.socket")); }

    QTemporaryDir home;
};

// The web sign-in's callback comes to a second start, which hands it over; later starts hand their links on
// to the invitation flow, and a start without one raises the instance.
TEST_F(InstanceForwarderTest, LaterStartsHandTheCallbackAndLinksToTheInstanceWhichRoutesThem) {
    InstanceForwarder instance(home.path());
    ASSERT_EQ(instance.start(std::nullopt), InstanceForwarder::Role::primary);
    EXPECT_EQ(QFile::permissions(socketFile()) & 0077, QFile::Permissions());
    LinuxWebAuthSession webSignIn;
    QList<QUrl> invitations;
    OpenedUrlRouter router(webSignIn, [&invitations](const QUrl& url) { invitations.append(url); });
    QObject::connect(&instance, &InstanceForwarder::urlOpened,
                     [&router](const QUrl& url) { router.open(url); });

    const QString callback = QStringLiteral("tessaron://auth/callback?code=c%2B1&state=s1");
    std::unique_ptr<QProcess> handing;
    // Opening the sign-in page ends, as the desktop does it, in a start of the app with the callback.
    testing::FakeBrowser browser([&] { handing = startApp({callback}); });
    const auto signedIn =
        testing::runTask(webSignIn.authorize(QUrl(QStringLiteral("https://accounts.test/authorize")),
                                             QStringLiteral("tessaron")),
                         10s);
    EXPECT_EQ(signedIn.callbackUrl, QUrl::fromEncoded(callback.toLatin1()));
    EXPECT_EQ(parseOAuthCallback(signedIn.callbackUrl).code, QStringLiteral("c+1")) << "decoded once, whole";
    EXPECT_EQ(endOf(*handing), "exit 0");

    const QString link = QStringLiteral("https://tessaron.app/i/abc?code=1");
    const QString ownLink = QStringLiteral("tessaron://connect?invite=abc");
    QSignalSpy raised(&instance, &InstanceForwarder::raiseRequested);
    QSignalSpy opened(&instance, &InstanceForwarder::urlOpened);
    for (const QStringList& arguments : {QStringList{link}, QStringList{ownLink}, QStringList{}}) {
        const auto later = startApp(arguments);
        ASSERT_TRUE(arguments.isEmpty() ? raised.wait(10'000) : opened.wait(10'000));
        EXPECT_EQ(endOf(*later), "exit 0");
    }
    EXPECT_EQ(invitations, (QList{QUrl(link), QUrl(ownLink)}));
    EXPECT_EQ(raised.size(), 1) << "no URL asks for a raise";
}

// Only a living instance holds the lock: neither what a crashed one left nor a lock file then emptied by a
// power loss or filled with garbage stops a start.
TEST_F(InstanceForwarderTest, NothingLeftBehindBlocksAStart) {
    const auto crashed = startApp();
    for (int tries = 0; tries < 100 && !QFile::exists(socketFile()); ++tries)
        crashed->waitForFinished(100);
    crashed->kill();
    crashed->waitForFinished();
    ASSERT_TRUE(QFile::exists(socketFile()));
    for (const auto& contents : {std::optional<QByteArray>(), std::optional(QByteArray()),
                                 std::optional(QByteArray("\xff\x00not a lock\n", 14))}) {
        QFile lock(home.filePath(QStringLiteral("tessaron-app.lock")));
        if (contents) {
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate) && lock.write(*contents) >= 0);
        }
        InstanceForwarder next(home.path());
        const QDeadlineTimer patience(1s);
        EXPECT_EQ(next.start(std::nullopt), InstanceForwarder::Role::primary)
            << contents.value_or("crashed").toStdString();
        EXPECT_FALSE(patience.hasExpired()) << "taken at once";
    }

    // Nor a process the instance started that outlives it, as the tunnel does: it never holds the lock.
    QProcess child;
    {
        InstanceForwarder holder(home.path());
        ASSERT_EQ(holder.start(std::nullopt), InstanceForwarder::Role::primary);
        child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(child.waitForStarted());
    }
    InstanceForwarder next(home.path());
    EXPECT_EQ(next.start(std::nullopt), InstanceForwarder::Role::primary);
    child.kill();
    child.waitForFinished();
}

// The living processes started as `program`; none in their last moments.
QList<pid_t> processesStartedAs(const QString& program) {
    QList<pid_t> found;
    for (const auto& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isProcess = false;
        const pid_t pid = entry.toInt(&isProcess);
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!isProcess || !command.open(QIODevice::ReadOnly))
            continue;
        const QByteArray first = command.readAll().split('\0').value(0);
        QFile status(QStringLiteral("/proc/%1/stat").arg(entry));
        const bool ending = !status.open(QIODevice::ReadOnly) || status.readAll().contains(") Z ");
        if (!ending && QFile::decodeName(first) == program)
            found.append(pid);
    }
    return found;
}

// Keeps `count` cores busy while it lives.
class Load {
public:
    explicit Load(int count) {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this] {
                while (!stop_.load())
                    ;
            });
    }
    ~Load() {
        stop_.store(true);
        for (auto& thread : threads_)
            thread.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// "Move to Applications" starts the copy and quits while it still holds the lock: the copy waits for the
// lock rather than hand its start to an instance that is ending, and is the one instance afterwards, on a
// loaded machine too.
TEST_F(InstanceForwarderTest, TheCopyAMoveStartsIsTheOneInstanceAfterIt) {
    QTemporaryDir places;
    const QString program = places.filePath(QStringLiteral("Downloads/Tessaron.app"));
    const QString applications = places.filePath(QStringLiteral("Applications"));
    ASSERT_TRUE(QDir().mkpath(program) && QDir().mkpath(applications));
    // The program linked rather than copied, as the move copies links as links.
    ASSERT_TRUE(QFile::link(QStringLiteral(TESSARON_APPLICATION), program + QStringLiteral("/tessaron")));
    const QString copy = applications + QStringLiteral("/Tessaron.app/tessaron");
    const Load load(4);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        QProcess mover;
        mover.setProcessEnvironment(environment());
        // The copy writes where the mover did: pipes closed with the mover would end it.
        mover.setProcessChannelMode(QProcess::ForwardedChannels);
        mover.start(QStringLiteral(TESSARON_MOVE_CHILD), {home.path(), program, applications});
        ASSERT_TRUE(mover.waitForFinished(30'000));
        EXPECT_EQ(mover.exitCode(), 0);
        // The copy serves once the mover is gone; a later start then hands its raise to it.
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socketFile()); }, 20'000));
        InstanceForwarder later(home.path());
        EXPECT_EQ(later.start(std::nullopt), InstanceForwarder::Role::handedOver);
        const auto copies = processesStartedAs(copy);
        EXPECT_EQ(copies.size(), 1);
        for (const pid_t pid : copies)
            ::kill(pid, SIGKILL);
        ASSERT_TRUE(QTest::qWaitFor([&] { return processesStartedAs(copy).isEmpty(); }, 10'000));
        // What the killed copy left would pass for the next copy's socket.
        QFile::remove(socketFile());
        ASSERT_TRUE(QDir(applications + QStringLiteral("/Tessaron.app")).removeRecursively());
    }
}

// Another user who could write to the folder could take the lock or the socket's name first: the
// instance claims its folder as the tunnel does (which pins the folder rules), and never at the root.
TEST_F(InstanceForwarderTest, TheInstanceLivesOnlyInAFolderOfThisUsersAlone) {
    const auto folder = home.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkdir(folder) && ::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
    InstanceForwarder instance(folder);
    EXPECT_EQ(instance.start(std::nullopt), InstanceForwarder::Role::failed);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/tessaron-app.lock")));

    // Nor does the lock follow a link planted at its name.
    const auto linked = home.filePath(QStringLiteral("linked"));
    const auto target = home.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(::mkdir(QFile::encodeName(linked).constData(), 0700) == 0 &&
                QFile::link(target, linked + QStringLiteral("/tessaron-app.lock")));
    EXPECT_EQ(InstanceForwarder(linked).start(std::nullopt), InstanceForwarder::Role::failed);
    EXPECT_FALSE(QFile::exists(target));

    const auto runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceForwarder::defaultFolder(),
              QDir::tempPath() + QStringLiteral("/tessaron-%1").arg(::getuid()));
    qputenv("XDG_RUNTIME_DIR", runtime);
}

// What the instance answers `line` from a process of `user`: "ok\n", nothing, or "not connected".
// Nothing but system calls runs between fork and exit; this thread serves meanwhile.
QByteArray answerFrom(uid_t user, const QString& socketPath, const QByteArray& line) {
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(), sizeof address.sun_path - 1);
    const pid_t child = ::fork();
    if (child == 0) {
        const int peer = ::socket(AF_UNIX, SOCK_STREAM, 0);
        char reply[3] = {};
        if (::syscall(SYS_setuid, user) != 0 ||
            ::connect(peer, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(2);
        ::send(peer, line.constData(), size_t(line.size()), MSG_NOSIGNAL);
        ::_exit(::recv(peer, reply, sizeof reply, MSG_WAITALL) == 3 && std::memcmp(reply, "ok\n", 3) == 0
                    ? 0
                    : 1);
    }
    int status = 0;
    if (!QTest::qWaitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 10'000) ||
        !WIFEXITED(status))
        return "still waiting";
    return QList<QByteArray>{"ok\n", "", "not connected"}.value(WEXITSTATUS(status));
}

// The instance answers "ok" only to a whole line of this user's that it acts on, and acts on nothing else.
TEST_F(InstanceForwarderTest, OnlyAWholeLineOfThisUsersThatItTakesIsAnsweredAndActedOn) {
    InstanceForwarder instance(home.path());
    ASSERT_EQ(instance.start(std::nullopt), InstanceForwarder::Role::primary);
    QSignalSpy raised(&instance, &InstanceForwarder::raiseRequested);
    QSignalSpy opened(&instance, &InstanceForwarder::urlOpened);
    // Looser modes let another user connect; only root can start a process of another user.
    ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(socketFile()).constData(), 0777), 0);
    const uid_t self = ::getuid(), nobody = 65534;
    const std::tuple<const char*, uid_t, QByteArray, QByteArray> cases[] = {
        {"this user's raise", self, "raise\n", "ok\n"},
        {"a script", self, "open javascript:alert(1)\n", ""},
        {"a line over the limit", self, "open https://tessaron.app/i/" + QByteArray(100'000, 'a') + "\n", ""},
        {"another user's raise", nobody, "raise\n", ""},
    };
    for (const auto& [request, user, line, answer] : cases) {
        if (user != self && self != 0)
            continue;
        SCOPED_TRACE(request);
        const qsizetype before = raised.size() + opened.size();
        EXPECT_EQ(answerFrom(user, socketFile(), line), answer);
        QCoreApplication::processEvents();
        EXPECT_EQ(raised.size() + opened.size() - before, answer.isEmpty() ? 0 : 1);
    }
}

// A later start that asks in a thread of its own while this thread serves, as a second process would.
InstanceForwarder::Role startBeside(const QString& folder, const std::optional<QUrl>& url,
                                    const std::function<void()>& meanwhile = {}) {
    std::atomic<bool> done{false};
    auto role = InstanceForwarder::Role::failed;
    std::thread later([&] {
        InstanceForwarder forwarder(folder);
        role = forwarder.start(url);
        done.store(true);
    });
    if (meanwhile)
        meanwhile();
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 30'000));
    later.join();
    return role;
}

// A refused request is answered "no", so the start fails at once instead of waiting out its patience; an
// instance that has begun to quit serves nothing new, and the start waits for its lock to become the
// instance.
TEST_F(InstanceForwarderTest, ARefusalEndsALaterStartAtOnceAndAQuittingInstanceServesNothingNew) {
    auto instance = std::make_unique<InstanceForwarder>(home.path());
    ASSERT_EQ(instance->start(std::nullopt), InstanceForwarder::Role::primary);
    QSignalSpy opened(instance.get(), &InstanceForwarder::urlOpened);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(startBeside(home.path(), QUrl(QStringLiteral("javascript:alert(1)"))),
              InstanceForwarder::Role::failed);
    EXPECT_LT(elapsed.elapsed(), 5'000) << "the refusal was not heard";

    ASSERT_TRUE(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection));
    const QUrl link(QStringLiteral("https://tessaron.app/i/abc?code=1"));
    // The quitting instance ends a second later and lets go of its lock.
    const auto role = startBeside(home.path(), link, [&] {
        QTest::qWait(1'000);
        instance.reset();
    });
    EXPECT_EQ(std::tuple(role, opened.size()), std::tuple(InstanceForwarder::Role::primary, 0));
}

} // namespace
} // namespace tessaron
