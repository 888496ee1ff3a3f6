#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QStackedWidget;

namespace tessaron {

class TessaronPageBar;
class TessaronSession;
class TessaronUpdateState;
class Workspace;

// The container of the settings form: the form under its "Settings" bar, with the user guide (links open
// through the workspace), the privacy text and the connection log pushed over it, each with a Back control.
// As a sheet it gets "Done" on its bar; the Settings window shows it without. Escape goes back to the
// form, then closes the window (a sheet's dialog rejects).
class TessaronSettingsSheet final : public QWidget {
    Q_OBJECT
public:
    TessaronSettingsSheet(TessaronSession& session, TessaronUpdateState& updates,
                          std::function<QWidget*(QWidget* parent)> accountSection, Workspace& workspace,
                          QWidget* parent = nullptr);

    TessaronPageBar& rootBar() const { return *rootBar_; }
    // The page on top: the form's page or a pushed one.
    QWidget* currentPage() const;
    void popToRoot();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void push(const QString& title, QWidget* content,
              const std::function<void(TessaronPageBar&)>& actions = {});

    QStackedWidget* stack_;
    TessaronPageBar* rootBar_;
    // What had the focus when a page was pushed over the form.
    QPointer<QWidget> opener_;
};

} // namespace tessaron
