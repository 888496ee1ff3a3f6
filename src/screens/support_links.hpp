#pragma once

#include <QUrl>

namespace tessaron {

// The fixed help pages on the product's web host.
namespace TessaronSupportLinks {
QUrl supportPage();
QUrl windowsGuide();
// A page of the web host, by its path; the host is fixed at build time.
QUrl webPage(const char* path);
} // namespace TessaronSupportLinks

} // namespace tessaron
