#include "screens/node_list.hpp"

#include "platform/power_state.hpp"
#include "screens/hero_geography.hpp"
#include "screens/node_status_pill.hpp"
#include "session/summary_order.hpp"
#include "session/tessaron_session.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/fitted_label.hpp"
#include "widgets/frame_driver.hpp"
#include "widgets/motion.hpp"
#include "widgets/start_marks.hpp"
#include "widgets/symbol_icons.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <optional>
#include <tuple>

namespace tessaron {

namespace {

constexpr int rowMinimumHeight = 56;
constexpr int checkmarkWidth = 20;
constexpr int boxRadius = 10;
constexpr int dividerIndent = 16;
constexpr int dividerWidth = 1;

QString text(const char* key, const char* comment = nullptr) {
    return QCoreApplication::translate("Tessaron", key, comment);
}

// Text on black that keeps its colour when its row is disabled: rows fade by opacity instead.
void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, color);
    widget->setPalette(palette);
    // Inside a button a label would otherwise draw in the button's text role.
    widget->setForegroundRole(QPalette::WindowText);
}

QLabel* makeLabel(const QString& content, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    setTextColor(label, color);
    return label;
}

// A name on one line that gives way to the row's pill and checkmark: it is cut with an ellipsis rather
// than pushing them out of the window, and then shows the whole name as its tooltip.
TessaronFittedLabel* makeNameLabel(const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new TessaronFittedLabel(1, 1, parent);
    label->setFont(font);
    label->setTipWhenCut(true);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setTextColor(label, color);
    return label;
}

// A mark that fades in and out with the spring while motion is allowed, and stands at its end otherwise.
class FadingMark : public QWidget {
public:
    explicit FadingMark(QWidget* parent)
        : QWidget(parent)
        , fade_(new QVariantAnimation(this)) {
        fade_->setDuration(springMilliseconds);
        fade_->setEasingCurve(springCurve());
        connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            opacity_ = value.toDouble();
            update();
        });
    }

    // A mark that collapses takes no room in its line while it is out: the name beside it has that room.
    void setCollapses(bool collapses) {
        collapses_ = collapses;
        connect(fade_, &QAbstractAnimation::finished, this, [this] { setHidden(collapses_ && !shown_); });
        setHidden(collapses_ && !shown_);
    }

    void setShown(bool shown, bool animates) {
        const bool moving = fade_->state() == QAbstractAnimation::Running;
        if (shown == shown_ && (animates || !moving))
            return;
        shown_ = shown;
        fade_->stop();
        if (collapses_ && shown)
            show();
        if (animates && isVisible()) {
            fade_->setStartValue(opacity_);
            fade_->setEndValue(shown ? 1.0 : 0.0);
            fade_->start();
            return;
        }
        opacity_ = shown ? 1.0 : 0.0;
        setHidden(collapses_ && !shown_);
        update();
    }

protected:
    double opacity() const { return opacity_; }

private:
    QVariantAnimation* fade_;
    bool collapses_ = false;
    bool shown_ = false;
    double opacity_ = 0;
};

class Checkmark final : public FadingMark {
public:
    explicit Checkmark(QWidget* parent)
        : FadingMark(parent) {
        setObjectName(QStringLiteral("tessaron.node.checkmark"));
        setFixedWidth(checkmarkWidth);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (opacity() <= 0)
            return;
        const qreal ratio = devicePixelRatioF();
        QImage glyph = tintedSymbol(QStringLiteral("checkmark"), static_cast<int>(14 * ratio),
                                    TessaronTheme::textPrimary());
        glyph.setDevicePixelRatio(ratio);
        const QSizeF size = glyph.deviceIndependentSize();
        QPainter painter(this);
        painter.setOpacity(opacity());
        painter.drawImage(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), glyph);
    }
};

class InUseDot final : public FadingMark {
public:
    explicit InUseDot(QWidget* parent)
        : FadingMark(parent) {
        setFixedSize(6, 6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(opacity());
        painter.setPen(Qt::NoPen);
        painter.setBrush(TessaronTheme::success());
        painter.drawEllipse(rect());
    }
};

// A row of the list: the whole rectangle takes the click; it dims while pressed.
class RowButton : public QAbstractButton {
public:
    explicit RowButton(QWidget* parent)
        : QAbstractButton(parent) {
        setMinimumHeight(rowMinimumHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setCursor(Qt::PointingHandCursor);
        QObject::connect(this, &QAbstractButton::pressed, this, [this] { applyOpacity(); });
        QObject::connect(this, &QAbstractButton::released, this, [this] { applyOpacity(); });
    }
    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(0, rowMinimumHeight); }

