#include "local_service_process.hpp"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTcpServer>

namespace tessaron::testing {

namespace {

using namespace std::chrono_literals;

// A port the system just handed out, so another run of this suite in parallel is unlikely to take it.
int freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

LocalServiceProcess::LocalServiceProcess(std::optional<int> port) {
    QProcess certificates;
    certificates.start(QStringLiteral(TESSARON_MAKE_CERTS_SCRIPT), {directory_.path()});
    if (!certificates.waitForFinished(30'000) || certificates.exitCode() != 0) {
        startError_ =
            QStringLiteral("make-certs.sh failed: ") + QString::fromUtf8(certificates.readAllStandardError());
        return;
    }
    if (port) {
        start(*port);
        return;
    }
    // Another process may take the free port between the probe and the service's bind: try a few.
    for (int attempt = 0; attempt < 3 && !isRunning(); ++attempt)
        start(freeLoopbackPort());
}

LocalServiceProcess::~LocalServiceProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(5'000))
            process_.kill();
        process_.waitForFinished(5'000);
    }
}

bool LocalServiceProcess::start(int port) {
    lines_.clear();
    nextUnread_ = 0;
    process_.start(QStringLiteral(TESSARON_LOCAL_SERVICE_BINARY),
                   {QString::number(port), directory_.filePath(QStringLiteral("server.pem")),
                    directory_.filePath(QStringLiteral("server.key")),
                    directory_.filePath(QStringLiteral("data"))});
    if (!process_.waitForStarted(5'000)) {
        startError_ = process_.errorString();
        return false;
    }
    if (!awaitLine(QStringLiteral("^listening on https://127\\.0\\.0\\.1:%1$").arg(port), 10s)) {
        startError_ = QString::fromUtf8(process_.readAllStandardError());
        process_.kill();
        process_.waitForFinished(5'000);
        return false;
    }
    port_ = port;
    return true;
}

std::optional<QRegularExpressionMatch> LocalServiceProcess::awaitLine(const QString& pattern,
                                                                      std::chrono::milliseconds timeout) {
    const QRegularExpression expression(pattern);
    const QDeadlineTimer deadline(timeout);
    for (;;) {
        readLines();
        for (qsizetype index = nextUnread_; index < lines_.size(); ++index) {
            if (auto match = expression.match(lines_[index]); match.hasMatch()) {
                nextUnread_ = index + 1;
                return match;
            }
        }
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
            return std::nullopt;
        process_.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
    }
}

QList<QRegularExpressionMatch> LocalServiceProcess::linesMatching(const QString& pattern) const {
    const QRegularExpression expression(pattern);
    QList<QRegularExpressionMatch> matches;
    for (const QString& line : lines_) {
        if (auto match = expression.match(line); match.hasMatch())
            matches.append(match);
    }
    return matches;
}

void LocalServiceProcess::readLines() {
    partialLine_ += process_.readAllStandardOutput();
    for (qsizetype end = partialLine_.indexOf('\n'); end >= 0; end = partialLine_.indexOf('\n')) {
        lines_.append(QString::fromUtf8(partialLine_.left(end)));
        partialLine_.remove(0, end + 1);
    }
}

} // namespace tessaron::testing
