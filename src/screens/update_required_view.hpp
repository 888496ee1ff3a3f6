#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace tessaron {

class TessaronLinkFailureNote;
class TessaronPrimaryButton;
class TessaronSecondaryButton;
class TessaronUpdateChecker;
class Workspace;
struct TessaronReleaseInfo;

// Blocks the window while an update is required: names the required and the installed version and offers
// the update and, when there is a download page, a link to it. It has no close control; whoever shows it
// removes it when the requirement ends.
class TessaronUpdateRequiredView final : public QWidget {
    Q_OBJECT
public:
    struct Fields {
        // The required version, shown in the message.
        QString version{};
        // The installed version, shown in the footer; may be empty.
        QString installed{};
        // When present, the primary button opens it instead of running `primaryAction`.
        std::optional<QUrl> primaryURL{};
        // Opened when the desktop did not accept `primaryURL`.
        std::optional<QUrl> primaryFallbackURL{};
        std::function<void()> primaryAction{};
        // When present, the primary button runs it instead of `primaryAction`, and shows that it is working
        // (disabled, with a busy label) until the work calls `finished`.
        std::function<void(std::function<void()> finished)> primaryWork{};
        // When present, a secondary button opens it.
        std::optional<QUrl> secondaryURL{};
    };

    // Every URL goes through `openURL`.
    TessaronUpdateRequiredView(Fields fields, Workspace& openURL, QWidget* parent = nullptr);
    ~TessaronUpdateRequiredView() override;

    // Lays the view over the whole of `host`, following its size, and keeps keyboard focus out of what it
    // covers. The view becomes a child of `host`.
    void showOver(QWidget& host);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void runPrimary();
    void showWorking(bool working);
    void openSecondary();
    // Focus that moves to a covered widget comes back to the primary button.
    void keepFocus(QWidget* now);

    Fields fields_;
    Workspace& openURL_;
    QPointer<QWidget> host_;
    TessaronPrimaryButton* primary_ = nullptr;
    TessaronSecondaryButton* secondary_ = nullptr;
    TessaronLinkFailureNote* failure_;
};

// The view as the main window shows it for `required`: the user's update check as the primary work and the
// product's download page as the secondary link. A click while another check runs waits for it, then
// checks; the framework shows the outcome, a failure included.
TessaronUpdateRequiredView::Fields updateRequiredFields(TessaronUpdateChecker& checker,
                                                        const TessaronReleaseInfo& required);

} // namespace tessaron
