#include "profiles/decoding_error.hpp"
#include "support/scoped_environment.hpp"
#include "updates/crash_report.hpp"
#include "updates/crash_report_store.hpp"
#include "updates/crash_reporter.hpp"
#include "updates/crash_spool.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <coroutine>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;

const QUuid installation = QUuid::fromString(QStringLiteral("7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f"));

const QByteArray golden =
    R"({"appVersion":"1.4.2","architecture":"x86_64","build":142,"callStackTree":"{\"threads\":[]}",)"
    R"("callStackTruncated":false,"crashedAt":"2025-03-01T08:15:30Z","deviceModel":"ThinkPad",)"
    R"("exceptionCode":"1","exceptionType":"","id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22",)"
    R"("installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","osVersion":"Debian GNU/Linux 12",)"
    R"("platform":"macos","reporterVersion":1,"signal":"11","terminationReason":""})";

// `count` copies of the golden report crashed a second apart from `first` seconds into 2026, each with a
// fresh id.
QList<TessaronCrashReport> samples(int count, int first = 0) {
    QList<TessaronCrashReport> made;
    for (int second = first; second < first + count; ++second) {
        auto& report = made.emplaceBack(TessaronCrashReport::decoded(golden));
        report.id = QUuid::createUuid();
        report.crashedAt =
            QDateTime(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(second).toString(Qt::ISODate);
    }
    return made;
}
TessaronCrashReport sample(int second, const QString& id) {
    auto report = samples(1, second).front();
    report.id = QUuid::fromString(id);
    return report;
}

mode_t modeOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status.st_mode & 07777;
}
void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

// The golden bytes round-trip; a sparse report reads defaults and writes its identifiers in lower case.
TEST(CrashReportJsonTest, WritesTheGoldenBytesAndDefaults) {
    auto report = TessaronCrashReport::decoded(golden);
    EXPECT_EQ(report.encoded(), golden);
    report.simulated = true;
    QByteArray withFlag = golden;
    withFlag.replace(R"("signal":"11",)", R"("signal":"11","simulated":true,)");
    EXPECT_EQ(report.encoded(), withFlag);
    EXPECT_TRUE(TessaronCrashReport::decoded(withFlag).simulated);
    EXPECT_EQ(
        TessaronCrashReport::decoded(
            R"({"id":"2F1C0D9E-5B7A-4C1E-9A43-0C8E7F6B1D22","platform":"macos",)"
            R"("installationID":"7D5E3A10-2B4C-4F6A-8E9D-1C2B3A4D5E6F","build":null,"future":[1]})")
            .encoded(),
        R"({"appVersion":"","architecture":"","build":0,"callStackTree":"","callStackTruncated":false,)"
        R"("crashedAt":"","deviceModel":"","exceptionCode":"","exceptionType":"",)"
        R"("id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22","installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f",)"
        R"("osVersion":"","platform":"macos","reporterVersion":1,"signal":"","terminationReason":""})");
}

TEST(CrashReportJsonTest, RefusesWhatIsNotAReport) {
    using Kind = JsonDecodingErrorKind;
    const auto bad = QStringLiteral("Not a UUID.");
    const auto gone = QJsonValue::Undefined; // removes the member
    const std::vector<std::tuple<QString, QJsonValue, Kind, QString>> cases{
        {"id", "report-1", Kind::dataCorrupted, bad},
        {"id", "{2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22}", Kind::dataCorrupted, bad},
        {"installationID", "", Kind::dataCorrupted, bad},
        {"id", gone, Kind::keyNotFound, {}},
        {"id", QJsonValue::Null, Kind::keyNotFound, {}},
        {"platform", gone, Kind::keyNotFound, {}},
        {"id", 7, Kind::typeMismatch, {}},
        {"build", "142", Kind::typeMismatch, {}},
        {"build", 1.5, Kind::typeMismatch, {}},
        {"signal", 11, Kind::typeMismatch, {}},
        {"callStackTruncated", "no", Kind::typeMismatch, {}},
    };
    for (const auto& [key, value, kind, description] : cases) {
        auto object = QJsonDocument::fromJson(golden).object();
        object.insert(key, value);
        try {
            TessaronCrashReport::fromJson(object);
            ADD_FAILURE() << key.toStdString() << ": decoded";
        } catch (const JsonDecodingError& error) {
            EXPECT_EQ(error.kind(), kind) << key.toStdString();
            EXPECT_EQ(error.key(), key);
            EXPECT_EQ(error.description(), description) << key.toStdString();
        }
    }
}

