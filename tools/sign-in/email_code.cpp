#include "email_code.hpp"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

namespace tessaron::sign_in {

std::optional<QString> emailCodeInLog(const QString& text, const QString& email) {
    const QRegularExpression line(
        QStringLiteral("^e-mail code for %1: (\\d{6})$").arg(QRegularExpression::escape(email.trimmed())),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    std::optional<QString> code;
    for (auto matches = line.globalMatch(text); matches.hasNext();)
        code = matches.next().captured(1);
    return code;
}

std::optional<QString> awaitEmailCodeInLog(const QString& path, qint64 offset, const QString& email) {
    const QDeadlineTimer deadline(std::chrono::minutes(1));
    do {
        QFile log(path);
        if (log.open(QIODevice::ReadOnly) && log.seek(std::min(offset, log.size()))) {
            if (auto code = emailCodeInLog(QString::fromUtf8(log.readAll()), email))
                return code;
        }
        // Nothing else runs while the service writes its line: a plain wait is enough here.
        QThread::msleep(200);
    } while (!deadline.hasExpired());
    return std::nullopt;
}

std::optional<QString> promptForEmailCode(const QString& email) {
    std::printf("Code sent to %s: ", qPrintable(email));
    std::fflush(stdout);
    std::string line;
    if (!std::getline(std::cin, line))
        return std::nullopt;
    return QString::fromStdString(line).trimmed();
}

} // namespace tessaron::sign_in
