#pragma once

#include <QString>

namespace tessaron {

// What a crash spool carries besides the signal, its code, the time, the frames and the memory map. Taken
// once at install, because nothing can be looked up safely inside a signal handler.
struct CrashHandlerSetup {
    // This user's private crash folder; the spool is written into it.
    QString folder;
    QString version;
    QString build;
    QString osVersion;
    QString architecture;
    QString hardwareModel;

    // The crash-report folder, the application's Info file beside the executable and this machine.
    static CrashHandlerSetup standard();
};

// Installs, for the rest of the process, handlers for SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT and SIGTRAP
// on an alternate stack (this thread's, and one for every thread started later), and a terminate handler
// that aborts. On a crash the handler writes a spool of
// mode 0600 into the folder, then lets the process die by its signal. Call it first in main(); a second
// call changes nothing. False when the folder is not this user's private folder: the handlers are then
// not installed.
bool installCrashHandler(const CrashHandlerSetup& setup);

} // namespace tessaron
