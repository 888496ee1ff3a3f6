#pragma once

#include "profiles/data_usage.hpp"

#include <QLocale>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;

namespace tessaron {

class BundleInfo;
class TessaronSettingsSwitch;
class TessaronSession;
class TessaronUpdateState;

// The one settings screen: connection preferences, data usage, the account, removal of the system's VPN
// configuration and the About items. Every control hands its change to the session and shows what the
// session then publishes.
class TessaronSettingsForm final : public QWidget {
    Q_OBJECT
public:
    enum class Page { userGuide, privacy, connectionLog };

    // `accountSection` builds the account rows; none when absent.
    TessaronSettingsForm(TessaronSession& session, TessaronUpdateState& updates,
                         const std::function<QWidget*(QWidget* parent)>& accountSection,
                         QWidget* parent = nullptr);

    // "1.2.3 (45)", with an em dash for each key that is missing or not text.
    static QString versionText(const BundleInfo& bundle);
    static QString formatGigabytes(qint64 bytes, const QLocale& locale);
    static QString usageText(const TessaronDataUsage& usage, const QLocale& locale);
    static std::optional<QString> usageWarning(const TessaronDataUsage& usage, const QLocale& locale);
    // The feed's address for a release, but only an https one: anything else opens the download page.
    static QUrl downloadTarget(const QUrl& releaseUrl, const QUrl& downloadPage);

Q_SIGNALS:
    void pageRequested(tessaron::TessaronSettingsForm::Page page);

private:
    void refresh();
    void confirmRemove();

    TessaronSession& session_;
    TessaronUpdateState& updates_;
    QWidget* errorSection_;
    QWidget* usageRow_;
    QLabel* usageValue_;
    QLabel* usageFooter_;
    TessaronSettingsSwitch* onDemand_;
    QLabel* onDemandFooter_;
    TessaronSettingsSwitch* killSwitch_;
    TessaronSettingsSwitch* idle_;
    QLabel* idleFooter_;
    QLabel* allNetworks_;
    QAbstractButton* remove_;
    QWidget* updateRow_;
    QAbstractButton* download_;
};

} // namespace tessaron
