#include "updates/crash_reporter.hpp"
#include "updates/crash_spool.hpp"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <unistd.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

TessaronCrashReport reportAt(int second) {
    TessaronCrashReport report;
    report.id = QUuid::createUuid();
    report.platform = QStringLiteral("macos");
    report.installationID = QUuid::createUuid();
    report.crashedAt = QStringLiteral("2026-01-01T00:00:%1Z").arg(second, 2, 10, QChar(u'0'));
    return report;
}

QList<TessaronCrashReport> reports(int count, int firstSecond = 0) {
    QList<TessaronCrashReport> made;
    for (int i = 0; i < count; ++i)
        made.append(reportAt(firstSecond + i));
    return made;
}

// Hands batches to the pipeline when the test says so.
class ManualSource final : public TessaronCrashReportSource {
public:
    void start(Deliver deliver) override {
        std::lock_guard guard(lock);
        ++starts;
        handler = std::move(deliver);
    }
    void deliver(QList<TessaronCrashReport> batch) {
        Deliver current;
        {
            std::lock_guard guard(lock);
            current = handler;
        }
        current(std::move(batch));
    }

    std::mutex lock;
    int starts = 0;
    Deliver handler;
};

// Answers with `accept`; while `held`, an upload waits until the test lets it go.
class ScriptedUploader final : public TessaronCrashReportUploader {
public:
    struct Script {
        std::mutex lock;
        std::condition_variable changed;
        bool accept = true;
        bool held = false;
        int waiting = 0;
        int running = 0;
        int mostAtOnce = 0;
        QList<QUuid> uploaded;
        std::function<void()> onUpload;
    };

    explicit ScriptedUploader(std::shared_ptr<Script> script)
        : script_(std::move(script)) {}

    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken) override {
        std::unique_lock guard(script_->lock);
        script_->mostAtOnce = std::max(script_->mostAtOnce, ++script_->running);
        ++script_->waiting;
        script_->changed.notify_all();
        script_->changed.wait(guard, [this] { return !script_->held; });
        --script_->waiting;
        if (script_->onUpload)
            script_->onUpload();
        script_->uploaded.append(report.id);
        --script_->running;
        co_return script_->accept;
    }

private:
    std::shared_ptr<Script> script_;
};

class CrashPipelineTest : public ::testing::Test {
protected:
    CrashReportingParts parts() {
        return {
            .environment = QProcessEnvironment(),
            .source = source,
            .uploader = [script = script] { return std::make_unique<ScriptedUploader>(script); },
            .store = store,
        };
    }
    void settle() { ASSERT_TRUE(reporter.waitForIdle(5s)); }
    qsizetype uploads() {
        std::lock_guard guard(script->lock);
        return script->uploaded.size();
    }
    void hold(bool held) {
        std::lock_guard guard(script->lock);
        script->held = held;
        script->changed.notify_all();
    }
    void awaitWaitingUpload() {
        std::unique_lock guard(script->lock);
        ASSERT_TRUE(script->changed.wait_for(guard, 5s, [this] { return script->waiting > 0; }));
    }

    QTemporaryDir folder;
    std::shared_ptr<FileCrashReportStore> store = std::make_shared<FileCrashReportStore>(folder.path());
    std::shared_ptr<ManualSource> source = std::make_shared<ManualSource>();
    std::shared_ptr<ScriptedUploader::Script> script = std::make_shared<ScriptedUploader::Script>();
    TessaronCrashReporter reporter;
};

TEST_F(CrashPipelineTest, TheTestHarnessVariableSuppressesEverything) {
    for (const auto& report : reports(3))
        store->save(report);
    auto suppressed = parts();
    suppressed.environment->insert(TessaronCrashReporter::testHarnessVariable, QString());
    reporter.start(suppressed);
    settle();
    EXPECT_EQ(source->starts, 0);
    EXPECT_EQ(uploads(), 0);
    EXPECT_EQ(store->loadAll().size(), 3);
}

TEST_F(CrashPipelineTest, DeletesDeliveredReportsAndOffersRefusedOnesAtTheNextDrain) {
    for (const auto& report : reports(3))
        store->save(report);
    script->accept = false;
    reporter.start(parts());
    settle();
    EXPECT_EQ(uploads(), 3);
    EXPECT_EQ(store->loadAll().size(), 3);

    // A second start builds nothing new: the source stays subscribed once, and the stored reports go again.
    script->accept = true;
    reporter.start(parts());
    settle();
    EXPECT_EQ(source->starts, 1);
    EXPECT_EQ(uploads(), 6);
    EXPECT_TRUE(store->loadAll().isEmpty());
}

TEST_F(CrashPipelineTest, ABatchWaitsForTheRunningStepAndUploadsGoOneAtATime) {
    for (const auto& report : reports(2))
        store->save(report);
    hold(true);
    reporter.start(parts());
    awaitWaitingUpload();
    source->deliver(reports(2, 30));
    // The batch is not even saved while the activation step uploads.
    EXPECT_EQ(store->loadAll().size(), 2);
    hold(false);
    settle();
    EXPECT_EQ(uploads(), 4);
    EXPECT_EQ(script->mostAtOnce, 1);
    EXPECT_TRUE(store->loadAll().isEmpty());
}

