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

QList<TessaronCrashReport> reports(int count, int firstSecond = 0) {
    QList<TessaronCrashReport> made;
    for (int second = firstSecond; second < firstSecond + count; ++second) {
        made.append(TessaronCrashReport());
        made.back().id = made.back().installationID = QUuid::createUuid();
        made.back().crashedAt = QStringLiteral("2026-01-01T00:00:%1Z").arg(second, 2, 10, QChar(u'0'));
    }
    return made;
}

// Hands batches to the pipeline when the test says so; the test reads it once the worker settled.
class ManualSource final : public TessaronCrashReportSource {
public:
    void start(Deliver deliver) override {
        ++starts;
        handler = std::move(deliver);
    }
    int starts = 0;
    Deliver handler;
};

// Answers with `accept`; while `held`, an upload blocks the worker until the test lets it go.
struct UploadScript final : TessaronCrashReportUploader {
    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken) override {
        std::unique_lock guard(lock);
        waiting = true;
        changed.notify_all();
        changed.wait(guard, [this] { return !held; });
        waiting = false;
        if (onUpload)
            onUpload();
        uploaded.append(report.id);
        co_return accept;
    }

    std::mutex lock;
    std::condition_variable changed;
    bool accept = true, held = false, waiting = false;
    QList<QUuid> uploaded;
    std::function<void()> onUpload;
};

// Lets the pipeline own an uploader while the test keeps the script.
struct ScriptedUploader final : TessaronCrashReportUploader {
    explicit ScriptedUploader(std::shared_ptr<UploadScript> script)
        : script(std::move(script)) {}
    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken token) override {
        return script->upload(std::move(report), std::move(token));
    }
    std::shared_ptr<UploadScript> script;
};

class CrashPipelineTest : public ::testing::Test {
protected:
    CrashReportingParts parts() {
        return {QProcessEnvironment(), source,
                [script = script] { return std::make_unique<ScriptedUploader>(script); }, store};
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
    void saveReports(int count) {
        for (const auto& report : reports(count))
            store->save(report);
    }

    QTemporaryDir folder;
    std::shared_ptr<FileCrashReportStore> store = std::make_shared<FileCrashReportStore>(folder.path());
    std::shared_ptr<ManualSource> source = std::make_shared<ManualSource>();
    std::shared_ptr<UploadScript> script = std::make_shared<UploadScript>();
    TessaronCrashReporter reporter;
};

TEST_F(CrashPipelineTest, DeletesDeliveredReportsAndOffersRefusedOnesAtTheNextDrain) {
    saveReports(3);
    auto suppressed = parts();
    suppressed.environment->insert(TessaronCrashReporter::testHarnessVariable, QString());
    reporter.start(suppressed);
    settle();
    EXPECT_EQ(source->starts, 0) << "the test-harness variable suppresses everything";
    EXPECT_EQ(uploads(), 0);

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

TEST_F(CrashPipelineTest, ABatchWaitsForTheRunningUploadAndIsPrunedToTwentyBeforeItsDrain) {
    saveReports(2);
    QList<qsizetype> stored;
    script->onUpload = [&] {
        stored.append(QDir(folder.path()).entryList({QStringLiteral("*.json")}).size());
    };
    hold(true);
    reporter.start(parts());
    {
        std::unique_lock guard(script->lock);
        ASSERT_TRUE(script->changed.wait_for(guard, 5s, [this] { return script->waiting; }));
    }
    source->handler(reports(25, 30));
    EXPECT_EQ(store->loadAll().size(), 2) << "the batch is not even saved while the activation step uploads";
    hold(false);
    settle();
    ASSERT_EQ(uploads(), 22);
    EXPECT_EQ(stored.first(3), (QList<qsizetype>{2, 1, 20}));
    EXPECT_TRUE(store->loadAll().isEmpty());
}

// A spool as a crashed process leaves it: its build and paths are the crashed program's.
QByteArray spool(int signal, qint64 time, const QByteArray& extra = {}, bool complete = true) {
    return QByteArray(crash_spool::header) + "signal " + QByteArray::number(signal) + "\ncode -6\ntime " +
           QByteArray::number(time) +
           "\nversion 1.3.9\nbuild 139\nos Debian GNU/Linux 12 (bookworm)\narch x86_64\nmodel Standard PC\n" +
           extra + "frame 0x55d0c0001234\nframe 0x7f0000002010\nframe 0x10\nmaps\n" +
           "55d0c0000000-55d0c0010000 r-xp 00001000 08:01 42 " + QDir::homePath().toUtf8() +
           "/.local/opt/tessaron/tessaron\n" +
           "7f0000000000-7f0000004000 r-xp 00000000 08:01 43 /home/alice/lib/libcrashy.so\n" +
           "7ffc00000000-7ffc00021000 rw-p 00000000 00:00 0 [stack]\n" + (complete ? "end\n" : "");
}

TEST(SpoolSourceTest, DeliversEverySpoolInOneBatchWithoutPersonalData) {
    QTemporaryDir folder;
    const auto writeSpool = [&](const QString& name, const QByteArray& body) {
        QFile file(QDir(folder.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body);
    };
    writeSpool("crash-999999991.spool", spool(11, 1'740'816'930));
    writeSpool("crash-999999992-1.spool", spool(6, 1'740'816'931, "reason std::terminate\n", false));
    writeSpool("crash-999999993.spool", "not a spool");
    // This user's process still writing its spool, and a file that is no spool.
    const auto writing = QStringLiteral("crash-%1.spool").arg(::getpid());
    writeSpool(writing, spool(11, 1'740'816'932, {}, false));
    writeSpool("unrelated.spool", spool(11, 1));

    const CrashReportContext context{BundleInfo({{"CFBundleVersion", "140"}}, {}), [] { return QUuid(); },
                                     "fallback os", "fallback model"};
    const auto startSource = [&] {
        QList<QList<TessaronCrashReport>> batches;
        SpoolCrashSource(folder.path(), context).start([&](auto batch) { batches.append(batch); });
        return batches;
    };
    const auto batches = startSource();
    ASSERT_EQ(batches.size(), 1);
    ASSERT_EQ(batches.front().size(), 2);
    auto batch = batches.front();
    std::sort(batch.begin(), batch.end(),
              [](const auto& a, const auto& b) { return a.crashedAt < b.crashedAt; });
    auto expected = batch[0];
    expected.signal = "11";
    expected.exceptionCode = "-6";
    expected.crashedAt = "2025-03-01T08:15:30Z";
    expected.appVersion = "1.3.9";
    expected.build = 139;
    expected.osVersion = "Debian GNU/Linux 12 (bookworm)";
    expected.deviceModel = "Standard PC";
    expected.architecture = "x86_64";
    // Offsets count from the start of each module's file, whatever address it was loaded at.
    expected.callStackTree = R"({"threads":[{"crashed":true,"frames":[{"module":"tessaron","offset":8756},)"
                             R"({"module":"libcrashy.so","offset":8208},{"module":"","offset":16}]}]})";
    EXPECT_EQ(batch[0].encoded().toStdString(), expected.encoded().toStdString());
    EXPECT_EQ(batch[1].terminationReason, QStringLiteral("std::terminate"));
    for (const auto& personal : {QDir::homePath(), QStringLiteral("alice"), QSysInfo::machineHostName()}) {
        for (const auto& report : batch)
            EXPECT_FALSE(report.encoded().contains(personal.toUtf8())) << personal.toStdString();
    }

    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
              (QStringList{writing, QStringLiteral("unrelated.spool")}));
    EXPECT_TRUE(startSource().isEmpty());
}

} // namespace
} // namespace tessaron::testing
