#pragma once

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
// As a sheet it gets "Done" on its bar; the Settings window shows it without.
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

private:
    void push(const QString& title, QWidget* content,
              const std::function<void(TessaronPageBar&)>& actions = {});

    QStackedWidget* stack_;
    TessaronPageBar* rootBar_;
};

} // namespace tessaron
