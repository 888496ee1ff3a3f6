#include "platform/json_file_preferences.hpp"
#include "platform/private_files.hpp"
#include "platform/system_log.hpp"
#include "support/manual_clock.hpp"
#include "support/qt_printers.hpp"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace tessaron::testing {
namespace {

// The disk as the store's writer meets it. Its sync can be held until released, slowed, or made to fail,
// and it keeps every file it was handed. The thread that changes the preferences must never wait for
// it: a write there is a fault, and goes through unheld so that the fault shows instead of a hang.
class StandInDisk {
public:
    JsonFilePreferences::FileWriter writer() {
        return [this](const QString& path, const QByteArray& bytes) {
            return write(path, bytes);
        };
    }

    void hold() { setHeld(true); }
    void release() { setHeld(false); }
    // True once a write waits in the held sync; false when none comes.
    bool awaitHeldWrite() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 30s, [this] { return waiting_ > 0; });
    }
    void slowDown(std::chrono::milliseconds sync) { slowSync_ = sync; }
    void failWrites(bool fail) { failing_ = fail; }
    // Every file the store wrote, in order.
    QList<QByteArray> written() const {
        std::lock_guard guard(mutex_);
        return written_;
    }

private:
    bool write(const QString& path, const QByteArray& bytes) {
        if (std::this_thread::get_id() == caller_)
            ADD_FAILURE() << "the thread that changes the preferences waited for the disk";
        else
            waitWhileHeld();
        std::this_thread::sleep_for(slowSync_.load());
        if (failing_)
            return false;
        std::lock_guard guard(mutex_);
        written_.append(bytes);
        return writePrivateFile(path, bytes);
    }
    void waitWhileHeld() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !held_; });
        --waiting_;
    }
    void setHeld(bool held) {
        {
            std::lock_guard guard(mutex_);
            held_ = held;
        }
        changed_.notify_all();
    }

    const std::thread::id caller_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int waiting_ = 0;
    std::atomic<std::chrono::milliseconds> slowSync_{0ms};
    std::atomic<bool> failing_ = false;
    QList<QByteArray> written_;
};

class PreferencesWriteBehindTest : public ::testing::Test {
protected:
    QString path() const { return folder_.filePath(QStringLiteral("tessaron/preferences.json")); }
    std::unique_ptr<JsonFilePreferences> open() {
        return std::make_unique<JsonFilePreferences>(path(), clock_, JsonFilePreferences::Writing::behind,
                                                     disk_.writer());
    }
    // What a file holds, read as the next launch reads it.
    QVariantMap readBack(const QString& file) const {
        const JsonFilePreferences reader(file, clock_);
        QVariantMap values;
        for (const auto& key : reader.keys())
            values.insert(key, reader.value(key));
        return values;
    }
    QVariantMap onDisk() const { return readBack(path()); }
    QVariantMap readBack(const QByteArray& written) const {
        const auto scratch = folder_.filePath(QStringLiteral("scratch.json"));
        EXPECT_TRUE(writePrivateFile(scratch, written));
        return readBack(scratch);
    }

    QTemporaryDir folder_;
    ManualClock clock_;
    SystemLog::Capture log_;
    // Before the stores, which write to it as they go.
    StandInDisk disk_;
};

