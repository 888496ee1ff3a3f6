#pragma once

#include <QString>

class QApplication;

namespace tessaron {

// For measuring what the window costs: counts the paints every widget receives and the pixels they cover,
// by class and name, and writes the running totals to `path` (tab-separated: paints, pixels, widget, after
// a line with the time in seconds), at most once a second and only after a paint, so that it adds no
// wake-ups of its own. The application installs it when TESSARON_PAINT_CENSUS names a file.
void installPaintCensus(QApplication& application, const QString& path);

} // namespace tessaron
