#pragma once

#include <QProcess>
#include <QRegularExpressionMatch>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <optional>

namespace tessaron::testing {

// The local service of tools/ started as a separate process on a free loopback port, with certificates
// made for this run. Its stdout is kept, so a test can read what it tells a developer (invitation codes,
// e-mail codes).
class LocalServiceProcess {
public:
    // On a free port, or only on `port` when given.
    explicit LocalServiceProcess(std::optional<int> port = std::nullopt);
    ~LocalServiceProcess();
    LocalServiceProcess(const LocalServiceProcess&) = delete;
    LocalServiceProcess& operator=(const LocalServiceProcess&) = delete;

    // Empty when the service could not be started; the reason is in startError().
    bool isRunning() const { return port_ != 0; }
    const QString& startError() const { return startError_; }

    int port() const { return port_; }
    QString caFile() const { return directory_.filePath(QStringLiteral("ca.pem")); }
    QString baseURL() const { return QStringLiteral("https://127.0.0.1:%1").arg(port_); }

    // The first line printed from now on that matches `pattern`, waiting up to `timeout` for it.
    std::optional<QRegularExpressionMatch>
    awaitLine(const QString& pattern, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Every line printed so far that matches `pattern`.
    QList<QRegularExpressionMatch> linesMatching(const QString& pattern) const;

private:
    bool start(int port);
    void readLines();

    QTemporaryDir directory_;
    QProcess process_;
    QStringList lines_;
    qsizetype nextUnread_ = 0;
    QByteArray partialLine_;
    int port_ = 0;
    QString startError_;
};

} // namespace tessaron::testing
