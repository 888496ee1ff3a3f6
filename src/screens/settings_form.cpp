#include "screens/settings_form.hpp"
#include "widgets/string_table.hpp"

#include "platform/bundle_info.hpp"
#include "screens/error_banner.hpp"
#include "screens/link_failure_note.hpp"
#include "screens/update_state.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/settings_switch.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace tessaron {

namespace {

// A style sheet rather than the palette: the sections' own style sheet would override a palette colour.
void setTextColor(QWidget& widget, const QColor& color) {
    widget.setStyleSheet(QStringLiteral("color: %1").arg(color.name()));
}

QLabel* footer(QWidget* parent) {
    auto* label = plainLabel(QString(), parent);
    label->setFont(TessaronTheme::font(TessaronTheme::footnoteSize));
    setTextColor(*label, TessaronTheme::textSecondary());
    return label;
}

// A rounded group of rows, with its footer below it.
class Section {
public:
    // The header is made before the box: readers meet a widget's children in the order they were made.
    Section(QVBoxLayout& column, QWidget* parent, const QString& header = {}) {
        if (!header.isEmpty()) {
            auto* title = plainLabel(header.toUpper(), parent);
            title->setFont(TessaronTheme::font(TessaronTheme::footnoteSize, QFont::Medium));
            setTextColor(*title, TessaronTheme::textSecondary());
            title->setContentsMargins(12, 0, 0, 0);
            column.addWidget(title);
        }
        box_ = new QWidget(parent);
        rows_ = new QVBoxLayout(box_);
        box_->setAttribute(Qt::WA_StyledBackground);
        box_->setObjectName(QStringLiteral("section"));
        box_->setStyleSheet(
            QStringLiteral("#section { background: %1; border-radius: %2px; } QLabel { color: white; }")
                .arg(TessaronTheme::surface().name())
                .arg(TessaronTheme::cornerRadius));
        rows_->setContentsMargins(12, 8, 12, 8);
        rows_->setSpacing(8);
        column.addWidget(box_);
    }

    QWidget* box() const { return box_; }
    void add(QWidget* row) { rows_->addWidget(row); }
    QLabel* addRow(const QString& label, QWidget* value) {
        auto* row = new QWidget(box_);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* name = plainLabel(label, row);
        name->setWordWrap(false);
        line->addWidget(name);
        line->addStretch(1);
        line->addWidget(value);
        rows_->addWidget(row);
        return name;
    }
    QLabel* addFooter(QVBoxLayout& column, QWidget* parent) {
        auto* label = footer(parent);
        label->setContentsMargins(12, 0, 12, 6);
        column.addWidget(label);
        return label;
    }

private:
    QWidget* box_;
    QVBoxLayout* rows_;
};

// The label on the leading edge and the switch on the trailing one.
TessaronSettingsSwitch* toggle(Section& section, const QString& text, const QString& name, QWidget* parent) {
    auto* box = new TessaronSettingsSwitch(parent);
    box->setObjectName(name);
    box->setAccessibleName(text);
    box->toggleFrom(*section.addRow(text, box));
    return box;
}

QPushButton* linkRow(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text + QStringLiteral("  ›"), parent);
    // The chevron only shows that the row leads on: readers say the row's name.
    button->setAccessibleName(text);
    button->setObjectName(name);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { text-align: left; color: white; border: none; "
                                         "padding: 4px 0; }"));
    return button;
}

QString keyText(const BundleInfo& bundle, const QString& key) {
    const QVariant value = bundle.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QStringLiteral("\u2014");
}

} // namespace

QString TessaronSettingsForm::versionText(const BundleInfo& bundle) {
    return QStringLiteral("%1 (%2)").arg(keyText(bundle, QStringLiteral("CFBundleShortVersionString")),
                                         keyText(bundle, QStringLiteral("CFBundleVersion")));
}

QString TessaronSettingsForm::formatGigabytes(qint64 bytes, const QLocale& locale) {
    const double tenths = std::round(static_cast<double>(bytes) / 1e8);
    const bool whole = std::fmod(tenths, 10.0) == 0.0;
    return uiText("%1 GB").arg(locale.toString(tenths / 10.0, 'f', whole ? 0 : 1));
}

QString TessaronSettingsForm::usageText(const TessaronDataUsage& usage, const QLocale& locale) {
    return uiText("%1 / %2").arg(formatGigabytes(usage.usedBytes, locale),
                                 formatGigabytes(usage.capBytes, locale));
}

std::optional<QString> TessaronSettingsForm::usageWarning(const TessaronDataUsage& usage,
                                                          const QLocale& locale) {
    const QString day = locale.toString(usage.resetsAt.toLocalTime().date(), QStringLiteral("MMM d"));
    switch (usage.level()) {
    case TessaronDataUsage::Level::normal:
        return std::nullopt;
    case TessaronDataUsage::Level::warning:
        return uiText("Most of this month's data is used. It resets on %1.").arg(day);
    case TessaronDataUsage::Level::exhausted:
        return uiText("This month's data is used up. Access resumes on %1.").arg(day);
    }
    return std::nullopt;
}

