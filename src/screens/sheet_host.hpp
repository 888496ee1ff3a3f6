#pragma once

#include "session/sheet.hpp"

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QWidget;

namespace tessaron {

class TessaronSession;
class TessaronUpdateState;

// Turns the session's `activeSheet` into one window-modal dialog over the main window, writes the user's
// dismissals back, offers the privacy sheet once per window, and covers the window while an update is
// required. A sheet the host itself closes (a replacement, a requirement) writes nothing back.
class TessaronSheetHost final : public QObject {
    Q_OBJECT
public:
    // Builds a sheet's dialog over the window; a close from the content goes through the dialog's
    // reject() (the user's dismissal) or through the session. `sheetDialog` wraps plain content.
    using SheetFactory = std::function<QDialog*(TessaronSheet sheet, QWidget& window)>;
    // Builds the page that covers the window while an update is required.
    using CoverFactory = std::function<QWidget*(QWidget& window)>;

    static constexpr int minimumSheetSide = 420;

    TessaronSheetHost(TessaronSession& session, TessaronUpdateState& updates, QWidget& window,
                      SheetFactory sheets, CoverFactory cover);
    ~TessaronSheetHost() override;

    // A sheet's dialog holding the content `content` builds inside it.
    static QDialog* sheetDialog(QWidget& window, const std::function<QWidget*(QDialog& dialog)>& content);

    // Runs once for this host: asks for consent when it is missing and nothing else is on screen.
    void offerPrivacy();

    // The sheet the window should show: none while an update is required.
    std::optional<TessaronSheet> effectiveSheet() const;
    // What is on screen now.
    std::optional<TessaronSheet> presentedSheet() const { return presentedSheet_; }
    QDialog* presentedDialog() const { return dialog_; }
    QWidget* cover() const { return cover_; }

    // The value the binding stores when the user closes the sheet.
    static std::optional<TessaronSheet> valueAfterUserClose(std::optional<TessaronSheet> active,
                                                            std::optional<TessaronSheet> signInOrigin);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void requirementChanged();
    void follow();
    void present();
    void closeBySelf();
    void userClosed(QDialog* dialog);
    void updateCover();
    void dropCover();
    void placeDialog();

    TessaronSession& session_;
    TessaronUpdateState& updates_;
    QWidget& window_;
    SheetFactory makeSheet_;
    CoverFactory makeCover_;
    QPointer<QDialog> dialog_;
    std::optional<TessaronSheet> presentedSheet_;
    QPointer<QWidget> cover_;
    bool didOfferPrivacy_ = false;
    bool presentPending_ = false;
};

} // namespace tessaron
