#include "app/sheet_contents.hpp"

#include "screens/appearance_host.hpp"
#include "screens/invitation_import_sheet.hpp"
#include "screens/page_bar.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/settings_pages.hpp"
#include "screens/tessaron_theme.hpp"
#include "screens/update_state.hpp"
#include "session/tessaron_session.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessaron {

namespace {

QString uiText(const char* text) {
    return QCoreApplication::translate("Tessaron", text);
}

QWidget* settingsSheet(const SheetContents& contents, QDialog& dialog) {
    auto* pages =
        new TessaronSettingsPages(contents.session, contents.updates, contents.accountSection, &dialog);
    auto* done = pages->rootBar().addTrailing(uiText("Done"), QStringLiteral("tessaron.doneButton"));
    QObject::connect(done, &QAbstractButton::clicked, &contents.session,
                     [session = &contents.session] { session->setActiveSheet(std::nullopt); });
    return pages;
}

// Until the account screens exist: says what is missing and closes like any sheet.
QWidget* signInStandIn(QDialog& dialog) {
    auto* page = new QWidget(&dialog);
    applyTessaronAppearance(*page);
    auto* bar = new TessaronPageBar(uiText("Sign in"), page);
    auto* close = bar->addLeading(uiText("Cancel"), QStringLiteral("tessaron.signIn.cancel"));
    QObject::connect(close, &QAbstractButton::clicked, &dialog, &QDialog::reject);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 24);
    column->addWidget(bar);
    auto* note = plainLabel(uiText("Signing in is not available in this build."), page);
    note->setAlignment(Qt::AlignCenter);
    column->addWidget(note, 1);
    return page;
}

} // namespace

QWidget* SheetContents::operator()(TessaronSheet sheet, QDialog& dialog) const {
    switch (sheet) {
    case TessaronSheet::privacy:
        return new TessaronPrivacySheet(
            session, [&dialog] { dialog.reject(); }, &dialog);
    case TessaronSheet::importInvitation:
        return new TessaronInvitationImportSheet(
            session, [&dialog] { dialog.reject(); }, &dialog);
    case TessaronSheet::settings:
        return settingsSheet(*this, dialog);
    case TessaronSheet::signIn:
        return signIn ? signIn(dialog) : signInStandIn(dialog);
    }
    return nullptr;
}

QWidget* makeUpdateCover(TessaronUpdateState& updates, QWidget& window) {
    auto* cover = new QWidget(&window);
    applyTessaronAppearance(*cover);
    auto* column = new QVBoxLayout(cover);
    column->setContentsMargins(32, 32, 32, 32);
    column->setSpacing(16);
    column->addStretch(1);
    auto* title = plainLabel(uiText("Update required"), cover);
    title->setFont(TessaronTheme::font(TessaronTheme::largeTitleSize, QFont::Bold));
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    const auto required = updates.required();
    auto* text = plainLabel(uiText("Tessaron %1 or later is required to keep connecting.")
                                .arg(required ? required->version : QString()),
                            cover);
    text->setAlignment(Qt::AlignCenter);
    column->addWidget(text);
    auto* check = new QPushButton(uiText("Check for Updates…"), cover);
    check->setObjectName(QStringLiteral("tessaron.updateCover.check"));
    QObject::connect(check, &QPushButton::clicked, &updates, &TessaronUpdateState::checkForUpdates);
    column->addWidget(check, 0, Qt::AlignCenter);
    column->addStretch(1);
    return cover;
}

} // namespace tessaron
