#include "screens/connection_hero.hpp"

#include "screens/globe/globe_view.hpp"
#include "widgets/accessible_traits.hpp"
#include "widgets/button_styles.hpp"
#include "widgets/tessaron_theme.hpp"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace tessaron {

namespace {

constexpr int statusDotSize = 8;

class StatusDot final : public QWidget {
public:
    explicit StatusDot(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(statusDotSize, statusDotSize);
    }
    void setColor(const QColor& color) {
        color_ = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        painter.drawEllipse(rect());
    }

private:
    QColor color_;
};

std::optional<QString> effectiveOverride(const std::optional<QString>& titleOverride) {
    if (!titleOverride)
        return std::nullopt;
    const QString trimmed = titleOverride->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

void paintWhiteOnBlack(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, TessaronTheme::background());
    palette.setColor(QPalette::WindowText, TessaronTheme::textPrimary());
    widget->setPalette(palette);
}

} // namespace

TessaronWordmark::TessaronWordmark(bool compact, QWidget* parent)
    : TessaronFittedLabel(1, 0.6, parent) {
    QFont font = compact ? TessaronTheme::wordmarkCompactFont() : TessaronTheme::wordmarkFont();
    font.setLetterSpacing(QFont::AbsoluteSpacing,
                          compact ? TessaronTheme::wordmarkCompactTracking : TessaronTheme::wordmarkTracking);
    setFont(font);
    setText(QStringLiteral("TESSARON"));
    paintWhiteOnBlack(this);
    setAccessibleName(QStringLiteral("Tessaron"));
}

bool heroGlobeAnimates(std::optional<bool> animatesOverride, std::optional<bool> reduceMotionOverride,
                       bool systemReduceMotion) {
    if (animatesOverride)
        return *animatesOverride;
    return !systemReduceMotion && reduceMotionOverride != true;
}

QString heroPrimaryTitle(TessaronVisualState state, const std::optional<QString>& titleOverride) {
    return effectiveOverride(titleOverride).value_or(primaryButtonTitle(state));
}

QString heroPrimaryHint(TessaronVisualState state, const std::optional<QString>& titleOverride) {
    return effectiveOverride(titleOverride) ? QString() : primaryButtonHint(state);
}

ConnectionHero::ConnectionHero(QWidget* parent)
    : QWidget(parent)
    , header_(new QWidget(this))
    , dot_(new StatusDot(header_))
    , title_(new TessaronFittedLabel(2, 0.7, header_))
    , pill_(new NodeStatusPill(NodeStatusPill::Size::regular, header_))
    , globe_(new TessaronGlobeView(this))
    , buttonGap_(new QWidget(this))
    , button_(new TessaronPrimaryButton(this)) {
    setObjectName(QStringLiteral("tessaron.hero"));
    setAutoFillBackground(true);
    paintWhiteOnBlack(this);

    title_->setObjectName(QStringLiteral("tessaron.hero.title"));
    title_->setFont(TessaronTheme::titleFont());
    title_->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    header_->setObjectName(QStringLiteral("tessaron.hero.header"));
    dot_->setObjectName(QStringLiteral("tessaron.hero.statusDot"));
    setAccessibleTraits(dot_, {.invisible = true});
    // Readers meet the row as one heading: the summary names the state, the pill's words follow as its
    // value, and neither the title nor the pill is read again on its own.
    setAccessibleTraits(header_, {.heading = true, .combined = true});
    auto* headerRow = new QHBoxLayout(header_);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->setSpacing(TessaronTheme::spacingSmall);
    headerRow->addWidget(dot_, 0, Qt::AlignVCenter);
    headerRow->addWidget(title_, 1);
    headerRow->addWidget(pill_, 0, Qt::AlignVCenter);

    globe_->setFixedHeight(TessaronTheme::heroHeight);
    buttonGap_->setFixedHeight(TessaronTheme::spacingExtraLarge);
    QObject::connect(button_, &QAbstractButton::clicked, this, [this] {
        if (primaryAction_)
            primaryAction_();
    });
    button_->setObjectName(QStringLiteral("tessaron.heroPrimaryButton"));

    auto* column = new QWidget(this);
    column->setMaximumWidth(TessaronTheme::contentMaxWidth);
    column->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(20, 12, 20, 8);
    stack->setSpacing(0);
    auto* wordmark = new TessaronWordmark(false, column);
    wordmark->setObjectName(QStringLiteral("tessaron.wordmark"));
    stack->addWidget(wordmark);
    stack->addSpacing(TessaronTheme::spacingMedium);
    stack->addWidget(header_);
    stack->addSpacing(TessaronTheme::spacingExtraLarge);
    stack->addWidget(globe_);
    stack->addWidget(buttonGap_);
    stack->addWidget(button_);

    auto* centring = new QHBoxLayout(this);
    centring->setContentsMargins(0, 0, 0, 0);
    centring->addStretch(0);
    centring->addWidget(column, 1);
    centring->addStretch(0);
    refresh();
}

void ConnectionHero::setState(TessaronVisualState state) {
    state_ = state;
    refresh();
}

void ConnectionHero::setNodeStatus(std::optional<NodeLinkStatus> status) {
    pill_->setStatus(status);
    setAccessibleValue(header_, status ? label(*status) : QString());
}

void ConnectionHero::setGeography(const TessaronHeroGeo& geo) {
    geo_ = geo;
    refresh();
}

void ConnectionHero::setReduceMotionOverride(std::optional<bool> reduceMotion) {
    reduceMotionOverride_ = reduceMotion;
    refresh();
}

void ConnectionHero::setAnimatesOverride(std::optional<bool> animates) {
    animatesOverride_ = animates;
    refresh();
}

void ConnectionHero::setSystemReduceMotion(bool reduceMotion) {
    systemReduceMotion_ = reduceMotion;
    refresh();
}

void ConnectionHero::setPrimaryTitleOverride(std::optional<QString> title) {
    primaryTitleOverride_ = std::move(title);
    refresh();
}

void ConnectionHero::setPrimaryAction(std::function<void()> action) {
    primaryAction_ = std::move(action);
    refresh();
}

void ConnectionHero::refresh() {
    static_cast<StatusDot*>(dot_)->setColor(tint(state_));
    title_->setText(statusTitle(state_));
    header_->setAccessibleName(accessibilitySummary(state_));
    const bool animates = heroGlobeAnimates(animatesOverride_, reduceMotionOverride_, systemReduceMotion_);
    globe_->setAnimates(animates);
    pill_->setAnimates(animates);
    globe_->setState({geo_.user, geo_.exit, state_});
    const bool hasButton = static_cast<bool>(primaryAction_);
    buttonGap_->setVisible(hasButton);
    button_->setVisible(hasButton);
    button_->setText(heroPrimaryTitle(state_, primaryTitleOverride_));
    button_->setAccessibleName(button_->text());
    button_->setAccessibleDescription(heroPrimaryHint(state_, primaryTitleOverride_));
}

} // namespace tessaron
