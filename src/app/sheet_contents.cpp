#include "app/sheet_contents.hpp"
#include "widgets/string_table.hpp"

#include "account_screens/account_section.hpp"
#include "account_screens/login_view.hpp"
#include "platform/bundle_info.hpp"
#include "platform/system_clock.hpp"
#include "screens/invitation_import_sheet.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/settings_sheet.hpp"
#include "screens/sheet_host.hpp"
#include "screens/update_required_view.hpp"
#include "screens/update_state.hpp"
#include "session/tessaron_session.hpp"
#include "updates/update_checker.hpp"
#include "widgets/page_bar.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>

namespace tessaron {

namespace {

QWidget* settingsSheet(const SheetContents& contents, QDialog& dialog) {
    auto* pages = new TessaronSettingsSheet(
        contents.session, contents.updates,
        accountSectionFactory(contents.account, contents.session, contents.workspace, contents.reduceMotion),
        contents.workspace, &dialog);
    auto* done = pages->rootBar().addTrailing(uiText("Done"), QStringLiteral("tessaron.doneButton"));
    QObject::connect(done, &QAbstractButton::clicked, &contents.session,
                     [session = &contents.session] { session->setActiveSheet(std::nullopt); });
    return pages;
}

} // namespace

std::function<QWidget*(QWidget* parent)> accountSectionFactory(AccountScreenModel& account,
                                                               TessaronSession& session, Workspace& workspace,
                                                               const ReduceMotionObserver* reduceMotion) {
    return [&account, &session, &workspace, reduceMotion](QWidget* parent) {
        return new TessaronAccountSection(account, &session, SystemClock::shared(), workspace, reduceMotion,
                                          parent);
    };
}

QDialog* SheetContents::operator()(TessaronSheet sheet, QWidget& window) const {
    const auto inDialog = [&window](auto content) {
        return TessaronSheetHost::sheetDialog(window, content);
    };
    switch (sheet) {
    case TessaronSheet::privacy:
        return inDialog([this](QDialog& dialog) {
            return new TessaronPrivacySheet(
                session, [&dialog] { dialog.reject(); }, &dialog);
        });
    case TessaronSheet::importInvitation:
        return inDialog([this](QDialog& dialog) {
            return new TessaronInvitationImportSheet(
                session, BundleInfo::main().pairingBaseURL(), [&dialog] { dialog.reject(); }, &dialog);
        });
    case TessaronSheet::settings:
        return inDialog([this](QDialog& dialog) { return settingsSheet(*this, dialog); });
    case TessaronSheet::signIn:
        return new TessaronLoginView(account, &session, SystemClock::shared(), reduceMotion, &window);
    }
    return nullptr;
}

QWidget* makeUpdateCover(TessaronUpdateChecker& checker, Workspace& workspace, QWidget& window) {
    auto* cover = new TessaronUpdateRequiredView(updateRequiredFields(checker, checker.required().value()),
                                                 workspace, &window);
    cover->showOver(window);
    return cover;
}

} // namespace tessaron