QUrl TessaronSettingsForm::downloadTarget(const QUrl& releaseUrl, const QUrl& downloadPage) {
    const bool https =
        releaseUrl.isValid() && releaseUrl.scheme() == QLatin1String("https") && !releaseUrl.host().isEmpty();
    return https ? releaseUrl : downloadPage;
}

TessaronSettingsForm::TessaronSettingsForm(TessaronSession& session, TessaronUpdateState& updates,
                                           const std::function<QWidget*(QWidget* parent)>& accountSection,
                                           QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , updates_(updates) {
    setObjectName(QStringLiteral("tessaron.settings.form"));
    TessaronAppearanceHost::apply(*this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 16, 20, 24);
    column->setSpacing(6);

    errorSection_ = new TessaronErrorBanner(session_, this);
    errorSection_->setObjectName(QStringLiteral("tessaron.settings.error"));
    column->addWidget(errorSection_);

    Section usage(*column, this);
    usageValue_ = plainLabel(QString(), this);
    usageValue_->setWordWrap(false);
    usageValue_->setObjectName(QStringLiteral("tessaron.settings.dataUsage"));
    usage.addRow(uiText("This month"), usageValue_);
    usageRow_ = usage.box();
    usageFooter_ = usage.addFooter(*column, this);

    if (accountSection)
        column->addWidget(accountSection(this));

    Section onDemand(*column, this);
    onDemand_ = toggle(onDemand, uiText("Connect on demand"),
                       QStringLiteral("tessaron.settings.connectOnDemand"), this);
    onDemandFooter_ = onDemand.addFooter(*column, this);

    Section kill(*column, this);
    killSwitch_ = toggle(kill, uiText("Block traffic if Tessaron drops"),
                         QStringLiteral("tessaron.settings.killSwitch"), this);
    kill.addFooter(*column, this)
        ->setText(uiText("When the connection drops, nothing leaves this device until Tessaron reconnects or "
                         "you disconnect."));

    Section idle(*column, this);
    idle_ = toggle(idle, uiText("Disconnect when idle"), QStringLiteral("tessaron.settings.idleDisconnect"),
                   this);
    idleFooter_ = idle.addFooter(*column, this);

    Section networks(*column, this);
    allNetworks_ = plainLabel(QString(), this);
    allNetworks_->setWordWrap(false);
    allNetworks_->setObjectName(QStringLiteral("tessaron.settings.allNetworks"));
    setTextColor(*allNetworks_, TessaronTheme::textSecondary());
    networks.addRow(uiText("All networks"), allNetworks_);
    networks.addFooter(*column, this)
        ->setText(
            uiText("Tessaron requests include-all-networks when it installs the configuration. That is not "
                   "proof every interface is covered."));

    Section removal(*column, this);
    auto* remove = new QPushButton(uiText("Remove VPN configuration"), this);
    remove->setObjectName(QStringLiteral("tessaron.settings.removeConfiguration"));
    remove->setFlat(true);
    remove->setStyleSheet(
        QStringLiteral("QPushButton { text-align: left; color: %1; border: none; padding: 4px 0; }"
                       "QPushButton:disabled { color: rgba(227, 64, 59, 90); }")
            .arg(TessaronTheme::danger().name()));
    remove_ = remove;
    removal.add(remove_);
    column->addSpacing(10);

    Section about(*column, this, uiText("About"));
    auto* version = plainLabel(versionText(BundleInfo::main()), this);
    version->setWordWrap(false);
    version->setObjectName(QStringLiteral("tessaron.settings.version"));
    setTextColor(*version, TessaronTheme::textSecondary());
    about.addRow(uiText("Version"), version);
    auto* download = new QPushButton(this);
    download->setObjectName(QStringLiteral("tessaron.settings.download"));
    download_ = download;
    about.addRow(uiText("Update available"), download_);
    updateRow_ = download_->parentWidget();
    auto* downloadFailure = new TessaronLinkFailureNote(this);
    about.add(downloadFailure);
    const std::pair<const char*, Page> pages[] = {
        {"User guide", Page::userGuide}, {"Privacy", Page::privacy}, {"Connection log", Page::connectionLog}};
    const QString names[] = {QStringLiteral("tessaron.settings.guideLink"),
                             QStringLiteral("tessaron.settings.privacyLink"),
                             QStringLiteral("tessaron.connectionLog.link")};
    for (int i = 0; i < 3; ++i) {
        auto* link = linkRow(uiText(pages[i].first), names[i], this);
        connect(link, &QPushButton::clicked, this,
                [this, page = pages[i].second] { Q_EMIT pageRequested(page); });
        about.add(link);
    }
    column->addStretch(1);

    // A toggle shows the session's value until the session publishes a new one.
    const auto bind = [this](TessaronSettingsSwitch* box, auto operation) {
        connect(box, &QCheckBox::clicked, this, [this, box, operation](bool wanted) {
            if (!box->isAvailable())
                return;
            refresh();
            (session_.*operation)(wanted);
        });
    };
    bind(onDemand_, &TessaronSession::setConnectOnDemand);
    bind(killSwitch_, &TessaronSession::setKillSwitch);
    bind(idle_, &TessaronSession::setIdleDisconnect);
    connect(remove_, &QAbstractButton::clicked, this, &TessaronSettingsForm::confirmRemove);
    connect(download_, &QAbstractButton::clicked, this, [this, downloadFailure] {
        const auto release = updates_.available();
        if (!release)
            return;
        const QUrl target = downloadTarget(release->url, BundleInfo::main().locations().downloadPage);
        downloadFailure->watch(target);
        QDesktopServices::openUrl(target);
    });

    const auto follow = [this] {
        refresh();
    };
    connect(&session_, &TessaronSession::lastErrorChanged, this, follow);
    connect(&session_, &TessaronSession::isActingChanged, this, follow);
    connect(&session_, &TessaronSession::connectOnDemandChanged, this, follow);
    connect(&session_, &TessaronSession::killSwitchChanged, this, follow);
    connect(&session_, &TessaronSession::idleDisconnectChanged, this, follow);
    connect(&session_, &TessaronSession::includeAllNetworksChanged, this, follow);
    connect(&session_, &TessaronSession::isConfigurationInstalledChanged, this, follow);
    connect(&session_, &TessaronSession::dataUsageChanged, this, follow);
    connect(&updates_, &TessaronUpdateState::availableChanged, this, follow);
    refresh();
}

void TessaronSettingsForm::refresh() {
    const QLocale locale;
    const auto& usage = session_.dataUsage();
    usageRow_->setVisible(usage.has_value());
    const auto warning = usage ? usageWarning(*usage, locale) : std::nullopt;
    usageFooter_->setVisible(warning.has_value());
    if (usage) {
        usageValue_->setText(usageText(*usage, locale));
        const auto level = usage->level();
        setTextColor(*usageValue_, level == TessaronDataUsage::Level::normal ? TessaronTheme::textSecondary()
                                   : level == TessaronDataUsage::Level::warning ? TessaronTheme::warning()
                                                                                : TessaronTheme::danger());
        usageFooter_->setText(warning.value_or(QString()));
    }

    const bool acting = session_.isActing();
    onDemand_->setChecked(session_.connectOnDemand());
    onDemand_->setAvailable(!acting);
    onDemandFooter_->setText(
        session_.isConfigurationInstalled()
            ? uiText("Asks the system to connect whenever a network is available. Changing this "
                     "updates the VPN configuration.")
            : uiText("Saved on this device and applied the next time you connect."));
    killSwitch_->setChecked(session_.killSwitch());
    killSwitch_->setAvailable(!acting);
    idle_->setChecked(session_.idleDisconnect());
    idle_->setAvailable(!acting && !session_.connectOnDemand());
    idleFooter_->setText(
        session_.connectOnDemand()
            ? uiText("Turn off Connect on demand to use this.")
            : uiText("Saves battery: Tessaron disconnects when your Mac locks or the display sleeps, "
                     "and reconnects when you unlock it."));
    allNetworks_->setText(session_.includeAllNetworks() ? uiText("Requested") : uiText("Not requested yet"));
    remove_->setEnabled(session_.isConfigurationInstalled() && !acting);

    const auto release = updates_.available();
    updateRow_->setVisible(release.has_value());
    if (release)
        download_->setText(uiText("Download %1").arg(release->version));
}

void TessaronSettingsForm::confirmRemove() {
    auto* dialog =
        new QMessageBox(QMessageBox::Warning, uiText("Remove the Tessaron VPN configuration?"),
                        uiText("Remove the Tessaron VPN configuration?"), QMessageBox::NoButton, this);
    dialog->setObjectName(QStringLiteral("tessaron.settings.confirmRemove"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setInformativeText(uiText("Saved invitations stay on this device."));
    auto* remove = dialog->addButton(uiText("Remove"), QMessageBox::DestructiveRole);
    remove->setObjectName(QStringLiteral("tessaron.settings.confirmRemove.remove"));
    auto* cancel = dialog->addButton(uiText("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("tessaron.settings.confirmRemove.cancel"));
    dialog->setDefaultButton(qobject_cast<QPushButton*>(cancel));
    connect(dialog, &QMessageBox::buttonClicked, this, [this, remove](QAbstractButton* chosen) {
        if (chosen == remove)
            session_.removeSystemConfiguration();
    });
    dialog->open();
}

} // namespace tessaron
