#pragma once

#include "session/sheet.hpp"

#include <functional>

class QDialog;
class QWidget;

namespace tessaron {

class TessaronSession;
class TessaronUpdateState;

// The main window's sheets: privacy, invitation import, settings and sign-in.
struct SheetContents {
    TessaronSession& session;
    TessaronUpdateState& updates;
    // The settings form's account section and the sign-in page, from the account screens; a stand-in
    // page when absent.
    std::function<QWidget*(QWidget* parent)> accountSection;
    std::function<QWidget*(QDialog& dialog)> signIn;

    QWidget* operator()(TessaronSheet sheet, QDialog& dialog) const;
};

// The page that blocks the main window while an update is required.
QWidget* makeUpdateCover(TessaronUpdateState& updates, QWidget& window);

} // namespace tessaron
