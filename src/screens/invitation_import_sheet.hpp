#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

namespace tessaron {

class TessaronInvitationInputSection;
class TessaronSession;

// The sheet that adds a connection from a pasted invitation link or code: the invitation input section
// under a bar with Cancel. It closes through `dismiss` once the section's invitation was taken.
class TessaronInvitationImportSheet final : public QWidget {
    Q_OBJECT
public:
    TessaronInvitationImportSheet(TessaronSession& session, std::optional<QUrl> pairingBase,
                                  std::function<void()> dismiss, QWidget* parent = nullptr);

    TessaronInvitationInputSection& section() const { return *section_; }

private:
    TessaronInvitationInputSection* section_;
};

} // namespace tessaron
