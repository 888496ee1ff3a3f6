#pragma once

#include <QWidget>

class QLabel;
class QListWidget;

namespace tessaron {
class TessaronPageBar;
}

namespace tessaron {

class TessaronConnectionLog;

// The local connection log, newest first, with Copy (oldest first, for support) and Clear.
class TessaronConnectionLogView final : public QWidget {
    Q_OBJECT
public:
    explicit TessaronConnectionLogView(TessaronConnectionLog& log, QWidget* parent = nullptr);

    // Where the Copy and Clear buttons go: the page bar of whoever shows this page.
    void addActions(TessaronPageBar& bar);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void fitRows();

    TessaronConnectionLog& log_;
    QLabel* empty_;
    QListWidget* list_;
};

} // namespace tessaron
