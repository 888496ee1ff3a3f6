#include "account/device_name.hpp"

#include <QFile>
#include <QSysInfo>
#include <QTextBoundaryFinder>

namespace tessaron {

namespace {

constexpr int maximumGraphemes = 64;

// The first `count` grapheme clusters, so a flag or an accented letter is never split.
QString firstGraphemes(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    while (seen < count && finder.toNextBoundary() != -1)
        ++seen;
    return seen < count ? text : text.left(finder.position());
}

// The value of a shell-style assignment as systemd writes it: bare, or in single or double quotes with
// backslash escapes inside double quotes.
QString unquoted(QStringView value) {
    if (value.size() >= 2 && value.front() == u'\'' && value.back() == u'\'')
        return value.sliced(1, value.size() - 2).toString();
    if (value.size() < 2 || value.front() != u'"' || value.back() != u'"')
        return value.toString();
    QString text;
    const auto inner = value.sliced(1, value.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == u'\\' && i + 1 < inner.size())
            ++i;
        text.append(inner[i]);
    }
    return text;
}

} // namespace

std::optional<QString> prettyHostNameFromMachineInfo(const QByteArray& machineInfo) {
    const QString key = QStringLiteral("PRETTY_HOSTNAME=");
    std::optional<QString> name;
    // As in the shell, a later assignment wins.
    for (const auto& line : QString::fromUtf8(machineInfo).split(u'\n')) {
        const auto trimmed = QStringView(line).trimmed();
        if (trimmed.startsWith(key))
            name = unquoted(trimmed.sliced(key.size()));
    }
    return name;
}

QString deviceName(const std::optional<QString>& prettyHostName, const QString& hostName) {
    QString name = prettyHostName.value_or(QString()).trimmed();
    if (name.isEmpty())
        name = hostName.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("Mac");
    return firstGraphemes(name, maximumGraphemes);
}

QString currentDeviceName() {
    std::optional<QString> prettyHostName;
    if (QFile file(QStringLiteral("/etc/machine-info")); file.open(QIODevice::ReadOnly))
        prettyHostName = prettyHostNameFromMachineInfo(file.readAll());
    return deviceName(prettyHostName, QSysInfo::machineHostName());
}

} // namespace tessaron
