// The application's own setup of the crash handler. It reads the Info file and the report store's folder,
// so it is built with the rest of crash reporting: the handler itself links with Qt Core alone, small
// enough to be built and tested once more without the sanitizers, whose own thread wrapper stands in for
// the handler's.
#include "updates/crash_handler.hpp"

#include "platform/bundle_info.hpp"
#include "updates/crash_report.hpp"
#include "updates/crash_report_store.hpp"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <sys/utsname.h>

namespace tessaron {

namespace {

QString machineName() {
    utsname name{};
    return ::uname(&name) == 0 ? QString::fromUtf8(name.machine) : QString();
}

} // namespace

CrashHandlerSetup CrashHandlerSetup::standard() {
    // Runs before the application object exists, so the executable's folder comes from the kernel.
    const QString executableFolder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const auto bundle = BundleInfo::fromFile(QDir(executableFolder).filePath(BundleInfo::infoFileName));
    return {
        .folder = FileCrashReportStore::defaultDirectory(),
        .version = bundle.value(QStringLiteral("CFBundleShortVersionString")).toString(),
        .build = bundle.value(QStringLiteral("CFBundleVersion")).toString(),
        .osVersion = QSysInfo::prettyProductName(),
        .architecture = machineName(),
        .hardwareModel = tessaron::hardwareModel(),
    };
}

} // namespace tessaron
