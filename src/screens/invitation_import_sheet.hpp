#pragma once

#include "screens/invitation_input_section.hpp"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace tessaron {

class TessaronSession;

// The sheet that adds a connection from a pasted invitation link or code: the invitation input section
// under a bar with Cancel, and under it the section's message line. It closes through `dismiss` once the
// section's invitation was taken.
class TessaronInvitationImportSheet final : public QWidget {
    Q_OBJECT
public:
    TessaronInvitationImportSheet(TessaronSession& session, std::optional<QUrl> pairingBase,
                                  std::function<void()> dismiss, QWidget* parent = nullptr);

    TessaronInvitationInputSection& section() const { return *section_; }

private:
    void showBanner(const std::optional<InvitationBanner>& banner);

    TessaronInvitationInputSection* section_;
    QLabel* message_;
};

} // namespace tessaron
