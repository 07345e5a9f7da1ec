#include "support/u_logfile.h"

#include "support/FileSystem.h"
#include "support/U_SYSTOOLS.h"
#include "support/Version.h"

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace schauplatz {

namespace {

// The unit's state: fixed at start (or on first use, so that code running
// before the start, such as tests of other units, logs too) and cleared at
// the end, after which nothing more is written: "Stop" stays the last line.
struct LogState {
    std::mutex mutex;
    bool ready = false;
    bool ended = false;
    std::string computerName;
    std::string folder;
    std::string prefix;
    LogClock clock;
    std::string stateHomeOverride;
    // A file whose last write failed part-way may end in a piece of a line; the next line
    // written to it starts on a fresh line, so it is not glued to that piece.
    std::string pieceIn;
};

LogState& state() {
    static LogState instance;
    return instance;
}

std::chrono::system_clock::time_point now(const LogState& s) {
    return s.clock ? s.clock() : std::chrono::system_clock::now();
}

std::tm localTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return parts;
}

// True when the folder exists and we may create files in it, or when it is
// missing and its nearest existing ancestor is a folder we may create in.
// Creates nothing, so a log that is never written leaves no trace.
bool folderUsable(std::string folder) {
    while (!folder.empty()) {
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        struct stat info {};
        if (::stat(folder.c_str(), &info) == 0) {
            return S_ISDIR(info.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
        }
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos) {
            return false;
        }
        folder = slash == 0 ? std::string("/") : folder.substr(0, slash);
        if (folder == "/") {
            return ::access("/", W_OK | X_OK) == 0;
        }
    }
    return false;
}

// -1 when the file cannot be examined.
long long fileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

std::string stateHomeLogFolder(const LogState& s) {
    std::string base = s.stateHomeOverride;
    if (base.empty()) {
        const char* xdg = std::getenv("XDG_STATE_HOME");
        if (xdg != nullptr && xdg[0] == '/') {
            base = xdg;
        } else {
            const char* home = std::getenv("HOME");
            if (home == nullptr || home[0] != '/') {
                return {};
            }
            base = std::string(home) + "/.local/state";
        }
    }
    return IncludeTrailingPathDelimiter(base) + "schauplatz/log/";
}

// Caller holds the mutex.
void fixState(LogState& s) {
    s.computerName = ReadComputerName();
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict, a false positive) about
    // " " + std::string.
    s.prefix.assign(1, ' ');
    s.prefix.append(FileNamePart(ProgramFileName())).append(" #").append(s.computerName);
    s.prefix.append(": ");
    const std::string besideProgram = ProgramFolder() + "log/";
    const std::string fallback = stateHomeLogFolder(s);
    if (folderUsable(besideProgram)) {
        s.folder = besideProgram;
    } else if (!fallback.empty() && folderUsable(fallback)) {
        s.folder = fallback;
    } else {
        s.folder.clear(); // no log at all, and no message about it
    }
    s.ready = true;
    s.ended = false;
}

void ensureState(LogState& s) {
    if (!s.ready && !s.ended) {
        fixState(s);
    }
}

std::string fileNameFor(const LogState& s, std::chrono::system_clock::time_point when) {
    if (s.folder.empty()) {
        return {};
    }
    const std::tm parts = localTime(when);
    char month[16];
    std::strftime(month, sizeof month, "%Y%m", &parts);
    return s.folder + month + ".log";
}

} // namespace

std::string FormatLogTimeStamp(std::chrono::system_clock::time_point when) {
    const std::tm parts = localTime(when);
    char date[64];
    if (std::strftime(date, sizeof date, "%x", &parts) == 0) {
        date[0] = '\0';
    }
    char clock[32];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &parts);
    const auto sinceEpoch = when.time_since_epoch();
    long long millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    if (millis < 0) {
        millis += 1000;
    }
    char fraction[8];
    fraction[0] = '.';
    fraction[1] = static_cast<char>('0' + millis / 100);
    fraction[2] = static_cast<char>('0' + millis / 10 % 10);
    fraction[3] = static_cast<char>('0' + millis % 10);
    fraction[4] = '\0';
    return std::string(date) + " " + clock + fraction + " ";
}

void LogUnitStart() {
    LogState& s = state();
    {
        std::lock_guard lock(s.mutex);
        fixState(s);
    }
    WriteLog("Startup:" + ProgramFileName() + "  Version:" + ProgramFileVersion(), 1);
}

void LogUnitEnd() {
    WriteLog("Stop", 1);
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    s.computerName.clear();
    s.folder.clear();
    s.prefix.clear();
    s.ready = false;
    s.ended = true;
}

void WriteLog(const std::string& Message, int Level) {
    if (Level > LogLevelLimit) {
        return;
    }
    try {
        LogState& s = state();
        std::lock_guard lock(s.mutex);
        ensureState(s);
        const std::string fileName = fileNameFor(s, now(s));
        if (fileName.empty()) {
            return;
        }
        FileSystem& files = fileSystem();
        if (!files.exists(fileName)) {
            files.makeDirectories(s.folder);
        }
        // O_APPEND and one write per line: lines of several instances
        // interleave whole, never mixed.
        std::unique_ptr<WritableFile> file = files.openForWrite(fileName, true);
        const std::string line = FormatLogTimeStamp(now(s)) + s.prefix + Message + "\r\n";
        const long long sizeBefore = fileSize(fileName);
        try {
            file->write(s.pieceIn == fileName ? "\r\n" + line : line);
        } catch (...) {
            if (fileSize(fileName) > sizeBefore) {
                s.pieceIn = fileName;
            }
            throw;
        }
        s.pieceIn.clear();
        file->close();
    } catch (...) {
        // The line is lost; the caller carries on.
    }
}

std::string LogFileName() {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    ensureState(s);
    return fileNameFor(s, now(s));
}

std::string LogFolder() {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    ensureState(s);
    return s.folder;
}

std::string LogPrefix() {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    ensureState(s);
    return s.prefix;
}

std::string ReadComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

std::string ProgramFileVersion() {
    return compiledVersion();
}

void SetLogClock(LogClock clock) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    s.clock = std::move(clock);
}

void SetStateHome(const std::string& folder) {
    LogState& s = state();
    std::lock_guard lock(s.mutex);
    s.stateHomeOverride = folder;
    s.ready = false;
}

} // namespace schauplatz
