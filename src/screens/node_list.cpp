#include "screens/node_list.hpp"

#include "platform/power_state.hpp"
#include "screens/accessible_traits.hpp"
#include "screens/hero_geography.hpp"
#include "screens/node_status_pill.hpp"
#include "screens/symbol_icons.hpp"
#include "screens/tessaron_theme.hpp"
#include "session/summary_order.hpp"
#include "session/tessaron_session.hpp"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tessaron {

namespace {

constexpr int rowMinimumHeight = 56;
constexpr int checkmarkWidth = 20;
constexpr int boxRadius = 10;
constexpr int dividerIndent = 16;

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

QLabel* makeCheckmark(bool shown, QWidget* parent) {
    auto* mark = new QLabel(parent);
    mark->setFixedWidth(checkmarkWidth);
    mark->setAlignment(Qt::AlignCenter);
    if (shown) {
        const qreal ratio = parent->devicePixelRatioF();
        QImage glyph = tintedSymbol(QStringLiteral("checkmark"), static_cast<int>(14 * ratio),
                                    TessaronTheme::textPrimary());
        glyph.setDevicePixelRatio(ratio);
        mark->setPixmap(QPixmap::fromImage(glyph));
    }
    return mark;
}

class InUseDot final : public QWidget {
public:
    explicit InUseDot(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(6, 6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(TessaronTheme::success());
        painter.drawEllipse(rect());
    }
};

class Divider final : public QWidget {
public:
    explicit Divider(QWidget* parent)
        : QWidget(parent) {
        setFixedHeight(1);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect().adjusted(dividerIndent, 0, 0, 0), TessaronTheme::stroke());
    }
};

// A row of the list: the whole rectangle takes the click; it dims while pressed.
class RowButton final : public QAbstractButton {
public:
    RowButton(QWidget* parent, double fade)
        : QAbstractButton(parent)
        , fade_(fade) {
        setMinimumHeight(rowMinimumHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setCursor(Qt::PointingHandCursor);
        QObject::connect(this, &QAbstractButton::pressed, this, [this] { applyOpacity(); });
        QObject::connect(this, &QAbstractButton::released, this, [this] { applyOpacity(); });
        applyOpacity();
    }
    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(0, rowMinimumHeight); }

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
        auto* effect = new QGraphicsOpacityEffect(this);
        effect->setOpacity(opacity);
        setGraphicsEffect(effect);
    }

    double fade_;
};

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
        layout->setSpacing(0);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(TessaronTheme::stroke(), 1));
        painter.setBrush(TessaronTheme::surface());
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), boxRadius, boxRadius);
    }
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

TessaronNodeList::TessaronNodeList(TessaronSession& session, PowerState& power, QWidget* parent)
    : QWidget(parent)
    , session_(session)
    , power_(power) {
    setObjectName(QStringLiteral("tessaron.nodeList"));
    QFont headingFont = TessaronTheme::captionFont();
    headingFont.setWeight(QFont::DemiBold);
    heading_ = makeLabel(text("Nodes"), headingFont, TessaronTheme::textSecondary(), this);
    box_ = new RowsBox(this);
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
    connect(&session_, &TessaronSession::latenciesChanged, this, follow);
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
    const bool empty = session_.summaries().isEmpty();
    setVisible(!empty);
    footer_->setVisible(session_.phase() != TessaronLinkPhase::disconnected);
    rebuildRows();
}

void TessaronNodeList::rebuildRows() {
    // A row may be rebuilt from inside its own click: old rows go once control returns to the loop.
    for (const auto& widget : std::as_const(rowWidgets_)) {
        if (widget) {
            widget->hide();
            widget->deleteLater();
        }
    }
    rowWidgets_.clear();
    auto* layout = static_cast<QVBoxLayout*>(box_->layout());
    while (layout->count() > 0)
        delete layout->takeAt(0);

    const auto add = [&](QWidget* widget) {
        layout->addWidget(widget);
        rowWidgets_.append(widget);
    };
    const auto rows = nodeRows(session_);
    if (rows.size() >= 2) {
        add(makeAutoRow(box_));
        add(new Divider(box_));
    }
    for (int position = 0; position < rows.size(); ++position) {
        if (position > 0)
            add(new Divider(box_));
        add(makeNodeRow(box_, rows[position], position));
    }
    // The decorations lie over the rows; create them once the rows are laid out.
    layout->activate();
}

