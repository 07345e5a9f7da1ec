#pragma once

// The monthly diagnostic log: one file "yyyymm.log" per calendar month in the
// log folder, one line per event, opened, appended and closed per line.
// WriteLog never raises; a line that cannot be written is dropped.
//
// The log folder is "log/" beside the program; where that cannot be created
// or written (an installed program), $XDG_STATE_HOME/schauplatz/log/
// (default ~/.local/state/schauplatz/log/); where neither works, no log.
// Lines written before LogUnitStart (tests of other units) go to the same
// place; lines after LogUnitEnd are dropped, so "Stop" stays the last line.

#include <chrono>
#include <functional>
#include <string>

namespace schauplatz {

// The highest level that is still written.
inline constexpr int LogLevelLimit = 10;

// Unit start: fixes the log folder, the computer name and the line prefix and
// writes "Startup:<program path>  Version:<version>". Called once at start-up.
void LogUnitStart();
// Unit end: writes "Stop" and clears the state. Called once at shutdown.
void LogUnitEnd();

// Appends one line (time stamp, prefix, Message, CR LF) when Level <= 10.
void WriteLog(const std::string& Message, int Level);

// The path of the current month's file ("" while no log folder is usable).
std::string LogFileName();
// The host name; empty when it cannot be read.
std::string ReadComputerName();
// The program version compiled in.
std::string ProgramFileVersion();
// The folder the log goes into, ending in "/" ("" while none is usable).
// Before LogUnitStart it is worked out on demand, so crash reports find it.
std::string LogFolder();
// " <program file name> #<host name>: " as fixed by LogUnitStart.
std::string LogPrefix();

// The time stamp "ddddd hh:nn:ss.zzz " (locale's short date, "%x") for a time.
std::string FormatLogTimeStamp(std::chrono::system_clock::time_point when);

// Seams, for a run that must not depend on the moment, the executable or the user's
// folders (the tests). The clock defaults to the system clock; the program path (what
// ProgramFileName gives) to the running executable. Setting the program path takes effect
// at LogUnitStart.
using LogClock = std::function<std::chrono::system_clock::time_point()>;
void SetLogClock(LogClock clock);             // empty: real clock
void SetProgramPath(const std::string& path); // empty: real path
// Overrides the XDG state folder fallback ("" = from the environment).
void SetStateHome(const std::string& folder);

} // namespace schauplatz