// Every read answers the latest change at once, also with a write from another process in between; the
// files written are states the store went through, in that order, ending with the last.
TEST_F(PreferencesWriteBehindTest, ReadsSeeTheLatestChangeAtOnceAndTheFileFollowsInOrder) {
    enum class Act { set, remove, theirs, flush };
    const struct {
        Act act;
        const char* key;
        QVariant value;
    } steps[] = {
        {Act::set, "line", "a"},       {Act::set, "line", "b"},
        {Act::set, "count", 1},        {Act::remove, "line", {}},
        {Act::theirs, "tunnel", "up"}, {Act::set, "line", "c"},
        {Act::flush, "", {}},          {Act::set, "count", 2},
        {Act::remove, "absent", {}},   {Act::set, "when", QDateTime(QDate(2026, 1, 2), QTime(3, 4), Qt::UTC)},
        {Act::flush, "", {}},          {Act::set, "count", 3},
    };
    const auto ours = open();
    QVariantMap expected;
    QList<QVariantMap> states{expected};
    for (const auto& [act, key, value] : steps) {
        SCOPED_TRACE(key);
        switch (act) {
        case Act::set:
            ours->setValue(key, value);
            expected.insert(key, Preferences::normalized(value));
            break;
        case Act::remove:
            ours->remove(key);
            expected.remove(key);
            break;
        case Act::theirs:
            JsonFilePreferences(path(), clock_).setValue(key, value);
            expected.insert(key, value);
            break;
        case Act::flush:
            ours->flush();
            EXPECT_EQ(onDisk(), expected);
            break;
        }
        states.append(expected);
        QVariantMap read;
        for (const auto& stored : ours->keys())
            read.insert(stored, ours->value(stored));
        EXPECT_EQ(read, expected);
    }
    ours->flush();
    EXPECT_EQ(onDisk(), expected);

    // Each write holds the state after some step, never an earlier one than the write before it.
    auto state = states.cbegin();
    for (const auto& written : disk_.written()) {
        const auto values = readBack(written);
        state = std::find(state, states.cend(), values);
        ASSERT_NE(state, states.cend()) << "a write out of order or of a state the store never had";
    }
    EXPECT_EQ(*state, expected);
    EXPECT_TRUE(log_.lines().isEmpty()) << log_.messages().join(u'\n').toStdString();
}

// While the disk does not finish a sync, changes and reads go on without waiting for it; the store's
// last act still writes them.
TEST_F(PreferencesWriteBehindTest, TheCallerNeverWaitsForASyncThatDoesNotEnd) {
    disk_.hold();
    auto store = open();
    // Also when the test stops early: the store's end waits for the disk.
    const auto released = qScopeGuard([this] { disk_.release(); });
    store->setValue(QStringLiteral("log"), QVariantList{QStringLiteral("connected")});
    ASSERT_TRUE(disk_.awaitHeldWrite());
    for (int line = 2; line <= 50; ++line) {
        store->setValue(QStringLiteral("log"), QVariantList(line, QStringLiteral("connected")));
        EXPECT_EQ(store->array(QStringLiteral("log")).value_or(QVariantList()).size(), line);
    }
    disk_.release();
    store.reset();
    EXPECT_EQ(onDisk().value(QStringLiteral("log")).toList().size(), 50);
}

// Destroying the store, and flushing it as the application does when it quits, waits out a slow sync:
// nothing written before is lost.
TEST_F(PreferencesWriteBehindTest, DestructionAndQuitWriteWhatASlowSyncStillHolds) {
    disk_.slowDown(300ms);
    const std::pair<const char*, std::function<void(std::unique_ptr<JsonFilePreferences>&)>> endings[] = {
        {"destroyed",
         [](auto& store) {
             store.reset();
         }},
        {"flushed at quit",
         [](auto& store) {
             store->flush();
         }},
    };
    int round = 0;
    for (const auto& [ending, end] : endings) {
        SCOPED_TRACE(ending);
        auto store = open();
        store->setValue(QStringLiteral("first"), ++round);
        store->setValue(QStringLiteral("last"), round);
        end(store);
        EXPECT_EQ(onDisk(), (QVariantMap{{"first", qint64(round)}, {"last", qint64(round)}}));
    }
}

// Without a flush the file catches up by itself, soon after the change: a crash loses little.
TEST_F(PreferencesWriteBehindTest, TheFileCatchesUpWithoutAFlush) {
    const auto store = open();
    store->setValue(QStringLiteral("line"), QStringLiteral("connected"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return onDisk().contains(QStringLiteral("line")); }, 10'000));
}

// A write that fails is reported and the value kept; a flush, as at quit, tries again.
TEST_F(PreferencesWriteBehindTest, AFailedWriteIsReportedAndTriedAgain) {
    const auto store = open();
    disk_.failWrites(true);
    store->setValue(QStringLiteral("line"), QStringLiteral("connected"));
    store->flush();
    EXPECT_EQ(log_.messages(), QStringList{QStringLiteral("cannot write preferences preferences.json")});
    EXPECT_EQ(store->text(QStringLiteral("line")), QStringLiteral("connected"));
    EXPECT_TRUE(onDisk().isEmpty());

    disk_.failWrites(false);
    store->flush();
    EXPECT_EQ(onDisk(), (QVariantMap{{"line", QStringLiteral("connected")}}));
}

} // namespace
} // namespace tessaron::testing
