#include "account_screens/account_section.hpp"
#include "widgets/string_table.hpp"

#include "account_screens/account_buttons.hpp"
#include "account_screens/account_screen_model.hpp"
#include "account_screens/confirmation.hpp"
#include "account_screens/link_text.hpp"
#include "account_screens/login_view.hpp"
#include "account_screens/other_devices_view.hpp"
#include "account_screens/sheet_frame.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace tessaron {
namespace {

QPushButton* rowButton(const QString& text, const QString& identifier, const QColor& color) {
    QPushButton* button = flatTextButton(text, color, 4);
    button->setObjectName(identifier);
    return button;
}

} // namespace

TessaronAccountSection::TessaronAccountSection(AccountScreenModel& model, TessaronSession* session,
                                               Clock& clock, Workspace& workspace,
                                               const ReduceMotionObserver* reduceMotion, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , session_(session)
    , clock_(clock)
    , workspace_(workspace)
    , reduceMotion_(reduceMotion) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(6);
    // Headed and carded like the settings form's own groups, which it sits among.
    auto* header = plainLabel(uiText("Account").toUpper(),
                              TessaronTheme::font(TessaronTheme::footnoteSize, QFont::Medium),
                              TessaronTheme::textSecondary());
    header->setContentsMargins(12, 0, 0, 0);
    outer->addWidget(header);
    auto* card = new QWidget;
    card->setAttribute(Qt::WA_StyledBackground);
    card->setObjectName(QStringLiteral("accountCard"));
    card->setStyleSheet(QStringLiteral("#accountCard { background: %1; border-radius: %2px; }")
                            .arg(TessaronTheme::surface().name())
                            .arg(TessaronTheme::cornerRadius));
    outer->addWidget(card);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(12, 8, 12, 8);

    auto* signIn = rowButton(uiText("Sign in"), QStringLiteral("tessaron.settings.signIn"),
                             TessaronTheme::textPrimary());
    connect(signIn, &QAbstractButton::clicked, this, &TessaronAccountSection::showSignIn);
    signedOut_ = signIn;
    layout->addWidget(signedOut_);

    signedIn_ = new QWidget;
    auto* rows = new QVBoxLayout(signedIn_);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* fields = new QFormLayout;
    // Broken inside the address, never cut: a long address never makes Settings wider than its window, its
    // switches pushed out of sight.
    email_ = TessaronLinkText::address(QFont(), TessaronTheme::textSecondary());
    devices_ = plainLabel({}, QFont(), TessaronTheme::textSecondary());
    fields->addRow(plainLabel(uiText("Email"), QFont(), TessaronTheme::textPrimary()), email_);
    fields->addRow(plainLabel(uiText("Devices"), QFont(), TessaronTheme::textPrimary()), devices_);
    rows->addLayout(fields);

    auto* otherDevices = rowButton(uiText("Windows / Android"), QStringLiteral("tessaron.otherDevices.row"),
                                   TessaronTheme::textPrimary());
    connect(otherDevices, &QAbstractButton::clicked, this, &TessaronAccountSection::showOtherDevices);
    auto* signOut = rowButton(uiText("Sign out"), QString(), TessaronTheme::textPrimary());
    connect(signOut, &QAbstractButton::clicked, this, &TessaronAccountSection::confirmSignOut);
    auto* remove = rowButton(uiText("Delete account…"), QString(), TessaronTheme::danger());
    connect(remove, &QAbstractButton::clicked, this, &TessaronAccountSection::confirmDelete);
    otherDevicesRow_ = otherDevices;
    signOut_ = signOut;
    delete_ = remove;
    rows->addWidget(otherDevices);
    rows->addWidget(signOut);
    rows->addWidget(remove);
    layout->addWidget(signedIn_);

    error_ = plainLabel({}, TessaronTheme::font(TessaronTheme::footnoteSize), TessaronTheme::danger());
    outer->addWidget(error_);

    connect(&model_, &AccountScreenModel::changed, this, &TessaronAccountSection::refresh);
    refresh();
}