    void setFade(double fade) {
        fade_ = fade;
        applyOpacity();
    }

protected:
    void paintEvent(QPaintEvent*) override {}

private:
    // Rows at full opacity draw directly; an effect is only made for a faded or pressed row.
    void applyOpacity() {
        const double opacity = fade_ * (isDown() ? 0.7 : 1.0);
        if (opacity >= 1.0) {
            setGraphicsEffect(nullptr);
            return;
        }
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect(this);
            setGraphicsEffect(effect);
        }
        effect->setOpacity(opacity);
    }

    double fade_ = 1.0;
};

void setBodyWeight(QLabel* label, bool semibold) {
    const QFont font =
        TessaronTheme::font(TessaronTheme::bodySize, semibold ? QFont::DemiBold : QFont::Normal);
    if (label->font() != font)
        label->setFont(font);
}

QHBoxLayout* rowLayout(QWidget* row) {
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(12);
    return layout;
}

QString pickFastestText() {
    // Looked up once: it keeps the language of its first use for the rest of the run.
    static const QString value =
        text("Picks the fastest node", "Auto row subtitle while a manual node is selected.");
    return value;
}

} // namespace

class TessaronNodeList::RowsBox final : public QWidget {
public:
    explicit RowsBox(QWidget* parent)
        : QWidget(parent) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        // The gap between two rows is their divider.
        layout->setSpacing(dividerWidth);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(TessaronTheme::stroke(), 1));
        painter.setBrush(TessaronTheme::surface());
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), boxRadius, boxRadius);
        bool first = true;
        for (int index = 0; index < layout()->count(); ++index) {
            const QWidget* row = layout()->itemAt(index)->widget();
            if (row->isHidden())
                continue;
            if (!first)
                painter.fillRect(
                    QRect(dividerIndent, row->y() - dividerWidth, width() - dividerIndent, dividerWidth),
                    TessaronTheme::stroke());
            first = false;
        }
        markPaintedRows();
    }

private:
    // The start's timeline: when the list was first painted with each number of node rows.
    void markPaintedRows() {
        const int nodeRows = layout()->count() - 1;
        if (nodeRows == markedRows_)
            return;
        markedRows_ = nodeRows;
        markStart("node-rows", nodeRows);
    }

    int markedRows_ = -1;
};

NodeChoiceMark nodeChoiceMark(bool autoSelect, const std::optional<QUuid>& manualID,
                              const std::optional<QUuid>& autoID, const std::optional<QUuid>& nodeID) {
    if (!nodeID)
        return autoSelect ? NodeChoiceMark::chosen : NodeChoiceMark::notChosen;
    if (autoSelect)
        return autoID == nodeID ? NodeChoiceMark::autoChosen : NodeChoiceMark::notChosen;
    return manualID == nodeID ? NodeChoiceMark::chosen : NodeChoiceMark::notChosen;
}

QList<TessaronNodeRowInputs> nodeRows(const TessaronSession& session) {
    QList<TessaronNodeRowInputs> rows;
    const bool disconnected = session.phase() == TessaronLinkPhase::disconnected;
    for (const auto& summary : distinctSummaries(session.summaries(), session.selectedID())) {
        const auto mark =
            nodeChoiceMark(session.autoSelect(), session.selectedID(), session.selectedID(), summary.id);
        const bool current = mark != NodeChoiceMark::notChosen;
        const auto geo = session.nodeGeo(summary.id);
        rows.append({summary.id, summary.name, session.linkStatus(summary.id), mark == NodeChoiceMark::chosen,
                     disconnected, mark == NodeChoiceMark::autoChosen,
                     current && session.phase() == TessaronLinkPhase::connected,
                     geo ? std::optional<QString>(geo->country) : std::nullopt});
    }
    return rows;
}

double nodeRowOpacity(const TessaronNodeRowInputs& row) {
    return row.isSelected || row.isEnabled || row.inUse ? 1.0 : 0.45;
}

