#pragma once

#include <QWidget>

#include <QUrl>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;

namespace tessaron {

class TessaronSession;

// The link a pasted text stands for: the link itself, or a bare code in the application's scheme.
std::optional<QUrl> invitationLinkFor(const QString& text);

// Takes a pasted invitation link or code and hands it to the session's invitation flow.
class TessaronInvitationImportSheet final : public QWidget {
    Q_OBJECT
public:
    TessaronInvitationImportSheet(TessaronSession& session, std::function<void()> dismiss,
                                  QWidget* parent = nullptr);

private:
    void submit();

    TessaronSession& session_;
    QLineEdit* input_;
    QLabel* problem_;
};

} // namespace tessaron