TessaronLoginView* TessaronAccountSection::signInSheet() const {
    return signIn_;
}
TessaronOtherDevicesView* TessaronAccountSection::otherDevicesSheet() const {
    return otherDevices_;
}

bool TessaronAccountSection::isPresent() const {
    return model_.providers() || model_.account();
}

void TessaronAccountSection::showSignIn() {
    clearDeletionError();
    if (signIn_)
        return;
    signIn_ = new TessaronLoginView(model_, session_.data(), clock_, reduceMotion_, window());
    signIn_->setAttribute(Qt::WA_DeleteOnClose);
    signIn_->setWindowModality(Qt::WindowModal);
    signIn_->open();
}

void TessaronAccountSection::showOtherDevices() {
    clearDeletionError();
    if (otherDevices_)
        return;
    otherDevices_ = new TessaronOtherDevicesView(model_, clock_, workspace_, reduceMotion_, window());
    otherDevices_->setAttribute(Qt::WA_DeleteOnClose);
    otherDevices_->setWindowModality(Qt::WindowModal);
    otherDevices_->open();
}

void TessaronAccountSection::confirmSignOut() {
    clearDeletionError();
    confirm(this,
            {.title = uiText("Sign out?"),
             .destructiveButton = uiText("Sign out"),
             .message = uiText(
                 "Tessaron's connection will be removed from this device. Sign in again to restore it.")},
            [this] { model_.signOut(session_.data()); });
}

void TessaronAccountSection::confirmDelete() {
    clearDeletionError();
    confirm(this, {.title = uiText("Delete your Tessaron account?"), .destructiveButton = uiText("Delete")},
            [this] { deleteAccount(); });
}

QCoro::Task<> TessaronAccountSection::deleteAccount() {
    QPointer self(this);
    co_await model_.deleteAccount(session_.data());
    // Neither a refusal nor a deletion that never reached the service may pass for success.
    if (self && model_.lastError()) {
        deletionError_ = model_.lastError();
        refresh();
    }
}

void TessaronAccountSection::clearDeletionError() {
    deletionError_.reset();
    refresh();
}

// Settings restored from a minimise shows the section again spontaneously: no new appearance, so no refresh
// and the deletion error stays; a minimise cancels nothing.
void TessaronAccountSection::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    deletionError_.reset();
    appeared_ = true;
    refresh();
}

void TessaronAccountSection::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    appeared_ = false;
    appearance_.cancel();
}

void TessaronAccountSection::startAppearanceRefresh() {
    startRefresh(appearance_, model_, session_);
}

void TessaronAccountSection::refresh() {
    const bool present = isPresent();
    // An absent section still occupies its place in the form, empty, so that it can appear later.
    for (QObject* child : children()) {
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow())
            widget->setVisible(present);
    }
    // Absent because the service has not answered yet, it still asks at each appearance, so that it shows
    // once the service is back.
    if ((present || model_.awaitsFirstAnswer()) && appeared_ && !appearance_.isRunning()) {
        appeared_ = false;
        startAppearanceRefresh();
    }
    if (!present)
        return;
    const auto& account = model_.account();
    signedOut_->setVisible(!account);
    signedIn_->setVisible(account.has_value());
    if (account) {
        email_->setLink(account->email);
        devices_->setText(uiText("%lld").replace(QStringLiteral("%lld"), QString::number(account->sessions)));
        otherDevicesRow_->setVisible(account->subscriptionLinks);
    }
    signOut_->setEnabled(!model_.isBusy());
    delete_->setEnabled(!model_.isBusy());
    error_->setVisible(deletionError_.has_value());
    error_->setText(deletionError_
                        ? QCoreApplication::translate("Tessaron", deletionError_->toUtf8().constData())
                        : QString());
    if (otherDevices_ && account && !account->subscriptionLinks)
        otherDevices_->close();
}

} // namespace tessaron
