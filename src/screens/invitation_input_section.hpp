#pragma once

#include "profiles/access_input.hpp"

#include <QUrl>
#include <QWidget>

#include <qcoro/qcorotask.h>

#include <optional>

class QLabel;
class QLineEdit;
class QBoxLayout;

namespace tessaron {

class TessaronSession;
class TessaronOutlinedButton;
class TessaronSpinner;

// The invitation sheet's message line.
struct InvitationBanner {
    QString text;
    bool isError = false;
    friend bool operator==(const InvitationBanner&, const InvitationBanner&) = default;
};

// The link a classified input opens: the link itself, or a code's connect link on the pairing service's
// host; none for input that is not an invitation or a code without a usable service.
std::optional<QUrl> invitationURL(const TessaronAccessInput& input, const std::optional<QUrl>& pairingBase);

// The card where an invitation link or code is pasted and handed to the session.
class TessaronInvitationInputSection final : public QWidget {
    Q_OBJECT
public:
    TessaronInvitationInputSection(TessaronSession& session, std::optional<QUrl> pairingBase,
                                   QWidget* parent = nullptr);

    bool isInvitationSubmitDisabled() const;
    bool isBusy() const { return busy_; }
    const std::optional<InvitationBanner>& banner() const { return banner_; }
    void submitInvitationInput();

Q_SIGNALS:
    void bannerChanged(const std::optional<tessaron::InvitationBanner>& banner);
    // The invitation was taken: the sheet closes.
    void finished();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QCoro::Task<> openInvitation(QUrl url);
    void setBanner(std::optional<InvitationBanner> banner);
    void setInvalid(bool invalid);
    void setBusy(bool busy);
    void refresh();
    void arrange(bool stacked);

    TessaronSession& session_;
    std::optional<QUrl> pairingBase_;
    bool busy_ = false;
    std::optional<bool> stacked_;
    // What the field needs to show its whole placeholder, and the compact button's width.
    int fieldWidth_ = 0;
    int compactButtonWidth_ = 0;
    std::optional<InvitationBanner> banner_;
    QLineEdit* field_;
    TessaronOutlinedButton* button_;
    TessaronSpinner* spinner_;
    QLabel* error_;
    QBoxLayout* inputs_;
};

} // namespace tessaron