QString nodeRowAccessibleLabel(const TessaronNodeRowInputs& row) {
    QString result = row.name;
    if (row.inUse)
        result +=
            QStringLiteral(", ") + text("in use", "Marker for the node auto selection is currently using.");
    return result + QStringLiteral(", ") + label(row.status);
}

QString autoRowSubtitle(bool autoSelect, const std::optional<QString>& nodeName,
                        const std::optional<QString>& countryCode, TessaronTransport transport,
                        bool withFlag) {
    if (!autoSelect || !nodeName)
        return pickFastestText();
    const QString name = withFlag ? flagLabel(*nodeName, countryCode) : *nodeName;
    QString result =
        text("Using %1", "Auto row subtitle while auto selection is on; %1 is the node in use.").arg(name);
    if (transport == TessaronTransport::xhttp)
        result += QStringLiteral(" \u00B7 ") +
                  text("HTTP fallback",
                       "Auto row suffix while the XHTTP fallback transport carries the connection.");
    return result;
}

namespace {

QString autoRowSubtitle(const TessaronSession& session, bool withFlag) {
    const auto summary = session.selectedSummary();
    const auto geo = session.selectedNodeGeo();
    return autoRowSubtitle(session.autoSelect(), summary ? std::optional(summary->name) : std::nullopt,
                           geo ? std::optional(geo->country) : std::nullopt, session.activeTransport(),
                           withFlag);
}

} // namespace

class TessaronNodeList::AutoRow final : public RowButton {
public:
    AutoRow(QWidget* box, TessaronSession& session)
        : RowButton(box)
        , session_(session)
        , title_(makeLabel(tessaron::text("Auto", "Auto row title."), {}, TessaronTheme::textPrimary(), this))
        , subtitle_(makeNameLabel(TessaronTheme::captionFont(), TessaronTheme::textSecondary(), this))
        , checkmark_(new Checkmark(this))
        , nudge_(new TessaronNudgeBorder(this, 8, 2, 5)) {
        setObjectName(QStringLiteral("tessaron.node.auto"));
        subtitle_->setObjectName(QStringLiteral("tessaron.node.auto.subtitle"));
        auto* layout = rowLayout(this);
        auto* textStack = new QVBoxLayout();
        textStack->setSpacing(2);
        textStack->addWidget(title_);
        textStack->addWidget(subtitle_);
        layout->addLayout(textStack, 1);
        layout->addSpacing(8);
        layout->addWidget(checkmark_);
        connect(this, &QAbstractButton::clicked, this, [this] { session_.setAutoSelect(true); });
    }

    void showState(bool nudged, bool nudgeAnimates, bool motion) {
        const bool on = session_.autoSelect();
        setBodyWeight(title_, on);
        subtitle_->setText(autoRowSubtitle(session_, true));
        checkmark_->setShown(on, motion);
        setAccessibleName(tessaron::text("Auto", "Auto row title.") + QStringLiteral(", ") +
                          autoRowSubtitle(session_, false));
        setAccessibleTraits(this, {.selected = on});
        nudge_->setActive(nudged);
        nudge_->setAnimates(nudgeAnimates);
    }

private:
    TessaronSession& session_;
    QLabel* title_;
    QLabel* subtitle_;
    Checkmark* checkmark_;
    TessaronNudgeBorder* nudge_;
};

class TessaronNodeList::TessaronNodeRow final : public RowButton {
public:
    TessaronNodeRow(QWidget* box, TessaronSession& session, const QUuid& id)
        : RowButton(box)
        , id_(id)
        , name_(makeNameLabel({}, TessaronTheme::textPrimary(), this))
        , dot_(new InUseDot(this))
        , pill_(new NodeStatusPill(NodeStatusPill::Size::compact, this))
        , checkmark_(new Checkmark(this)) {
        name_->setObjectName(QStringLiteral("tessaron.node.name"));
        dot_->setCollapses(true);
        auto* layout = rowLayout(this);
        auto* nameLine = new QHBoxLayout();
        nameLine->setSpacing(6);
        nameLine->addWidget(name_);
        nameLine->addWidget(dot_);
        nameLine->addStretch(1);
        // A long name is cut where the least gap before the pill begins, not a stack spacing earlier.
        layout->setSpacing(0);
        layout->addLayout(nameLine, 1);
        layout->addSpacing(8);
        layout->addWidget(pill_);
        layout->addSpacing(12);
        layout->addWidget(checkmark_);
        connect(this, &QAbstractButton::clicked, this, [&session, id] {
            if (session.autoSelect())
                session.setAutoSelect(false);
            session.select(id);
        });
    }
    // The ring lies over the box beside the row, so it goes with the row.
    ~TessaronNodeRow() override { delete ring_; }

