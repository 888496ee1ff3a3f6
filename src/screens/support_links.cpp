#include "screens/support_links.hpp"

#include "platform/build_config.hpp"

#include <QtGlobal>

namespace tessaron {

namespace TessaronSupportLinks {

// An address that does not parse is a broken build.
QUrl webPage(const char* path) {
    QString base = QString::fromUtf8(build_config::webBaseUrl);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl url(base + QString::fromUtf8(path), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QStringLiteral("https") || url.host().isEmpty())
        qFatal("invalid web page address %s", path);
    return url;
}

QUrl supportPage() {
    static const QUrl url = webPage("/support");
    return url;
}

QUrl windowsGuide() {
    static const QUrl url = webPage("/guide/windows");
    return url;
}

} // namespace TessaronSupportLinks

} // namespace tessaron
