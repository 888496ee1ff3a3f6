#include "screens/privacy_sheet.hpp"
#include "widgets/string_table.hpp"

#include "session/tessaron_session.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/page_bar.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace tessaron {

QStringList TessaronPrivacyDetail::paragraphs() {
    return {
        uiText("Tessaron stores an invitation in the Keychain on this device."),
        uiText(
            "The service administrator keeps connection times, traffic totals, and the observable "
            "destination "
            "domains and IP addresses for seven days, then deletes them. Encrypted page contents, passwords, "
            "and messages are never read."),
        uiText(
            "Tessaron provides internet-only access. It does not control devices on the networks you use."),
        uiText(
            "If Tessaron crashes, the next launch sends a crash report to Tessaron: app and system version, "
            "device model and the crash stack. No account, browsing or connection data."),
    };
}

TessaronPrivacyDetail::TessaronPrivacyDetail(QWidget* parent)
    : TessaronSheetScrollArea(parent) {
    setObjectName(QStringLiteral("tessaron.privacy.page"));
    auto* content = new QWidget;
    TessaronAppearanceHost::apply(*content);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);
    for (const auto& text : paragraphs()) {
        auto* paragraph = plainLabel(text, TessaronTheme::font(TessaronTheme::bodySize),
                                     TessaronTheme::textPrimary(), content);
        paragraph->setObjectName(QStringLiteral("tessaron.privacy.paragraph"));
        paragraph->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        column->addWidget(paragraph);
    }
    column->addStretch(1);
    setWidget(content);
}

TessaronPrivacySheet::TessaronPrivacySheet(TessaronSession& session, std::function<void()> dismiss,
                                           QWidget* parent)
    : QWidget(parent) {
    TessaronAppearanceHost::apply(*this);
    auto* bar = new TessaronPageBar(uiText("Privacy"), this);
    auto* notNow = bar->addLeading(uiText("Not now"), QStringLiteral("tessaron.notNowButton"));
    auto* agree = bar->addTrailing(uiText("Agree"), QStringLiteral("tessaron.agreeButton"));
    connect(notNow, &QAbstractButton::clicked, this, std::move(dismiss));
    connect(agree, &QAbstractButton::clicked, &session, &TessaronSession::grantPrivacyConsent);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    column->addWidget(new TessaronPrivacyDetail(this), 1);
}

} // namespace tessaron
