#pragma once

#include "session/extension_approval.hpp"
#include "session/extension_notice.hpp"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QHBoxLayout;

namespace tessaron {

class TessaronSession;
class TessaronSpinner;
class TessaronSystemExtensionActivating;

// What the extension card shows; the approval wins over the notice.
struct ExtensionCardContent {
    enum class Action { openSettings, cancel, dismiss, moveToApplications, quit };
    QString title;
    QString explanation;
    bool spinner = false;
    QList<Action> actions;
};
std::optional<ExtensionCardContent>
extensionCardContent(const std::optional<TessaronExtensionApproval>& approval,
                     const std::optional<TessaronExtensionNotice>& notice);

// Where the tunnel extension's activation stands, with the buttons that move it on. Draws nothing when
// there is nothing to report.
class TessaronExtensionStatusCard final : public QWidget {
    Q_OBJECT
public:
    TessaronExtensionStatusCard(TessaronSession& session, TessaronSystemExtensionActivating& activator,
                                QWidget* parent = nullptr);
    void refresh();
    void setAnimates(bool animates);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* makeButton(ExtensionCardContent::Action action, bool waiting);

    TessaronSession& session_;
    TessaronSystemExtensionActivating& activator_;
    QLabel* title_;
    QLabel* explanation_;
    TessaronSpinner* spinner_;
    QHBoxLayout* buttons_;
    bool animates_ = false;
};

} // namespace tessaron
