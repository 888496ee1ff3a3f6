#include "profiles/build_label.hpp"

namespace tessaron {

namespace {

// Only characters that are safe inside a header value and a path-like label survive.
QString labelPart(const QVariant& value, const QString& fallback) {
    QString kept;
    if (value.typeId() == QMetaType::QString) {
        for (const QChar c : value.toString()) {
            if (c.isLetterOrNumber() && c.unicode() < 0x80)
                kept.append(c);
            else if (c == u'.' || c == u'/' || c == u'-')
                kept.append(c);
        }
    }
    return kept.isEmpty() ? fallback : kept;
}

} // namespace

QString clientBuildLabel(const BundleInfo& info) {
    return QStringLiteral("macos-direct/%1/%2")
        .arg(labelPart(info.value(QStringLiteral("CFBundleShortVersionString")), QStringLiteral("0.0.0")),
             labelPart(info.value(QStringLiteral("CFBundleVersion")), QStringLiteral("0")));
}

} // namespace tessaron