CrashReportContext context(
    QVariantMap info, std::function<QUuid()> installationID = [] { return installation; }) {
    return {
        .bundle = BundleInfo(std::move(info), {}),
        .installationID = std::move(installationID),
        .osVersion = QStringLiteral("Debian GNU/Linux 12 (bookworm)"),
        .hardwareModel = QStringLiteral("unknown"),
    };
}

TEST(CrashReportBuilderTest, FillsEveryValueFromTheDiagnosticOrItsFallback) {
    const QVariantMap bundle57{{"CFBundleVersion", "57"}, {"CFBundleShortVersionString", "1.4.2"}};
    const auto at = QDateTime(QDate(2025, 3, 1), QTime(8, 15, 30, 750), QTimeZone::utc());
    // The metadata's build, the bundle: the build the report carries (numbers read as the release record
    // reads them).
    for (const auto& [metadataBuild, info, build] :
         std::initializer_list<std::tuple<QString, QVariantMap, qint64>>{
             {"120", bundle57, 120},
             {"0", bundle57, 57},
             {"", bundle57, 57},
             {"x", {{"CFBundleVersion", "build-7"}}, 0},
             {"", {{"CFBundleVersion", 57}}, 0}}) {
        CrashDiagnostic diagnostic;
        diagnostic.metaData.applicationBuildVersion = metadataBuild;
        EXPECT_EQ(TessaronCrashReport::make(diagnostic, at, context(info)).build, build)
            << metadataBuild.toStdString();
    }

    CrashDiagnostic full;
    full.metaData = {"120", "Fedora 41", "ThinkPad X1", "aarch64"};
    full.callStackTree = "{}";
    full.exceptionCode = -6;
    full.signal = 6;
    full.terminationReason = QStringLiteral("std::terminate");
    const auto made = TessaronCrashReport::make(full, at, context(bundle57));
    const QByteArray id = made.id.toString(QUuid::WithoutBraces).toLatin1();
    EXPECT_EQ(
        made.encoded(),
        R"({"appVersion":"1.4.2","architecture":"aarch64","build":120,"callStackTree":"{}",)"
        R"("callStackTruncated":false,"crashedAt":"2025-03-01T08:15:30Z","deviceModel":"ThinkPad X1",)"
        R"("exceptionCode":"-6","exceptionType":"","id":")" +
            id +
            R"(","installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","osVersion":"Fedora 41",)"
            R"("platform":"macos","reporterVersion":1,"signal":"6","terminationReason":"std::terminate"})");

    const auto bare = TessaronCrashReport::make(
        CrashDiagnostic{}, at, context({}, []() -> QUuid { throw std::runtime_error("no keychain"); }));
    EXPECT_EQ((QStringList{bare.appVersion, bare.osVersion, bare.deviceModel, bare.architecture,
                           bare.callStackTree}),
              (QStringList{"0.0.0", "Debian GNU/Linux 12 (bookworm)", "unknown", "arm64", "{}"}));
    EXPECT_FALSE(bare.installationID.isNull());
    EXPECT_NE(bare.installationID, bare.id);

    CrashDiagnostic notUtf8;
    notUtf8.callStackTree = QByteArray("{\"a\":\"\xff\"}");
    EXPECT_EQ(TessaronCrashReport::make(notUtf8, at, context({})).callStackTree, QStringLiteral("{}"));
}

// Wrapped size of a candidate prefix, as the cap measures it.
qsizetype wrappedSize(const QString& prefix) {
    const QJsonObject object{{QStringLiteral("truncated"), true}, {QStringLiteral("prefix"), prefix}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).size();
}

