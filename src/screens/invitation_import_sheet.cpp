#include "screens/invitation_import_sheet.hpp"

#include "screens/invitation_input_section.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/page_bar.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace tessaron {

TessaronInvitationImportSheet::TessaronInvitationImportSheet(TessaronSession& session,
                                                             std::optional<QUrl> pairingBase,
                                                             std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent)
    , section_(new TessaronInvitationInputSection(session, std::move(pairingBase), this))
    , message_(plainLabel({}, TessaronTheme::captionFont(), TessaronTheme::danger(), this)) {
    TessaronAppearanceHost::apply(*this);
    auto* bar = new TessaronPageBar(QCoreApplication::translate("Tessaron", "Add a connection"), this);
    auto* cancel = bar->addLeading(QCoreApplication::translate("Tessaron", "Cancel"),
                                   QStringLiteral("tessaron.import.cancel"));
    connect(cancel, &QAbstractButton::clicked, this, dismiss);
    connect(section_, &TessaronInvitationInputSection::finished, this, dismiss);
    connect(section_, &TessaronInvitationInputSection::bannerChanged, this,
            &TessaronInvitationImportSheet::showBanner);
    message_->hide();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(24, 16, 24, 24);
    body->setSpacing(12);
    body->addWidget(section_);
    body->addWidget(message_);
    body->addStretch(1);
    column->addLayout(body, 1);
}

void TessaronInvitationImportSheet::showBanner(const std::optional<InvitationBanner>& banner) {
    message_->setVisible(banner.has_value());
    message_->setText(banner ? banner->text : QString());
    message_->setAccessibleName(message_->text());
    QPalette palette = message_->palette();
    palette.setColor(QPalette::WindowText,
                     banner && !banner->isError ? TessaronTheme::textSecondary() : TessaronTheme::danger());
    message_->setPalette(palette);
}

} // namespace tessaron
