#pragma once

#include <QCommonStyle>

namespace tessaron {

// The home page's scroll bar: eight points wide on the background, a rounded handle in the stroke colour at
// least 24 points long, no arrows. A style of its own draws it: a style sheet would have the first picture
// parse it and build a style-sheet style for the bar.
class TessaronThinScrollBarStyle final : public QCommonStyle {
public:
    static constexpr int width = 8;
    static constexpr int handleMinimum = 24;
    static constexpr int handleRadius = 4;

    // One for every such bar, living as long as the application.
    static TessaronThinScrollBarStyle& shared();

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                         const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};

} // namespace tessaron
