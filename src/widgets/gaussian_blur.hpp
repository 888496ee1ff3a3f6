#pragma once

#include <QImage>

namespace tessaron {

// Blurs a premultiplied picture in place with a Gaussian of standard deviation `sigma` device pixels, by
// three box passes each way; outside the picture counts as transparent.
void gaussianBlur(QImage& image, double sigma);

} // namespace tessaron