TEST_F(CrashPipelineTest, ABatchOfTwentyFiveIsPrunedToTwentyBeforeItsDrain) {
    reporter.start(parts());
    settle();
    qsizetype storedAtFirstUpload = -1;
    script->onUpload = [&] {
        if (storedAtFirstUpload < 0)
            storedAtFirstUpload = QDir(folder.path()).entryList({QStringLiteral("*.json")}).size();
    };
    source->deliver(reports(25));
    settle();
    EXPECT_EQ(storedAtFirstUpload, 20);
    EXPECT_EQ(uploads(), 20);
}

// Spools as a crashed process leaves them, read by the production source.
class SpoolSourceTest : public ::testing::Test {
protected:
    void writeSpool(const QString& name, const QByteArray& body) {
        QFile file(QDir(folder.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body);
    }
    QList<QList<TessaronCrashReport>> startSource() {
        QList<QList<TessaronCrashReport>> batches;
        SpoolCrashSource spoolSource(folder.path(), context);
        spoolSource.start([&](QList<TessaronCrashReport> batch) { batches.append(batch); });
        return batches;
    }

    QTemporaryDir folder;
    CrashReportContext context{
        .bundle = BundleInfo({{"CFBundleShortVersionString", "1.4.0"}, {"CFBundleVersion", "140"}}, {}),
        .installationID =
            [] { return QUuid::fromString(QStringLiteral("7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f")); },
        .osVersion = QStringLiteral("fallback os"),
        .hardwareModel = QStringLiteral("fallback model"),
    };
};

QByteArray spool(int signal, qint64 time, const QByteArray& extra = {}, bool complete = true) {
    const QString home = QDir::homePath();
    QByteArray body = crash_spool::header;
    body += "signal " + QByteArray::number(signal) + "\ncode -6\ntime " + QByteArray::number(time) + "\n";
    body += "version 1.3.9\nbuild 139\nos Debian GNU/Linux 12 (bookworm)\narch x86_64\nmodel Standard PC\n";
    body += extra;
    body += "frame 0x55d0c0001234\nframe 0x7f0000002010\nframe 0x10\nmaps\n";
    body += "55d0c0000000-55d0c0010000 r-xp 00001000 08:01 42 " + home.toUtf8() +
            "/.local/opt/tessaron/tessaron\n";
    body += "7f0000000000-7f0000004000 r-xp 00000000 08:01 43 /home/alice/lib/libcrashy.so\n";
    body += "7ffc00000000-7ffc00021000 rw-p 00000000 00:00 0 [stack]\n";
    if (complete)
        body += "end\n";
    return body;
}

TEST_F(SpoolSourceTest, DeliversEverySpoolInOneBatchAndRemovesThem) {
    writeSpool("crash-999999991.spool", spool(11, 1'740'816'930));
    writeSpool("crash-999999992-1.spool", spool(6, 1'740'816'931, "reason std::terminate\n", false));
    writeSpool("crash-999999993.spool", "not a spool");
    // Another process of this user still writing its spool.
    writeSpool(QStringLiteral("crash-%1.spool").arg(::getpid()), spool(11, 1'740'816'932, {}, false));
    writeSpool("unrelated.spool", spool(11, 1));

    const auto batches = startSource();
    ASSERT_EQ(batches.size(), 1);
    ASSERT_EQ(batches.front().size(), 2);
    auto batch = batches.front();
    std::sort(batch.begin(), batch.end(),
              [](const auto& a, const auto& b) { return a.crashedAt < b.crashedAt; });
    const auto& segfault = batch[0];
    EXPECT_EQ(segfault.signal, QStringLiteral("11"));
    EXPECT_EQ(segfault.exceptionCode, QStringLiteral("-6"));
    EXPECT_EQ(segfault.crashedAt, QStringLiteral("2025-03-01T08:15:30Z"));
    EXPECT_EQ(segfault.appVersion, QStringLiteral("1.3.9"));
    EXPECT_EQ(segfault.build, 139);
    EXPECT_EQ(segfault.osVersion, QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    EXPECT_EQ(segfault.deviceModel, QStringLiteral("Standard PC"));
    EXPECT_EQ(segfault.architecture, QStringLiteral("x86_64"));
    // Offsets count from the start of each module's file, whatever address it was loaded at.
    EXPECT_EQ(segfault.callStackTree.toStdString(),
              R"({"threads":[{"crashed":true,"frames":[{"module":"tessaron","offset":8756},)"
              R"({"module":"libcrashy.so","offset":8208},{"module":"","offset":16}]}]})");
    EXPECT_EQ(batch[1].terminationReason, QStringLiteral("std::terminate"));

    EXPECT_EQ(
        QDir(folder.path()).entryList(QDir::Files),
        (QStringList{QStringLiteral("crash-%1.spool").arg(::getpid()), QStringLiteral("unrelated.spool")}));
    EXPECT_TRUE(startSource().isEmpty());
}

TEST_F(SpoolSourceTest, NoReportCarriesTheUserTheHostOrTheHome) {
    writeSpool("crash-999999991.spool", spool(11, 1'740'816'930));
    const auto batches = startSource();
    ASSERT_EQ(batches.size(), 1);
    const QByteArray body = batches.front().front().encoded();
    const QStringList personal{QDir::homePath(), QStringLiteral("alice"), QSysInfo::machineHostName(),
                               qEnvironmentVariable("USER")};
    for (const auto& text : personal) {
        if (text.size() > 1) {
            EXPECT_FALSE(body.contains(text.toUtf8())) << text.toStdString();
        }
    }
}

} // namespace
} // namespace tessaron::testing
