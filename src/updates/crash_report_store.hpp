#pragma once

#include "updates/crash_report.hpp"

#include <QList>
#include <QString>
#include <QUuid>

#include <mutex>

namespace tessaron {

// Where crash reports wait between the crash and their delivery. No operation throws.
class TessaronCrashReportStore {
public:
    virtual ~TessaronCrashReportStore() = default;

    // False when the report could not be written.
    virtual bool save(const TessaronCrashReport& report) = 0;
    virtual QList<TessaronCrashReport> loadAll() = 0;
    virtual void remove(const QUuid& id) = 0;
};

// One "<id>.json" file per report in a folder of this user alone, keeping the newest 20 by crash time.
// A folder that is a link, belongs to someone else or cannot be narrowed to 0700 stores and yields
// nothing. Safe to use from any thread.
class FileCrashReportStore final : public TessaronCrashReportStore {
public:
    static constexpr qsizetype keptReports = 20;

    // "crash-reports" in the application's data folder, or "tessaron-crash-reports" in the temporary
    // folder when there is none.
    static QString defaultDirectory();

    explicit FileCrashReportStore(QString directory = defaultDirectory());

    const QString& directory() const { return directory_; }

    bool save(const TessaronCrashReport& report) override;
    QList<TessaronCrashReport> loadAll() override;
    void remove(const QUuid& id) override;

private:
    QString directory_;
    std::mutex lock_;
};

} // namespace tessaron