TEST(CrashReportCapTest, KeepsTheLongestPrefixThatFits) {
    const QString ascii(200'000, u'x');
    const auto whole = TessaronCrashReport::cappedCallStackTree(ascii);
    EXPECT_EQ(whole.text, ascii);
    EXPECT_FALSE(whole.truncated);

    const std::vector<std::pair<const char*, QString>> trees{
        {"plain", QString(200'001, u'x')},
        {"quotes", QString(200'001, u'"')},
        {"two-byte", QString(100'000, QChar(0xE9)) + u'a'},
        {"four-byte", QString::fromUtf8("\xF0\x9F\x98\x80").repeated(50'000) + u'a'},
    };
    for (const auto& [name, tree] : trees) {
        const auto capped = TessaronCrashReport::cappedCallStackTree(tree);
        EXPECT_TRUE(capped.truncated) << name;
        const auto bytes = capped.text.toUtf8();
        EXPECT_LE(bytes.size(), 200'000) << name;
        const auto document = QJsonDocument::fromJson(bytes);
        ASSERT_TRUE(document.isObject()) << name;
        EXPECT_EQ(document.object().value(QStringLiteral("truncated")), QJsonValue(true)) << name;
        const auto prefix = document.object().value(QStringLiteral("prefix")).toString();
        EXPECT_TRUE(tree.startsWith(prefix)) << name;
        // One more character would no longer fit.
        const auto next = tree.left(prefix.size() + (tree.at(prefix.size()).isHighSurrogate() ? 2 : 1));
        EXPECT_GT(wrappedSize(next), 200'000) << name;
    }
}

TEST(CrashReportHardwareTest, ReadsTheProductNameOrFallsBackToMac) {
    QTemporaryDir folder;
    for (const auto& [content, model] : std::vector<std::pair<QByteArray, QString>>{
             {"Standard PC (Q35)\n", "Standard PC (Q35)"}, {" \n", "mac"}, {{}, "mac"}}) {
        const QString path = folder.filePath(QString::number(content.size()));
        if (!content.isNull())
            writeFile(path, content);
        EXPECT_EQ(hardwareModel(path), model) << content.constData();
    }
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

// Answers with `accept`; while `held`, an upload blocks the worker until the test lets it go. An upload that
// `cancels` instead waits without blocking until it is cancelled, and then is not accepted.
struct UploadScript {
    std::mutex lock;
    std::condition_variable changed;
    bool accept = true, held = false, waiting = false, cancels = false;
    QList<QUuid> uploaded;
};

// Suspends until the token is cancelled and resumes inside the cancellation, as an aborted transfer ends.
struct UntilCancelled {
    CancellationToken token;
    bool await_ready() const { return token.isCancelled(); }
    void await_suspend(std::coroutine_handle<> waiting) const {
        token.onCancel([waiting] { waiting.resume(); });
    }
    void await_resume() const {}
};

// Lets the pipeline own an uploader while the test keeps the script.
struct ScriptedUploader final : TessaronCrashReportUploader {
    explicit ScriptedUploader(std::shared_ptr<UploadScript> script)
        : script(std::move(script)) {}
    QCoro::Task<bool> upload(TessaronCrashReport report, CancellationToken cancellation) override {
        std::unique_lock guard(script->lock);
        script->waiting = true;
        script->changed.notify_all();
        if (script->cancels) {
            guard.unlock();
            UntilCancelled cancelled{cancellation};
            co_await cancelled;
            co_return false;
        }
        script->changed.wait(guard, [this] { return !script->held; });
        script->waiting = false;
        script->uploaded.append(report.id);
        co_return script->accept;
    }
    std::shared_ptr<UploadScript> script;
};

// Stores like the file store, except the reports it is told to refuse.
struct RefusingStore final : TessaronCrashReportStore {
    explicit RefusingStore(const QString& folder)
        : files(folder) {}
    bool save(const TessaronCrashReport& report) override {
        return !refused.contains(report.id) && files.save(report);
    }
    QList<TessaronCrashReport> loadAll() override { return files.loadAll(); }
    void remove(const QUuid& id) override { files.remove(id); }

    FileCrashReportStore files;
    QSet<QUuid> refused;
};

class CrashPipelineTest : public ::testing::Test {
protected:
    CrashReportingParts parts() {
        return {QProcessEnvironment(),
                source,
                [script = script] { return std::make_unique<ScriptedUploader>(script); },
                store,
                {}};
    }
    void settle() { ASSERT_TRUE(reporter.waitForIdle(5s)); }
    qsizetype uploads() {
        std::lock_guard guard(script->lock);
        return script->uploaded.size();
    }
    void awaitUpload() {
        std::unique_lock guard(script->lock);
        ASSERT_TRUE(script->changed.wait_for(guard, 5s, [this] { return script->waiting; }));
    }
    void hold(bool held) {
        std::lock_guard guard(script->lock);
        script->held = held;
        script->changed.notify_all();
    }
    QString inFolder(const QString& name) const { return QDir(folder).filePath(name); }

    QTemporaryDir root;
    QString folder = root.filePath(QStringLiteral("data/crash-reports"));
    std::shared_ptr<RefusingStore> store = std::make_shared<RefusingStore>(folder);
    std::shared_ptr<ManualSource> source = std::make_shared<ManualSource>();
    std::shared_ptr<UploadScript> script = std::make_shared<UploadScript>();
    TessaronCrashReporter reporter;
};

TEST_F(CrashPipelineTest, TheStoreKeepsTheNewestTwentyAndNeverDeletesAFileThatIsNotAReportsOwn) {
    EXPECT_TRUE(store->loadAll().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder));
    // Two reports at the same instant, the oldest of all: the one with the smaller id goes first.
    const auto larger = sample(0, QStringLiteral("f0000000-0000-4000-8000-000000000001"));
    const auto smaller = sample(0, QStringLiteral("00000000-0000-4000-8000-000000000001"));
    for (const auto& report : samples(19, 1) + QList{larger, smaller})
        store->save(report);
    const auto loaded = store->loadAll();
    EXPECT_EQ(loaded.size(), 20);
    EXPECT_TRUE(
        std::none_of(loaded.begin(), loaded.end(), [&](const auto& r) { return r.id == smaller.id; }));
    store->save(larger); // the same report again replaces its file
    store->remove(larger.id);
    store->remove(QUuid::createUuid());
    EXPECT_EQ(store->loadAll().size(), 19);

    // Foreign and broken files are skipped; the oldest report, under a name other than its id, is read, yet
    // pruning and removal leave its file alone.
    const auto misnamed = samples(1, -1).front();
    const QStringList foreign{QStringLiteral("a.txt"), QStringLiteral("b.JSON"), QStringLiteral("c.json"),
                              QStringLiteral(".json"), QStringLiteral("misnamed.json")};
    for (const auto& name : foreign)
        writeFile(inFolder(name), name == foreign[2]   ? QByteArray("{not json")
                                  : name == foreign[4] ? misnamed.encoded()
                                                       : samples(1, 31)[0].encoded());
    EXPECT_EQ(store->loadAll().size(), 20);
    for (const auto& report : samples(5, 40))
        store->save(report);
    store->remove(misnamed.id);
    for (const auto& name : foreign)
        EXPECT_TRUE(QFileInfo::exists(inFolder(name))) << name.toStdString();
}

TEST_F(CrashPipelineTest, TheStoreLeavesTwentyPrivateFilesAfterConcurrentSavesAndNoneThroughALink) {
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    const mode_t previous = ::umask(0);
    const auto saveMany = [this](int first) {
        for (const auto& report : samples(30, first))
            store->save(report);
    };
    std::thread first(saveMany, 0);
    std::thread second(saveMany, 100);
    first.join();
    second.join();
    ::umask(previous);
    EXPECT_EQ(store->loadAll().size(), 20);
    EXPECT_EQ(modeOf(folder), 0700u);
    const QRegularExpression idFileName(QStringLiteral("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}\\.json$"));
    const auto files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files.size(), 20);
    for (const auto& file : files) {
        EXPECT_EQ(modeOf(file.filePath()), 0600u) << file.fileName().toStdString();
        EXPECT_TRUE(idFileName.match(file.fileName()).hasMatch()) << file.fileName().toStdString();
    }
    // A store whose folder is a link stores nothing there and loads nothing from it.
    const auto link = root.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(folder, link));
    FileCrashReportStore throughLink(link);
    EXPECT_FALSE(throughLink.save(samples(1, 200).front()));
    EXPECT_TRUE(throughLink.loadAll().isEmpty());
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 20);
}

TEST_F(CrashPipelineTest, DeletesDeliveredReportsOffersRefusedOnesAgainAndKeepsANewBatchThroughAQuit) {
    for (const auto& report : samples(3))
        store->save(report);
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

    // A batch delivered after the start is stored and offered; one report that cannot be stored keeps
    // neither the others of its batch from the store nor the source from being told.
    EXPECT_TRUE(source->handler(samples(2, 10)));
    settle();
    EXPECT_EQ(uploads(), 8);
    auto batch = samples(3, 20);
    store->refused.insert(batch[0].id);
    EXPECT_FALSE(source->handler(batch));
    settle();
    const auto offered = script->uploaded.mid(8);
    EXPECT_EQ(QSet(offered.begin(), offered.end()), (QSet{batch[1].id, batch[2].id}));
    EXPECT_TRUE(store->loadAll().isEmpty());

    // A batch that arrives while an upload hangs is stored at once, pruned to twenty; quitting then waits
    // only briefly for the hung upload, and the new crashes stay for the next launch.
    for (const auto& report : samples(2))
        store->save(report);
    hold(true);
    reporter.start(parts());
    awaitUpload();
    EXPECT_TRUE(source->handler(samples(25, 30)));
    EXPECT_EQ(store->loadAll().size(), 20);
    auto quitting = std::async(std::launch::async, [this] { return reporter.stop(50ms); });
    EXPECT_EQ(quitting.wait_for(5s), std::future_status::ready) << "quitting waits for the hung upload";
    hold(false);
    EXPECT_FALSE(quitting.get());
    EXPECT_TRUE(reporter.stop(5s)) << "the worker ends once the upload returns";
    EXPECT_EQ(uploads(), 10 + 2) << "the two claimed before, none after quitting";
    EXPECT_EQ(store->loadAll().size(), 20);
}

TEST_F(CrashPipelineTest, AQuitDuringAnUploadThatEndsOnCancellationKeepsEveryClaimedReport) {
    for (const auto& report : samples(3))
        store->save(report);
    script->cancels = true;
    reporter.start(parts());
    awaitUpload();
    EXPECT_TRUE(reporter.stop(5s));
    EXPECT_EQ(uploads(), 0);
    EXPECT_EQ(store->loadAll().size(), 3);
}

// start() reads no file and waits for no reading: the application's own source asks for the report context
// on the worker, once start() has returned, as it reads the first spool; the report carries the answer.
TEST_F(CrashPipelineTest, TheReportContextIsAskedForOnTheWorkerAfterStartReturned) {
    std::mutex lock;
    std::condition_variable changed;
    bool returned = false;
    // Where each ask came from: its thread, and whether start() had returned by then (waiting for it).
    QList<std::pair<std::thread::id, bool>> asked;
    auto watched = parts();
    watched.source = nullptr;
    watched.context = [&] {
        std::unique_lock guard(lock);
        asked.append({std::this_thread::get_id(), changed.wait_for(guard, 5s, [&] { return returned; })});
        return CrashReportContext{BundleInfo({}, {}), [] { return installation; }, "Watched OS",
                                  "Watched PC"};
    };
    script->accept = false;
    {
        const ScopedEnvironment data{
            {"XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("home")))}};
        const QDir spools(FileCrashReportStore::defaultDirectory());
        ASSERT_TRUE(spools.mkpath(QStringLiteral(".")));
        writeFile(spools.filePath(QStringLiteral("crash-999999991.spool")),
                  QByteArray(crash_spool::header) + "signal 11\ntime 1740816930\nend\n");
        reporter.start(watched);
    }
    {
        std::lock_guard guard(lock);
        returned = true;
        changed.notify_all();
    }
    settle();
    std::lock_guard guard(lock);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(std::tuple(asked[0].first != std::this_thread::get_id(), asked[0].second),
              std::tuple(true, true))
        << "off the calling thread, after start() returned";
    const auto stored = store->loadAll();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(std::tuple(stored.front().osVersion, stored.front().deviceModel, stored.front().installationID),
              std::tuple(QStringLiteral("Watched OS"), QStringLiteral("Watched PC"), installation));
}

// A spool as a crashed process leaves it: its build and paths are the crashed program's.
QByteArray spool(int signal, qint64 time, const QByteArray& extra = {}, bool complete = true) {
    return QByteArray(crash_spool::header) + "signal " + QByteArray::number(signal) + "\ncode -6\ntime " +
           QByteArray::number(time) +
           "\nversion 1.3.9\nbuild 139\nos Debian GNU/Linux 12 (bookworm)\narch x86_64\nmodel Standard PC\n" +
           extra + "frame 0x55d0c0001234\nframe 0x7f0000002010\nframe 0x10\nmaps\n" +
           "55d0c0000000-55d0c0010000 r-xp 00001000 08:01 42     " + QDir::homePath().toUtf8() +
           "/Jane Doe/Tessaron/tessaron\n" +
           "7f0000000000-7f0000004000 r-xp 00000000 08:01 43 /home/alice/lib/libcrashy.so (deleted)\n" +
           "7ffc00000000-7ffc00021000 rw-p 00000000 00:00 0 [stack]\n" + (complete ? "end\n" : "");
}

TEST(SpoolSourceTest, DeliversEverySpoolInOneBatchWithoutPersonalData) {
    QTemporaryDir folder;
    const auto at = [&](const QString& name) {
        return QDir(folder.path()).filePath(name);
    };
    writeFile(at("crash-999999991.spool"), spool(11, 1'740'816'930));
    writeFile(at("crash-999999992-1.spool"), spool(6, 1'740'816'931, "reason std::terminate\n", false));
    writeFile(at("crash-999999993.spool"), "not a spool");
    // This user's process still writing its spool (without and with its start time), a dead writer whose
    // id this process was given since, and a file that is no spool.
    const auto writing = QStringLiteral("crash-%1.spool").arg(::getpid());
    writeFile(at(writing), spool(11, 1'740'816'932, {}, false));
    const auto started = crash_spool::processStartTime(::getpid());
    ASSERT_TRUE(started);
    const auto startedAt = [](qint64 ticks, QByteArray content) {
        return content.insert(qsizetype(sizeof(crash_spool::header) - 1),
                              "started " + QByteArray::number(ticks) + '\n');
    };
    const auto stillWriting = QStringLiteral("crash-%1-1.spool").arg(::getpid());
    writeFile(at(stillWriting), startedAt(*started, spool(11, 1'740'816'933, {}, false)));
    writeFile(at(QStringLiteral("crash-%1-2.spool").arg(::getpid())),
              startedAt(*started - 1, spool(11, 1'740'816'934, {}, false)));
    writeFile(at("unrelated.spool"), spool(11, 1));
    // Opening a FIFO before checking what it is would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("crash-999999994.spool")).constData(), 0600), 0);
    // A spool reached through a link, and one beyond the size any crash leaves, are not read.
    QTemporaryDir elsewhere;
    const auto linked = QDir(elsewhere.path()).filePath(QStringLiteral("crash-1.spool"));
    writeFile(linked, spool(11, 1'740'816'935));
    ASSERT_TRUE(QFile::link(linked, at("crash-999999995.spool")));
    writeFile(at("crash-999999996.spool"),
              spool(11, 1'740'816'936, "pad " + QByteArray(16 << 20, 'x') + '\n'));

    const CrashReportContext context{BundleInfo({{"CFBundleVersion", "140"}}, {}), [] { return QUuid(); },
                                     "fallback os", "fallback model"};
    const auto startSource = [&](bool stored) {
        QList<QList<TessaronCrashReport>> batches;
        SpoolCrashSource(folder.path(), [&] { return context; }).start([&](auto batch) {
            batches.append(batch);
            return stored;
        });
        return batches;
    };
    const auto files = [&] {
        return QDir(folder.path()).entryList(QDir::Files | QDir::System);
    };
    // A batch that could not be stored leaves its spools; what is no spool, the FIFO included, goes.
    auto kept = files();
    kept.removeOne(QStringLiteral("crash-999999993.spool"));
    kept.removeOne(QStringLiteral("crash-999999994.spool"));
    kept.removeOne(QStringLiteral("crash-999999995.spool"));
    kept.removeOne(QStringLiteral("crash-999999996.spool"));
    EXPECT_EQ(startSource(false).size(), 1);
    EXPECT_EQ(files(), kept);
    const auto batches = startSource(true);
    ASSERT_EQ(batches.size(), 1);
    ASSERT_EQ(batches.front().size(), 3);
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
    EXPECT_EQ(batch[2].crashedAt, QStringLiteral("2025-03-01T08:15:34Z"))
        << "a dead writer's, not a live one's";
    for (const auto& personal :
         {QDir::homePath(), QStringLiteral("alice"), QStringLiteral("Jane"), QSysInfo::machineHostName()}) {
        for (const auto& report : batch)
            EXPECT_FALSE(report.encoded().contains(personal.toUtf8())) << personal.toStdString();
    }

    EXPECT_EQ(files(), (QStringList{stillWriting, writing, QStringLiteral("unrelated.spool")}));
    EXPECT_TRUE(startSource(true).isEmpty());

    // A planted spool, far beyond what a crash leaves, is read quickly and its excess frames ignored.
    auto planted = spool(11, 1, QByteArray("frame 0x7f0000000010\n").repeated(20'000));
    planted.replace("maps\n",
                    "maps\n" + QByteArray("7f0000000000-7f0000004000 r-xp 0 8:1 4 /x\n").repeated(20'000));
    const auto tree = QJsonDocument::fromJson(crash_spool::parse(planted)->diagnostic.callStackTree);
    EXPECT_EQ(tree["threads"][0]["frames"].toArray().size(), crash_spool::maxFrames);
}

} // namespace
} // namespace tessaron::testing
