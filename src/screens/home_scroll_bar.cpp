#include "screens/home_scroll_bar.hpp"

#include "widgets/tessaron_theme.hpp"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionSlider>

#include <algorithm>

namespace tessaron {

TessaronThinScrollBarStyle& TessaronThinScrollBarStyle::shared() {
    static auto* style = [] {
        auto* made = new TessaronThinScrollBarStyle;
        made->setParent(qApp);
        return made;
    }();
    return *style;
}

int TessaronThinScrollBarStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                            const QWidget* widget) const {
    switch (metric) {
    case PM_ScrollBarExtent:
        return width;
    case PM_ScrollBarSliderMin:
        return handleMinimum;
    default:
        return QCommonStyle::pixelMetric(metric, option, widget);
    }
}

QRect TessaronThinScrollBarStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                                 SubControl subControl, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar)
        return QCommonStyle::subControlRect(control, option, subControl, widget);
    // The groove is the whole bar: the handle's length is its share of the page, but never below the
    // minimum.
    const QRect groove = bar->rect;
    const bool horizontal = bar->orientation == Qt::Horizontal;
    const int length = horizontal ? groove.width() : groove.height();
    int handle = length;
    if (bar->maximum != bar->minimum) {
        const auto range = static_cast<uint>(bar->maximum - bar->minimum);
        handle =
            static_cast<int>(qint64(bar->pageStep) * length / (range + static_cast<uint>(bar->pageStep)));
        if (handle < handleMinimum || range > INT_MAX / 2)
            handle = handleMinimum;
        handle = std::min(handle, length);
    }
    const int start = sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition,
                                              length - handle, bar->upsideDown);
    const auto along = [&](int from, int extent) {
        return horizontal ? QRect(groove.left() + from, groove.top(), extent, groove.height())
                          : QRect(groove.left(), groove.top() + from, groove.width(), extent);
    };
    switch (subControl) {
    case SC_ScrollBarGroove:
        return groove;
    case SC_ScrollBarSlider:
        return along(start, handle);
    case SC_ScrollBarSubPage:
        return along(0, start);
    case SC_ScrollBarAddPage:
        return along(start + handle, length - start - handle);
    default:
        return {};
    }
}

void TessaronThinScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                                    QPainter* painter, const QWidget* widget) const {
    if (control != CC_ScrollBar) {
        QCommonStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    painter->fillRect(option->rect, TessaronTheme::background());
    const QRect handle = subControlRect(control, option, SC_ScrollBarSlider, widget);
    if (handle.isEmpty())
        return;
    const double radius = std::min({double(handleRadius), handle.width() / 2.0, handle.height() / 2.0});
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(TessaronTheme::stroke());
    painter->drawRoundedRect(QRectF(handle), radius, radius);
    painter->restore();
}

} // namespace tessaron
