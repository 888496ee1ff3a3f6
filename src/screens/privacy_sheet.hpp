#pragma once

#include "widgets/sheet_dialog.hpp"

#include <QStringList>
#include <QWidget>

#include <functional>

namespace tessaron {

class TessaronSession;

// The privacy paragraphs, scrolling; a page of the settings and the body of the privacy sheet.
class TessaronPrivacyDetail final : public TessaronSheetScrollArea {
    Q_OBJECT
public:
    explicit TessaronPrivacyDetail(QWidget* parent = nullptr);
    static QStringList paragraphs();
};

// Asks for the privacy consent: "Agree" records it through the session, which closes the sheet;
// "Not now" only dismisses.
class TessaronPrivacySheet final : public QWidget {
    Q_OBJECT
public:
    TessaronPrivacySheet(TessaronSession& session, std::function<void()> dismiss, QWidget* parent = nullptr);
};

} // namespace tessaron
