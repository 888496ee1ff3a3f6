#include "platform/system_log.hpp"

#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <syslog.h>

namespace tessaron {

namespace {

QMutex captureMutex;
QList<SystemLog::Line>* capturedLines = nullptr;

void writeToSystem(const SystemLog::Line& line) {
    static const bool opened = [] {
        openlog("tessaron", LOG_PID, LOG_USER);
        return true;
    }();
    Q_UNUSED(opened);
    const auto text = QStringLiteral("[%1:%2] %3").arg(line.subsystem, line.category, line.message).toUtf8();
    syslog(line.level == SystemLog::Level::error ? LOG_ERR : LOG_INFO, "%s", text.constData());
#ifndef NDEBUG
    std::fprintf(stderr, "%s\n", text.constData());
#endif
}

} // namespace

SystemLog::SystemLog(QString category)
    : category_(std::move(category)) {}

void SystemLog::info(const QString& message) const {
    write(Level::info, message);
}

void SystemLog::error(const QString& message) const {
    write(Level::error, message);
}

void SystemLog::write(Level level, const QString& message) const {
    const Line line{subsystem, category_, level, message};
    {
        QMutexLocker lock(&captureMutex);
        if (capturedLines) {
            capturedLines->append(line);
            return;
        }
    }
    writeToSystem(line);
}

SystemLog::Capture::Capture() {
    QMutexLocker lock(&captureMutex);
    Q_ASSERT(!capturedLines);
    capturedLines = new QList<Line>();
}

SystemLog::Capture::~Capture() {
    QMutexLocker lock(&captureMutex);
    delete std::exchange(capturedLines, nullptr);
}

QList<SystemLog::Line> SystemLog::Capture::lines() const {
    QMutexLocker lock(&captureMutex);
    return *capturedLines;
}

QStringList SystemLog::Capture::messages() const {
    QStringList messages;
    for (const auto& line : lines())
        messages.append(line.message);
    return messages;
}

} // namespace tessaron
