#include "updates/crash_report_store.hpp"

#include "updates/private_folder.hpp"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>

namespace tessaron {

namespace {

// A report is a little above its 200,000-byte call stack; anything far larger is not one of ours.
constexpr qint64 largestReportFile = 1 << 20;

QString fileName(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toLower() + QStringLiteral(".json");
}

QList<TessaronCrashReport> reportsIn(const PrivateFolder& folder) {
    QList<TessaronCrashReport> reports;
    for (const auto& name : folder.entries()) {
        // Exactly ".json": other files, and files still being written aside, are not reports.
        if (!name.endsWith(QStringLiteral(".json")) || name.size() == 5)
            continue;
        const auto bytes = folder.read(name, largestReportFile);
        if (!bytes)
            continue;
        try {
            reports.append(TessaronCrashReport::decoded(*bytes));
        } catch (const std::exception&) {
            // Left where it is: loading never deletes.
        }
    }
    return reports;
}

void prune(const PrivateFolder& folder) {
    auto reports = reportsIn(folder);
    if (reports.size() <= FileCrashReportStore::keptReports)
        return;
    const auto byCrashTime = [](const TessaronCrashReport& a, const TessaronCrashReport& b) {
        const auto idA = a.id.toString(QUuid::WithoutBraces).toLower();
        const auto idB = b.id.toString(QUuid::WithoutBraces).toLower();
        return std::tie(a.crashedAt, idA) < std::tie(b.crashedAt, idB);
    };
    std::sort(reports.begin(), reports.end(), byCrashTime);
    const auto excess = reports.size() - FileCrashReportStore::keptReports;
    for (qsizetype i = 0; i < excess; ++i)
        folder.remove(fileName(reports[i].id));
}

} // namespace

QString FileCrashReportStore::defaultDirectory() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!data.isEmpty())
        return QDir(data).filePath(QStringLiteral("crash-reports"));
    return QDir(QDir::tempPath()).filePath(QStringLiteral("tessaron-crash-reports"));
}

FileCrashReportStore::FileCrashReportStore(QString directory)
    : directory_(std::move(directory)) {}

bool FileCrashReportStore::save(const TessaronCrashReport& report) {
    std::lock_guard guard(lock_);
    const auto folder = PrivateFolder::open(directory_, true);
    if (!folder || !folder->writeAtomically(fileName(report.id), report.encoded()))
        return false;
    prune(*folder);
    return true;
}

QList<TessaronCrashReport> FileCrashReportStore::loadAll() {
    std::lock_guard guard(lock_);
    const auto folder = PrivateFolder::open(directory_, false);
    return folder ? reportsIn(*folder) : QList<TessaronCrashReport>();
}

void FileCrashReportStore::remove(const QUuid& id) {
    std::lock_guard guard(lock_);
    if (const auto folder = PrivateFolder::open(directory_, false))
        folder->remove(fileName(id));
}

} // namespace tessaron
