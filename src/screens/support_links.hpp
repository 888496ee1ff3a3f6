#pragma once

#include <QUrl>

namespace tessaron {

// The fixed help pages on the product's web host.
namespace TessaronSupportLinks {
QUrl supportPage();
QUrl windowsGuide();
// The guide's web edition.
QUrl guidePage();
} // namespace TessaronSupportLinks

} // namespace tessaron
