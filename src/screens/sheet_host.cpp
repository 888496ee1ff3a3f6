#include "screens/sheet_host.hpp"

#include "screens/update_state.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/page_bar.hpp"
#include "widgets/sheet_dialog.hpp"

#include <QDialog>
#include <QEvent>
#include <QVBoxLayout>

namespace tessaron {

TessaronSheetHost::TessaronSheetHost(TessaronSession& session, TessaronUpdateState& updates, QWidget& window,
                                     SheetFactory sheets, CoverFactory cover)
    : QObject(&window)
    , session_(session)
    , updates_(updates)
    , window_(window)
    , makeSheet_(std::move(sheets))
    , makeCover_(std::move(cover)) {
    window_.installEventFilter(this);
    connect(&session_, &TessaronSession::activeSheetChanged, this, [this] { follow(); });
    connect(&updates_, &TessaronUpdateState::requiredChanged, this, [this] { requirementChanged(); });
    updateCover();
    follow();
}

TessaronSheetHost::~TessaronSheetHost() {
    if (dialog_)
        closeBySelf();
}

std::optional<TessaronSheet>
TessaronSheetHost::valueAfterUserClose(std::optional<TessaronSheet> active,
                                       std::optional<TessaronSheet> signInOrigin) {
    if (active == TessaronSheet::signIn && signInOrigin == TessaronSheet::settings)
        return TessaronSheet::settings;
    return std::nullopt;
}

std::optional<TessaronSheet> TessaronSheetHost::effectiveSheet() const {
    if (updates_.required())
        return std::nullopt;
    return session_.activeSheet();
}

void TessaronSheetHost::offerPrivacy() {
    if (std::exchange(didOfferPrivacy_, true))
        return;
    if (updates_.required()) {
        session_.setActiveSheet(std::nullopt);
        return;
    }
    if (session_.consentGranted() || session_.activeSheet())
        return;
    session_.setActiveSheet(TessaronSheet::privacy);
}

void TessaronSheetHost::requirementChanged() {
    if (updates_.required())
        session_.setActiveSheet(std::nullopt);
    // A cover names the required version: another requirement gets a new one.
    if (cover_)
        dropCover();
    updateCover();
    follow();
}

void TessaronSheetHost::follow() {
    const auto wanted = effectiveSheet();
    if (presentedSheet_ == wanted)
        return;
    if (dialog_)
        closeBySelf();
    // One turn later, so that a sheet replacing another opens after the old one is gone and the write
    // that replaced it has finished.
    if (wanted && !std::exchange(presentPending_, true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                presentPending_ = false;
                present();
            },
            Qt::QueuedConnection);
}

void TessaronSheetHost::present() {
    const auto wanted = effectiveSheet();
    if (!wanted || presentedSheet_ == wanted)
        return;
    if (dialog_)
        closeBySelf();
    auto* dialog = makeSheet_(*wanted, window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setObjectName(QStringLiteral("tessaron.sheet"));
    connect(dialog, &QDialog::finished, this, [this, dialog] { userClosed(dialog); });
    dialog_ = dialog;
    dialog->installEventFilter(this);
    presentedSheet_ = wanted;
    dialog->adjustSize();
    placeDialog();
    dialog->open();
}

QDialog* TessaronSheetHost::sheetDialog(QWidget& window,
                                        const std::function<QWidget*(QDialog& dialog)>& content) {
    auto* dialog = new TessaronSheetDialog(&window);
    dialog->setMinimumSize(boundedByScreen(window, {minimumSheetSide, minimumSheetSide}));
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content(*dialog));
    // Named, for the window list and readers, by the title on its bar.
    if (const auto* bar = dialog->findChild<TessaronPageBar*>())
        dialog->setWindowTitle(bar->title());
    return dialog;
}

void TessaronSheetHost::closeBySelf() {
    QPointer dialog = std::exchange(dialog_, nullptr);
    presentedSheet_.reset();
    if (!dialog)
        return;
    dialog->disconnect(this);
    // Hidden, not closed: a close is the user's, and may end what the sheet started (a web sign-in).
    dialog->hide();
    dialog->deleteLater();
}

void TessaronSheetHost::userClosed(QDialog* dialog) {
    if (dialog != dialog_)
        return;
    dialog_ = nullptr;
    presentedSheet_.reset();
    if (updates_.required())
        session_.setActiveSheet(std::nullopt);
    else
        session_.setActiveSheet(valueAfterUserClose(session_.activeSheet(), session_.signInOrigin()));
    follow();
}

void TessaronSheetHost::updateCover() {
    const bool required = updates_.required().has_value();
    if (required && !cover_) {
        cover_ = makeCover_(window_);
        cover_->setObjectName(QStringLiteral("tessaron.updateCover"));
        cover_->setAutoFillBackground(true);
        cover_->setGeometry(window_.rect());
        cover_->show();
        cover_->raise();
    } else if (!required && cover_) {
        dropCover();
    }
}

// Hidden at once: until it is deleted, a cover still shown would keep taking the focus from the new one.
void TessaronSheetHost::dropCover() {
    QWidget* old = std::exchange(cover_, nullptr);
    old->hide();
    old->deleteLater();
}

// Centred over the window, near its top, as a sheet drops from the title bar, and moved up where the screen
// ends below it; again whenever the window moves, since the window manager may place it after the sheet
// opened, and whenever the sheet grows or shrinks with its content.
void TessaronSheetHost::placeDialog() {
    if (!dialog_)
        return;
    const QPoint top = window_.mapToGlobal(QPoint(window_.width() / 2, 0));
    dialog_->move(top.x() - dialog_->width() / 2, top.y() + 24);
    keepWithinScreen(*dialog_);
}

bool TessaronSheetHost::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Resize && cover_)
        cover_->setGeometry(window_.rect());
    const bool windowMoved =
        watched == &window_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize);
    const bool sheetResized = watched == dialog_ && event->type() == QEvent::Resize;
    if (windowMoved || sheetResized)
        placeDialog();
    return QObject::eventFilter(watched, event);
}

} // namespace tessaron
