#pragma once

#include "session/sheet.hpp"

#include <functional>

class QDialog;
class QWidget;

namespace tessaron {

class AccountScreenModel;
class ReduceMotionObserver;
class TessaronSession;
class TessaronUpdateChecker;
class TessaronUpdateState;
class Workspace;

// The settings form's account rows over the account screens' model; their sheets follow `reduceMotion`.
std::function<QWidget*(QWidget* parent)> accountSectionFactory(AccountScreenModel& account,
                                                               TessaronSession& session, Workspace& workspace,
                                                               const ReduceMotionObserver* reduceMotion);

// The main window's sheets: privacy, invitation import, settings and sign-in.
struct SheetContents {
    TessaronSession& session;
    TessaronUpdateState& updates;
    AccountScreenModel& account;
    Workspace& workspace;
    ReduceMotionObserver* reduceMotion = nullptr;

    QDialog* operator()(TessaronSheet sheet, QWidget& window) const;
};

// The view that blocks the main window while `checker` requires an update; only then.
QWidget* makeUpdateCover(TessaronUpdateChecker& checker, Workspace& workspace, QWidget& window);

} // namespace tessaron
