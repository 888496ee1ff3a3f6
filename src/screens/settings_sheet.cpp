#include "screens/settings_sheet.hpp"
#include "widgets/string_table.hpp"

#include "profiles/connection_log.hpp"
#include "screens/connection_log_view.hpp"
#include "screens/guide/guide_view.hpp"
#include "screens/privacy_sheet.hpp"
#include "screens/settings_form.hpp"
#include "widgets/appearance_host.hpp"
#include "widgets/page_bar.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLocale>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tessaron {

namespace {

QWidget* page(TessaronPageBar* bar, QWidget* content) {
    auto* widget = new QWidget;
    TessaronAppearanceHost::apply(*widget);
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(bar);
    column->addWidget(content, 1);
    return widget;
}

// The guide in the first of the user's languages it is written in.
QWidget* guidePage(Workspace& workspace) {
    const auto text = loadBundledGuide(QLocale::system().uiLanguages()).value_or(QString());
    return new TessaronGuideView(TessaronGuideBlock::parse(text), workspace);
}

} // namespace

TessaronSettingsSheet::TessaronSettingsSheet(TessaronSession& session, TessaronUpdateState& updates,
                                             std::function<QWidget*(QWidget* parent)> accountSection,
                                             Workspace& workspace, QWidget* parent)
    : QWidget(parent)
    , stack_(new QStackedWidget(this))
    , rootBar_(new TessaronPageBar(uiText("Settings"))) {
    TessaronAppearanceHost::apply(*this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack_);

    auto* form = new TessaronSettingsForm(session, updates, accountSection);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes from control to control (the page follows it), never onto the page itself; readers name it.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setAccessibleName(uiText("Settings"));
    scroll->setWidget(form);
    stack_->addWidget(page(rootBar_, scroll));

    connect(form, &TessaronSettingsForm::pageRequested, this,
            [this, &workspace](TessaronSettingsForm::Page requested) {
                switch (requested) {
                case TessaronSettingsForm::Page::userGuide:
                    push(uiText("Guide"), guidePage(workspace));
                    break;
                case TessaronSettingsForm::Page::privacy:
                    push(uiText("Privacy"), new TessaronPrivacyDetail);
                    break;
                case TessaronSettingsForm::Page::connectionLog: {
                    auto* log = new TessaronConnectionLogView(TessaronConnectionLog::shared());
                    push(uiText("Connection log"), log,
                         [log](TessaronPageBar& bar) { log->addActions(bar); });
                    break;
                }
                }
            });
}

QWidget* TessaronSettingsSheet::currentPage() const {
    return stack_->currentWidget();
}

void TessaronSettingsSheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Escape goes back first; on the form it closes. A sheet's dialog rejects on its own.
    if (stack_->count() > 1)
        popToRoot();
    else if (!qobject_cast<QDialog*>(window()))
        window()->close();
    else
        event->ignore();
}

void TessaronSettingsSheet::push(const QString& title, QWidget* content,
                                 const std::function<void(TessaronPageBar&)>& actions) {
    opener_ = focusWidget();
    auto* bar = new TessaronPageBar(title);
    auto* back = bar->addLeading(uiText("‹ Back"), QStringLiteral("tessaron.backButton"));
    // The chevron only shows the way back: readers say the button's word.
    back->setAccessibleName(uiText("Back"));
    if (actions)
        actions(*bar);
    auto* pushed = page(bar, content);
    stack_->addWidget(pushed);
    stack_->setCurrentWidget(pushed);
    connect(back, &QAbstractButton::clicked, this, &TessaronSettingsSheet::popToRoot);
}

void TessaronSettingsSheet::popToRoot() {
    while (stack_->count() > 1) {
        auto* top = stack_->widget(stack_->count() - 1);
        stack_->removeWidget(top);
        top->deleteLater();
    }
    // Back where the person left: on the link that opened the page.
    if (opener_)
        opener_->setFocus(Qt::OtherFocusReason);
}

} // namespace tessaron
