#include "screens/connection_log_model.hpp"

#include <algorithm>

namespace tessaron {

namespace {

const QString timeFormat = QStringLiteral("HH:mm:ss");

// How many of the rows, oldest first, the log has dropped: the rest of them start the log as it is now. All
// of them when nothing is left in common (a cleared log).
template <typename Rows>
qsizetype droppedFromStart(const Rows& shown, const TessaronConnectionLog::Entries& now) {
    for (qsizetype dropped = 0; dropped <= shown.size(); ++dropped) {
        const qsizetype kept = shown.size() - dropped;
        if (kept <= now.size() && std::equal(shown.begin() + dropped, shown.end(), now.begin(),
                                             [](const auto& row, const TessaronConnectionLog::Entry& entry) {
                                                 return row.entry == entry;
                                             }))
            return dropped;
    }
    return shown.size();
}

} // namespace

TessaronConnectionLogModel::TessaronConnectionLogModel(TessaronConnectionLog& log, QObject* parent)
    : QAbstractListModel(parent) {
    connect(&log, &TessaronConnectionLog::entriesChanged, this, &TessaronConnectionLogModel::follow);
    follow(log.entries());
}

int TessaronConnectionLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant TessaronConnectionLogModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.entry.text;
    case TimeRole:
        return row.time;
    case IdentifierRole:
        return rowIdentifier;
    case Qt::AccessibleTextRole:
        return row.time + QLatin1Char(' ') + row.entry.text;
    default:
        return {};
    }
}

QString TessaronConnectionLogModel::copyText(QModelIndexList rows) const {
    // Newest first on screen; oldest first in what is pasted, as the log's own export reads.
    std::ranges::sort(rows, [](const QModelIndex& a, const QModelIndex& b) { return a.row() > b.row(); });
    QStringList lines;
    for (const auto& index : rows)
        lines.append(data(index, Qt::AccessibleTextRole).toString());
    return lines.join(QLatin1Char('\n'));
}

void TessaronConnectionLogModel::follow(const TessaronConnectionLog::Entries& entries) {
    const qsizetype dropped = droppedFromStart(rows_, entries);
    // The oldest rows are the model's last.
    if (dropped > 0) {
        const int shown = int(rows_.size());
        beginRemoveRows({}, shown - int(dropped), shown - 1);
        rows_.remove(0, dropped);
        endRemoveRows();
    }
    const qsizetype kept = rows_.size();
    if (entries.size() > kept) {
        beginInsertRows({}, 0, int(entries.size() - kept) - 1);
        for (qsizetype index = kept; index < entries.size(); ++index)
            rows_.append({entries[index], entries[index].at.toLocalTime().toString(timeFormat)});
        endInsertRows();
    }
    if (dropped > 0 || entries.size() > kept)
        Q_EMIT settled();
}

} // namespace tessaron