QWidget* TessaronNodeList::makeAutoRow(QWidget* box) {
    const bool on = session_.autoSelect();
    auto* row = new RowButton(box, 1.0);
    row->setObjectName(QStringLiteral("tessaron.node.auto"));
    auto* layout = rowLayout(row);
    auto* texts = new QWidget(row);
    auto* textStack = new QVBoxLayout(texts);
    textStack->setContentsMargins(0, 0, 0, 0);
    textStack->setSpacing(2);
    QFont titleFont = TessaronTheme::font(TessaronTheme::bodySize, on ? QFont::DemiBold : QFont::Normal);
    auto* title = makeLabel(text("Auto", "Auto row title."), titleFont, TessaronTheme::textPrimary(), texts);
    auto* subtitle = makeLabel(autoRowSubtitle(session_, true), TessaronTheme::captionFont(),
                               TessaronTheme::textSecondary(), texts);
    subtitle->setObjectName(QStringLiteral("tessaron.node.auto.subtitle"));
    textStack->addWidget(title);
    textStack->addWidget(subtitle);
    layout->addWidget(texts, 1);
    layout->addSpacing(8);
    layout->addWidget(makeCheckmark(on, row));
    row->setAccessibleName(text("Auto", "Auto row title.") + QStringLiteral(", ") +
                           autoRowSubtitle(session_, false));
    setAccessibleTraits(row, {.selected = on});
    connect(row, &QAbstractButton::clicked, this, [this] { session_.setAutoSelect(true); });

    auto* nudge = new TessaronNudgeBorder(row, 8, 2, 5);
    nudge->setActive(nudge_.autoRow);
    nudge->setAnimates(nudgeAnimates_);
    rowWidgets_.append(nudge);
    return row;
}

QWidget* TessaronNodeList::makeNodeRow(QWidget* box, const TessaronNodeRowInputs& inputs, int position) {
    auto* row = new RowButton(box, nodeRowOpacity(inputs));
    row->setObjectName(QStringLiteral("tessaron.node.%1").arg(position));
    row->setEnabled(inputs.isEnabled);
    setAccessibleTraits(row, {.selected = inputs.isSelected});
    row->setAccessibleName(nodeRowAccessibleLabel(inputs));
    auto* layout = rowLayout(row);

    auto* nameLine = new QHBoxLayout();
    nameLine->setSpacing(6);
    const QFont nameFont =
        TessaronTheme::font(TessaronTheme::bodySize, inputs.isSelected ? QFont::DemiBold : QFont::Normal);
    auto* name =
        makeLabel(flagLabel(inputs.name, inputs.countryCode), nameFont, TessaronTheme::textPrimary(), row);
    name->setObjectName(QStringLiteral("tessaron.node.name"));
    nameLine->addWidget(name);
    if (inputs.inUse)
        nameLine->addWidget(new InUseDot(row));
    nameLine->addStretch(1);
    layout->addLayout(nameLine, 1);
    layout->addSpacing(8);
    auto* pill = new NodeStatusPill(NodeStatusPill::Size::compact, row);
    pill->setStatus(inputs.status);
    layout->addWidget(pill);
    layout->addWidget(makeCheckmark(inputs.isSelected, row));

    const QUuid id = inputs.id;
    connect(row, &QAbstractButton::clicked, this, [this, id] {
        if (session_.autoSelect())
            session_.setAutoSelect(false);
        session_.select(id);
    });

    if (inputs.showsFlowRing) {
        auto* ring = new TessaronFlowRing(row, 6);
        ring->setAnimates(flowRingAnimates());
        rowWidgets_.append(ring);
    }
    return row;
}

} // namespace tessaron
