#pragma once

#include "profiles/connection_log.hpp"

#include <QPointer>
#include <QWidget>

#include <optional>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace tessaron {
class TessaronPageBar;
}

namespace tessaron {

// The local connection log, newest first, with Copy (oldest first, for support) and Clear. Rows are kept
// as the log grows: a new event takes its place at the top without moving the rows a person is reading or
// dropping a selection in them.
class TessaronConnectionLogView final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronConnectionLogView(TessaronConnectionLog& log, QWidget* parent = nullptr);

    // Where the Copy and Clear buttons go: the page bar of whoever shows this page.
    void addActions(TessaronPageBar& bar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A row the person reads, and how far below the top of the visible area it stands.
    struct Anchor {
        QPointer<QWidget> row;
        int offset = 0;
    };

    void refresh();
    void holdAnchor();
    void keepAnchor();

    TessaronConnectionLog& log_;
    QLabel* empty_;
    QScrollArea* list_;
    QVBoxLayout* rows_;
    // What the rows show, oldest first, as the log held it.
    TessaronConnectionLog::Entries shown_;
    std::optional<Anchor> anchor_;
    bool keeping_ = false;
};

} // namespace tessaron
