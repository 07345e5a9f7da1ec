#pragma once

// Shared set-up of the support tests: a private scratch folder and a log
// that writes into it with a fixed clock.

#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace schauplatz::testing {

// A fresh folder under the system's temporary folder, removed afterwards
// (links inside are removed, not followed).
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            std::filesystem::temp_directory_path().string() + "/support-test-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create scratch folder");
        }
        m_path = pattern + "/";
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder, ending in "/".
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// A local time as a clock reading.
inline std::chrono::system_clock::time_point localTime(int year, int month, int day, int hour,
                                                       int minute, int second, int millisecond) {
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts)) +
           std::chrono::milliseconds(millisecond);
}

// The messages of a log file: each line without time stamp and prefix.
inline std::vector<std::string> logMessages(const std::string& logFile, const std::string& prefix) {
    std::vector<std::string> messages;
    const std::string content = readFile(logFile);
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            end = content.size();
        }
        const std::string line = content.substr(start, end - start);
        const std::size_t at = line.find(prefix);
        messages.push_back(at == std::string::npos ? "<no prefix> " + line
                                                   : line.substr(at + prefix.size()));
        start = end + 2;
    }
    return messages;
}

// A log that writes beside a pretend program in a scratch folder, at a
// fixed time, in the "C" locale. Started on construction.
class ScratchLog {
public:
    explicit ScratchLog(const std::string& programFolder) {
        std::setlocale(LC_ALL, "C");
        std::filesystem::create_directories(programFolder);
        SetProgramPath(programFolder + "Schauplatz");
        SetStateHome(programFolder + "state-home");
        SetLogClock([] { return localTime(2021, 2, 19, 14, 3, 7, 42); });
        LogUnitStart();
        m_prefix = LogPrefix();
    }
    ~ScratchLog() {
        LogUnitEnd();
        SetProgramPath("");
        SetStateHome("");
        SetLogClock({});
    }
    ScratchLog(const ScratchLog&) = delete;
    ScratchLog& operator=(const ScratchLog&) = delete;

    // Messages written so far, without the start-up line.
    std::vector<std::string> messages() const {
        std::vector<std::string> all = logMessages(LogFileName(), m_prefix);
        if (!all.empty() && all.front().rfind("Startup:", 0) == 0) {
            all.erase(all.begin());
        }
        return all;
    }

private:
    std::string m_prefix;
};

} // namespace schauplatz::testing
