#include "screens/update_required_view.hpp"
#include "widgets/string_table.hpp"

#include "platform/workspace.hpp"
#include "screens/link_failure_note.hpp"
#include "updates/update_checker.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/plain_label.hpp"
#include "widgets/secondary_button.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <qcoro/qcorotask.h>

#include <coroutine>
#include <memory>
#include <utility>

namespace tessaron {

namespace {

constexpr int columnMaxWidth = 420;
constexpr int columnPadding = 24;
constexpr int columnSpacing = 16;
constexpr int buttonMaxWidth = 280;
constexpr int primaryTopPadding = 8;

// Versions come from a server: plain text, never markup.
QLabel* centredLabel(const QString& content, const QFont& font, const QColor& colour, QWidget* parent) {
    QLabel* label = plainLabel(content, font, colour, parent);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

// Centres a button of at most `buttonMaxWidth` in the column, `top` points below the item before it.
void addButton(QVBoxLayout& column, QAbstractButton* button, int top) {
    button->setMaximumWidth(buttonMaxWidth);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(0, top, 0, 0);
    row->addWidget(button);
    column.addLayout(row);
}

// The framework's next change of whether it can check, delivered from the event loop. A check that ends
// at once changes it twice before the loop runs: only the first delivery resumes the waiter, and the
// second finds nothing to resume (a delivery bound to the awaiter itself would resume it a second time).
struct NextCheckChange {
    QPointer<UpdateFramework> framework;

    bool await_ready() const { return !framework; }
    void await_suspend(std::coroutine_handle<> waiting) const {
        auto connection = std::make_shared<QMetaObject::Connection>();
        auto pending = std::make_shared<bool>(true);
        *connection = QObject::connect(
            framework.get(), &UpdateFramework::canCheckForUpdatesChanged, framework.get(),
            [connection, pending, waiting] {
                QObject::disconnect(*connection);
                if (std::exchange(*pending, false))
                    waiting.resume();
            },
            Qt::QueuedConnection);
    }
    void await_resume() const {}
};

// Until no check runs; at once when none does.
QCoro::Task<> untilIdle(QPointer<UpdateFramework> framework) {
    while (framework && !framework->canCheckForUpdates()) {
        // Named: GCC destroys an awaited braced temporary twice, and its guard with it.
        NextCheckChange change{framework};
        co_await change;
    }
}

// The user's check, after the one that runs, which would otherwise drop it; `finished` once it ended.
QCoro::Task<> checkAfterTheRunningOne(QPointer<UpdateFramework> framework, std::function<void()> finished) {
    co_await untilIdle(framework);
    if (!framework)
        co_return;
    framework->checkForUpdates();
    co_await untilIdle(framework);
    finished();
}

} // namespace

TessaronUpdateRequiredView::TessaronUpdateRequiredView(Fields fields, Workspace& openURL, QWidget* parent)
    : QWidget(parent)
    , fields_(std::move(fields))
    , openURL_(openURL) {
    // Clicks and scrolls end here, so nothing covered can be reached.
    setAttribute(Qt::WA_NoMousePropagation);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Traits first: naming the widget makes its accessible interface, which is then kept.
    setAccessibleTraits(this, {.modal = true});
    setAccessibleName(uiText("Update required"));

    auto* content = new QWidget(this);
    content->setMaximumWidth(columnMaxWidth);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(columnPadding, columnPadding, columnPadding, columnPadding);
    column->setSpacing(columnSpacing);

    const QFont body = TessaronTheme::font(TessaronTheme::bodySize);
    column->addWidget(centredLabel(uiText("Update required"),
                                   TessaronTheme::font(TessaronTheme::title2Size, QFont::DemiBold),
                                   TessaronTheme::textPrimary(), content));
    column->addWidget(centredLabel(
        uiText("Tessaron %1 is required to keep connecting. Update to continue.").arg(fields_.version), body,
        TessaronTheme::textSecondary(), content));
    column->addWidget(
        centredLabel(uiText("UpdateRequired.autoInstall"), body, TessaronTheme::textSecondary(), content));

    primary_ = new TessaronPrimaryButton(content);
    primary_->setText(uiText("UpdateRequired.button"));
    addButton(*column, primary_, primaryTopPadding);
    connect(primary_, &QAbstractButton::clicked, this, &TessaronUpdateRequiredView::runPrimary);

    if (fields_.secondaryURL) {
        secondary_ = new TessaronSecondaryButton(content);
        secondary_->setText(uiText("UpdateRequired.download"));
        addButton(*column, secondary_, 0);
        connect(secondary_, &QAbstractButton::clicked, this, &TessaronUpdateRequiredView::openSecondary);
    }
    failure_ = new TessaronLinkFailureNote(content);
    failure_->setAlignment(Qt::AlignHCenter);
    column->addWidget(failure_);

    column->addWidget(centredLabel(uiText("Version %1 installed").arg(fields_.installed),
                                   TessaronTheme::font(TessaronTheme::footnoteSize),
                                   TessaronTheme::textSecondary(), content));

    // The column takes the width it may have, up to its maximum; the rest is shared on both sides.
    auto* row = new QHBoxLayout();
    row->addStretch(0);
    row->addWidget(content, 1);
    row->addStretch(0);
    auto* centring = new QVBoxLayout(this);
    centring->setContentsMargins(0, 0, 0, 0);
    centring->addStretch(1);
    centring->addLayout(row);
    centring->addStretch(1);

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { keepFocus(now); });
}

// The base class's destructor moves the focus as it deletes the children: by then this is no longer a cover
// to keep it.
TessaronUpdateRequiredView::~TessaronUpdateRequiredView() {
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

void TessaronUpdateRequiredView::showOver(QWidget& host) {
    if (host_)
        host_->removeEventFilter(this);
    host_ = &host;
    setParent(&host);
    setGeometry(host.rect());
    host.installEventFilter(this);
    // Readers reach no more of what lies beneath than the keyboard and the pointer do.
    letModalChildrenCover(&host);
    raise();
    show();
}

void TessaronUpdateRequiredView::runPrimary() {
    if (fields_.primaryURL) {
        failure_->watch(*fields_.primaryURL);
        if (!openURL_.openUrl(*fields_.primaryURL) && fields_.primaryFallbackURL) {
            failure_->watch(*fields_.primaryFallbackURL);
            openURL_.openUrl(*fields_.primaryFallbackURL);
        }
        return;
    }
    if (fields_.primaryWork) {
        // The update the work finds opens the download page: one that no browser opens is said here too.
        if (fields_.secondaryURL)
            failure_->watch(*fields_.secondaryURL);
        showWorking(true);
        fields_.primaryWork([self = QPointer(this)] {
            if (self)
                self->showWorking(false);
        });
        return;
    }
    if (fields_.primaryAction)
        fields_.primaryAction();
}

void TessaronUpdateRequiredView::showWorking(bool working) {
    // Focus stays on the view while the button cannot take it, and goes back to the button afterwards.
    if (working && primary_->hasFocus())
        setFocus(Qt::OtherFocusReason);
    primary_->setText(working ? uiText("Checking for updates…") : uiText("UpdateRequired.button"));
    primary_->setEnabled(!working);
    if (!working && hasFocus())
        primary_->setFocus(Qt::OtherFocusReason);
}

void TessaronUpdateRequiredView::openSecondary() {
    failure_->watch(*fields_.secondaryURL);
    openURL_.openUrl(*fields_.secondaryURL);
}

void TessaronUpdateRequiredView::keepFocus(QWidget* now) {
    const QWidget* covered = parentWidget();
    if (!now || !covered || !isVisible() || isAncestorOf(now))
        return;
    if (now != covered && !covered->isAncestorOf(now))
        return;
    // A disabled button takes no focus: the view keeps it then.
    QWidget* target = primary_->isEnabled() ? static_cast<QWidget*>(primary_) : this;
    target->setFocus(Qt::OtherFocusReason);
}

void TessaronUpdateRequiredView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Where nothing has the focus yet (the cover came up at start) it takes it too: the keyboard reaches
    // the button at once.
    QWidget* focused = window()->focusWidget();
    keepFocus(focused ? focused : parentWidget());
}

bool TessaronUpdateRequiredView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == host_ && event->type() == QEvent::Resize)
        setGeometry(host_->rect());
    return QWidget::eventFilter(watched, event);
}

void TessaronUpdateRequiredView::paintEvent(QPaintEvent* event) {
    QPainter(this).fillRect(event->rect(), TessaronTheme::background());
}

TessaronUpdateRequiredView::Fields updateRequiredFields(TessaronUpdateChecker& checker,
                                                        const TessaronReleaseInfo& required) {
    return {
        .version = required.version,
        .installed = checker.installedVersion(),
        .primaryURL = std::nullopt,
        .primaryFallbackURL = std::nullopt,
        .primaryAction = {},
        .primaryWork =
            [framework = QPointer(&checker.updaterController())](std::function<void()> finished) {
                checkAfterTheRunningOne(framework, std::move(finished));
            },
        .secondaryURL = checker.downloadPage(),
    };
}

} // namespace tessaron
