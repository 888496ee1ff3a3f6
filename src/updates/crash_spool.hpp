#pragma once

#include "updates/crash_report.hpp"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace tessaron {

// The file a dying process leaves for the next launch, one "<key> <value>" line per fact, then "maps" and
// a copy of its memory map, then "end":
//
//   tessaron-crash-spool 1
//   started <the writer's start time, in clock ticks after boot>
//   signal 11 / code 1 / time <seconds since 1970> / reason std::terminate (only after a terminate)
//   version, build, os, arch, model (the values prepared at install)
//   frame 0x<address>, innermost first
//   maps / <the lines of /proc/self/maps> / end
namespace crash_spool {

inline constexpr char header[] = "tessaron-crash-spool 1\n";
inline constexpr char prefix[] = "crash-";
inline constexpr char extension[] = ".spool";
// The handler writes at most 128 frames, and a real memory map has a few thousand lines. A spool beyond
// these is damaged or planted, and its excess is ignored so that reading it stays quick.
inline constexpr qsizetype maxFrames = 256;
inline constexpr qsizetype maxMappings = 16'384;

// The writing process, from a name "crash-<pid>[-<n>].spool"; none for any other name.
std::optional<qint64> writerOf(const QString& fileName);

// When the process `pid` started, in clock ticks after boot (/proc/<pid>/stat); none when it cannot be
// read. A process id is reused, its start time is not.
std::optional<qint64> processStartTime(qint64 pid);
// The writer's start time from the line that follows the header; none when the spool has none.
std::optional<qint64> writerStartTime(const QByteArray& bytes);

struct Parsed {
    CrashDiagnostic diagnostic;
    QDateTime crashedAt;
    // The short version of the program that crashed.
    QString version;
    // False when the writer died before it finished.
    bool complete = false;
};

// None when the bytes are not a spool. The call stack becomes a tree of frames, each named by its module's
// file name and its offset in that file: no folder of the user appears in it.
std::optional<Parsed> parse(const QByteArray& bytes);

} // namespace crash_spool

} // namespace tessaron