    const QUuid& id() const { return id_; }

    // A row whose inputs are what it shows is left alone: a latency sample changes a few rows of many.
    void showInputs(const TessaronNodeRowInputs& inputs, int position, bool motion) {
        auto shown = std::tuple(inputs, position, motion);
        if (shown_ == shown)
            return;
        shown_ = std::move(shown);
        setObjectName(QStringLiteral("tessaron.node.%1").arg(position));
        setEnabled(inputs.isEnabled);
        setFade(nodeRowOpacity(inputs));
        setAccessibleTraits(this, {.selected = inputs.isSelected});
        setAccessibleName(nodeRowAccessibleLabel(inputs));
        name_->setText(flagLabel(inputs.name, inputs.countryCode));
        setBodyWeight(name_, inputs.isSelected);
        dot_->setShown(inputs.inUse, motion);
        // The pill eases a new status in as the hero's does, so it must know the motion rule first.
        pill_->setAnimates(motion);
        pill_->setStatus(inputs.status);
        checkmark_->setShown(inputs.isSelected, motion);
        showRing(inputs.showsFlowRing, motion);
    }

    // A new sample of this node's latency: only its status may differ from what the row shows.
    void showStatus(NodeLinkStatus status) {
        if (!shown_)
            return;
        auto [inputs, position, motion] = *shown_;
        inputs.status = status;
        showInputs(inputs, position, motion);
    }

    void retire() {
        hide();
        if (ring_)
            ring_->hide();
        deleteLater();
    }

private:
    // Most rows never carry the ring: it is made for the first link through the row's node.
    void showRing(bool shown, bool motion) {
        if (!ring_ && !shown)
            return;
        if (!ring_)
            ring_ = new TessaronFlowRing(this, 6);
        ring_->setAnimates(motion);
        ring_->setVisible(shown);
    }

    QUuid id_;
    QLabel* name_;
    InUseDot* dot_;
    NodeStatusPill* pill_;
    Checkmark* checkmark_;
    QPointer<TessaronFlowRing> ring_;
    std::optional<std::tuple<TessaronNodeRowInputs, int, bool>> shown_;
};

