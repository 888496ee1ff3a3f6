#pragma once

#include <QList>
#include <QString>

namespace tessaron {

// The system log of the application: subsystem "com.hallmere.tessaron" and a category per area. Lines go
// to syslog (the journal) and, in debug builds, to stderr. Messages carry no personal data: errors are
// logged by domain and code only.
class SystemLog {
public:
    enum class Level { info, error };

    struct Line {
        QString subsystem;
        QString category;
        Level level;
        QString message;
        bool operator==(const Line&) const = default;
    };

    static inline const QString subsystem = QStringLiteral("com.hallmere.tessaron");

    explicit SystemLog(QString category);

    const QString& category() const { return category_; }
    void info(const QString& message) const;
    void error(const QString& message) const;

    // While one exists, lines are collected here instead of being written out, so tests can read them.
    class Capture {
    public:
        Capture();
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;

        QList<Line> lines() const;
        QStringList messages() const;
    };

private:
    void write(Level level, const QString& message) const;

    QString category_;
};

} // namespace tessaron
