#pragma once

#include <QColor>
#include <QFont>

namespace tessaron {

// The application's one dark look. Every screen takes its colours and fonts from here.
namespace TessaronTheme {

const QColor& background();
const QColor& textPrimary();
const QColor& textSecondary();
const QColor& stroke();
const QColor& surface();
const QColor& buttonFill();
const QColor& buttonText();
const QColor& success();
const QColor& warning();
const QColor& danger();
const QColor& flowOrange();
const QColor& flowPink();
const QColor& flowPurple();
const QColor& flowBlue();
const QColor& flowCyan();

const QFont& wordmarkFont();
const QFont& wordmarkCompactFont();
const QFont& titleFont();
const QFont& buttonFont();
const QFont& captionFont();

// Point sizes of the text styles.
inline constexpr qreal largeTitleSize = 26;
inline constexpr qreal title2Size = 17;
inline constexpr qreal title3Size = 15;
inline constexpr qreal bodySize = 13;
inline constexpr qreal subheadlineSize = 11;
inline constexpr qreal footnoteSize = 10;
inline constexpr qreal captionSize = 10;
inline constexpr qreal caption2Size = 10;

// The system font at a size and weight; `monospaced` picks the fixed-pitch family.
QFont font(qreal pointSize, QFont::Weight weight = QFont::Normal, bool monospaced = false);

inline constexpr int spacingLarge = 20;
inline constexpr int contentMaxWidth = 560;
inline constexpr int cornerRadius = 8;
inline constexpr int spacingSmall = 10;
inline constexpr int buttonHeight = 48;
inline constexpr int hairlineWidth = 1;
inline constexpr int spacingExtraLarge = 28;
inline constexpr int spacingMedium = 14;
inline constexpr qreal wordmarkTracking = 4.6;
inline constexpr qreal wordmarkCompactTracking = 2.852;
inline constexpr int heroHeight = 240;

} // namespace TessaronTheme

// `color` at `opacity`, multiplied into its own alpha.
QColor withOpacity(QColor color, qreal opacity);

} // namespace tessaron