TessaronNodeList::TessaronNodeList(TessaronSession& session, PowerState& power, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , power_(power) {
    setObjectName(QStringLiteral("tessaron.nodeList"));
    QFont headingFont = TessaronTheme::captionFont();
    headingFont.setWeight(QFont::DemiBold);
    heading_ = makeLabel(text("Nodes"), headingFont, TessaronTheme::textSecondary(), this);
    box_ = new RowsBox(this);
    autoRow_ = new AutoRow(box_, session_);
    box_->layout()->addWidget(autoRow_);
    footer_ = makeLabel(text("Disconnect to switch nodes"), TessaronTheme::captionFont(),
                        TessaronTheme::textSecondary(), this);
    footer_->setObjectName(QStringLiteral("tessaron.nodeList.footer"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(TessaronTheme::spacingSmall);
    layout->addWidget(heading_);
    layout->addWidget(box_);
    layout->addWidget(footer_);

    const auto follow = [this] {
        refresh();
    };
    connect(&session_, &TessaronSession::summariesChanged, this, follow);
    connect(&session_, &TessaronSession::selectedIDChanged, this, follow);
    connect(&session_, &TessaronSession::autoSelectChanged, this, follow);
    connect(&session_, &TessaronSession::phaseChanged, this, follow);
    connect(&session_, &TessaronSession::activeTransportChanged, this, follow);
    connect(&session_, &TessaronSession::latenciesChanged, this, &TessaronNodeList::refreshSamples);
    connect(&session_, &TessaronSession::nodeHealthChanged, this, follow);
    connect(&session_, &TessaronSession::nodeGeoChanged, this, follow);
    connect(&power_, &PowerState::lowPowerChanged, this, follow);
    refresh();
}

void TessaronNodeList::setNudge(const TessaronNudgeState& nudge, bool animates) {
    if (nudge_ == nudge && nudgeAnimates_ == animates)
        return;
    nudge_ = nudge;
    nudgeAnimates_ = animates;
    refresh();
}

void TessaronNodeList::setMotionEnvironment(bool reduceMotion, bool sceneActive) {
    if (reduceMotion_ == reduceMotion && sceneActive_ == sceneActive)
        return;
    reduceMotion_ = reduceMotion;
    sceneActive_ = sceneActive;
    refresh();
}

bool TessaronNodeList::flowRingAnimates() const {
    return !reduceMotion_ && sceneActive_ && !power_.lowPower();
}

void TessaronNodeList::refresh() {
    setVisible(!session_.summaries().isEmpty());
    footer_->setVisible(session_.phase() != TessaronLinkPhase::disconnected);
    const auto rows = nodeRows(session_);
    const bool withAuto = rows.size() >= 2;
    autoRow_->setVisible(withAuto);
    // A node chosen by hand carries the choice: a ring around Auto then would mark a second row as chosen.
    const bool chosenByHand = std::ranges::any_of(rows, &TessaronNodeRowInputs::isSelected);
    autoRow_->showState(nudge_.autoRow && withAuto && !chosenByHand, nudgeAnimates_, flowRingAnimates());
    updateNodeRows(rows);
    shownLatencies_ = session_.latencies();
}

// A round of samples reaches every node one by one: each sample shows again only the row whose figure
// changed, not the whole list.
void TessaronNodeList::refreshSamples(const LatencyTable& latencies) {
    for (auto* row : std::as_const(rows_)) {
        const auto now = latencies.constFind(row->id());
        const auto before = shownLatencies_.constFind(row->id());
        const bool measured = now != latencies.cend();
        if (measured != (before != shownLatencies_.cend()) ||
            (measured && now->milliseconds != before->milliseconds))
            row->showStatus(session_.linkStatus(row->id()));
    }
    shownLatencies_ = latencies;
}

void TessaronNodeList::updateNodeRows(const QList<TessaronNodeRowInputs>& rows) {
    QHash<QUuid, TessaronNodeRow*> kept;
    for (auto* row : std::as_const(rows_))
        kept.insert(row->id(), row);
    QList<TessaronNodeRow*> order;
    for (const auto& inputs : rows) {
        auto* row = kept.take(inputs.id);
        if (!row)
            row = new TessaronNodeRow(box_, session_, inputs.id);
        order.append(row);
    }
    // A row may go from inside its own click: it leaves once control returns to the loop.
    for (auto* gone : std::as_const(kept))
        gone->retire();
    const bool moved = order != rows_;
    rows_ = order;
    // A new row takes its inputs while still hidden: its pill and marks appear without a layout pass.
    const bool motion = flowRingAnimates();
    for (int position = 0; position < rows.size(); ++position)
        rows_[position]->showInputs(rows[position], position, motion);
    if (moved)
        placeRows();
}

void TessaronNodeList::placeRows() {
    // Showing a widget inside a shown window lays out every layout up to the window, each time: new rows
    // are shown while the box is hidden, so that a long list is laid out once rather than once a row. Not
    // while the focus is in the box, which hiding would move.
    const bool newRows = std::ranges::any_of(rows_, &QWidget::isHidden);
    const bool hideBox = newRows && box_->isVisible() && !box_->isAncestorOf(QApplication::focusWidget());
    if (hideBox)
        box_->hide();
    auto* layout = box_->layout();
    while (layout->count() > 1)
        delete layout->takeAt(1);
    // Tab goes down the list as the eye does, also when new rows were made after the others.
    QWidget* previous = autoRow_;
    for (auto* row : std::as_const(rows_)) {
        layout->addWidget(row);
        row->show();
        QWidget::setTabOrder(previous, row);
        previous = row;
    }
    readInPlacedOrder();
    if (hideBox)
        box_->show();
}

// Readers list a widget's children in the order they were made, which is not the list's order once a node
// arrives late or is renamed: the rows are put first among the box's children, in the order they stand,
// ahead of the decorations that lie over them.
void TessaronNodeList::readInPlacedOrder() {
    for (auto row = rows_.crbegin(); row != rows_.crend(); ++row)
        (*row)->lower();
    autoRow_->lower();
}

} // namespace tessaron
