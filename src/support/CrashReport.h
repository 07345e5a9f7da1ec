#pragma once

// Crash reports: what the user sees (and can copy or save) when an exception
// escapes a handler, and what a fatal signal leaves in the log folder.

#include <exception>
#include <string>

namespace schauplatz {

struct CrashReport {
    std::string message;       // what() of the exception
    std::string exceptionType; // demangled type name
    std::string callStack;     // one frame per line, from the throw point if known
    std::string programVersion;
    long processId = 0;
    std::string system;    // uname: system, release, version, machine
    std::string processor; // model name and logical processor count

    // The report as German text for the dialog, the clipboard and the file.
    std::string text() const;
};

// Builds the report for an exception caught in the event loop. The call stack
// is the one recorded when the exception was thrown, when available.
CrashReport MakeCrashReport(std::exception_ptr error);

// On SIGSEGV, SIGABRT, SIGBUS, SIGFPE and SIGILL: write a report
// "absturz-<pid>-<time>.txt" into the log folder, then end as the signal would.
void InstallFatalSignalReport();

// The folder fatal-signal reports go into (the log folder at installation).
std::string CrashReportFolder();

} // namespace schauplatz
