#pragma once

#include "profiles/connection_log.hpp"

#include <QAbstractListModel>

namespace tessaron {

// The log's entries as rows, newest first. It follows the log by difference: a new entry is one row
// inserted at the top and an entry the log dropped is one row removed at the bottom (Clear removes them
// all); it never resets, so a view keeps its selection and the row being read.
class TessaronConnectionLogModel final : public QAbstractListModel {
    Q_OBJECT
public:
    // IdentifierRole: what a row is known by to tests and tools, as a widget is by its object name.
    enum Role { TimeRole = Qt::UserRole + 1, IdentifierRole };

    static inline const QString rowIdentifier = QStringLiteral("tessaron.connectionLog.entry");

    explicit TessaronConnectionLogModel(TessaronConnectionLog& log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // Display: the text; TimeRole: the time as "HH:mm:ss"; the reader's text: the time, then the text.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Rows as "time text" lines, oldest first, as they are copied from a selection.
    QString copyText(QModelIndexList rows) const;

Q_SIGNALS:
    // The rows follow a change of the log: after the rows it removed and the rows it inserted, once.
    void settled();

private:
    struct Row {
        TessaronConnectionLog::Entry entry;
        // Formatted once, when the row comes in: painting and reading it asks again and again.
        QString time;
    };

    void follow(const TessaronConnectionLog::Entries& entries);
    const Row& rowAt(int row) const { return rows_[rows_.size() - 1 - row]; }

    // Oldest first, as the log holds them; the model's row 0 is the last.
    QList<Row> rows_;
};

} // namespace tessaron
