#pragma once

#include "platform/clock.hpp"
#include "platform/preferences.hpp"

#include <QByteArrayList>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

namespace tessaron {

// The user-visible record of connection events, kept across restarts. Personal data (e-mail and IPv4
// addresses, tokens) is redacted before anything is stored. Lives on the main thread.
class TessaronConnectionLog final : public QObject {
    Q_OBJECT
public:
    struct Entry {
        QDateTime at;
        // Already redacted.
        QString text;

        bool operator==(const Entry&) const = default;
    };
    using Entries = QList<Entry>;
    Q_PROPERTY(tessaron::TessaronConnectionLog::Entries entries READ entries NOTIFY entriesChanged)

    static inline const QString storageKey = QStringLiteral("tessaron.connection.log");
    static constexpr qsizetype capacity = 300;

    // Restores the stored log; a stored value that does not decode gives an empty log.
    TessaronConnectionLog(Preferences& preferences, Clock& clock, QObject* parent = nullptr);

    // The process's log over the standard preferences and the system clock, created on first use.
    static TessaronConnectionLog& shared();

    // Oldest first.
    const Entries& entries() const { return entries_; }

    // Redacts the line, stamps it with the current time, keeps the newest entries and stores them.
    void append(const QString& line);
    // One line per entry, oldest first: the local time as "HH:mm:ss.SSS", two spaces, the text.
    QString exportText() const;
    // Empties the log and forgets the stored copy.
    void clear();

Q_SIGNALS:
    void entriesChanged(const tessaron::TessaronConnectionLog::Entries& entries);

private:
    void restore();
    void persist();

    Preferences& preferences_;
    Clock& clock_;
    Entries entries_;
    // Each entry as it is stored, made once when it comes in: a new line joins them rather than
    // encoding the whole log again.
    QByteArrayList encoded_;
};

} // namespace tessaron
