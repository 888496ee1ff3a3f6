#pragma once

#include "profiles/connection_log.hpp"

#include <QWidget>

class QLabel;

namespace tessaron {
class TessaronConnectionLogList;
class TessaronConnectionLogModel;
class TessaronPageBar;

// The local connection log, newest first, with Copy (oldest first, for support) and Clear. The rows are a
// list over a model of the log: a new event is one row inserted at the top, without moving the rows a
// person is reading or dropping a selection in them, and only the rows in view are laid out and painted.
class TessaronConnectionLogView final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronConnectionLogView(TessaronConnectionLog& log, QWidget* parent = nullptr);

    // Where the Copy and Clear buttons go: the page bar of whoever shows this page.
    void addActions(TessaronPageBar& bar);

private:
    void showEmpty();

    TessaronConnectionLog& log_;
    TessaronConnectionLogModel* model_;
    QLabel* empty_;
    TessaronConnectionLogList* list_;
};

} // namespace tessaron
