#include "screens/invitation_import_sheet.hpp"

#include "profiles/access_input.hpp"
#include "screens/appearance_host.hpp"
#include "screens/page_bar.hpp"
#include "screens/tessaron_theme.hpp"
#include "session/tessaron_session.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace tessaron {

namespace {

QString uiText(const char* text) {
    return QCoreApplication::translate("Tessaron", text);
}

} // namespace

TessaronInvitationImportSheet::TessaronInvitationImportSheet(TessaronSession& session,
                                                             std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , input_(new QLineEdit(this))
    , problem_(plainLabel(uiText("That is not an invitation link or code."), this)) {
    applyTessaronAppearance(*this);
    auto* bar = new TessaronPageBar(uiText("Add a connection"), this);
    auto* cancel = bar->addLeading(uiText("Cancel"), QStringLiteral("tessaron.import.cancel"));
    auto* add = bar->addTrailing(uiText("Add"), QStringLiteral("tessaron.import.add"));
    connect(cancel, &QAbstractButton::clicked, this, std::move(dismiss));
    connect(add, &QAbstractButton::clicked, this, &TessaronInvitationImportSheet::submit);
    connect(input_, &QLineEdit::returnPressed, this, &TessaronInvitationImportSheet::submit);
    add->setEnabled(false);
    connect(input_, &QLineEdit::textChanged, add,
            [add](const QString& text) { add->setEnabled(!text.trimmed().isEmpty()); });

    input_->setObjectName(QStringLiteral("tessaron.import.input"));
    input_->setPlaceholderText(uiText("Invitation link or code"));
    input_->setMinimumHeight(36);
    auto* hint = plainLabel(uiText("Paste the invitation link or code you received."), this);
    hint->setFont(TessaronTheme::font(TessaronTheme::footnoteSize));
    hint->setStyleSheet(QStringLiteral("color: %1").arg(TessaronTheme::textSecondary().name()));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(24, 16, 24, 24);
    body->setSpacing(8);
    body->addWidget(input_);
    body->addWidget(hint);
    problem_->setObjectName(QStringLiteral("tessaron.import.problem"));
    problem_->setFont(TessaronTheme::font(TessaronTheme::footnoteSize));
    problem_->setStyleSheet(QStringLiteral("color: %1").arg(TessaronTheme::danger().name()));
    problem_->hide();
    body->addWidget(problem_);
    body->addStretch(1);
    column->addLayout(body, 1);
}

std::optional<QUrl> invitationLinkFor(const QString& text) {
    const auto input = TessaronAccessInput::parse(text);
    switch (input.kind()) {
    case TessaronAccessInput::Kind::invitationLink:
        return input.link();
    case TessaronAccessInput::Kind::invitationToken: {
        QUrl link;
        link.setScheme(QStringLiteral("tessaron"));
        link.setHost(QStringLiteral("invite"));
        link.setQuery(QUrlQuery{{QStringLiteral("invite"), input.token()}});
        return link;
    }
    case TessaronAccessInput::Kind::invalid:
        break;
    }
    return std::nullopt;
}

void TessaronInvitationImportSheet::submit() {
    const auto link = invitationLinkFor(input_->text());
    problem_->setVisible(!link);
    if (!link)
        return;
    // The sheet closes first: the flow may open the sign-in or privacy sheet in its place.
    session_.setActiveSheet(std::nullopt);
    session_.openInvitationLink(*link);
}

} // namespace tessaron
