#include "support/U_SYSTOOLS.h"

#include "support/u_logfile.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace schauplatz {

namespace {

std::mutex g_programPathMutex;
std::string g_programPathOverride;

// A folder we may keep private files in: a real folder (not a link), ours,
// and closed to everybody else.
bool isPrivateFolderOfOurs(const std::string& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

// The mkdtemp folders made in place of a refused one, per wanted name. They belong to this
// run only, so they are removed (with everything in them) when the program ends.
class Replacements {
public:
    Replacements() = default;
    ~Replacements() {
        for (const auto& [wanted, folder] : m_folders) {
            // Never through a link: only a folder that is still our private one goes.
            if (!isPrivateFolderOfOurs(folder)) continue;
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    }
    Replacements(const Replacements&) = delete;
    Replacements& operator=(const Replacements&) = delete;

    std::mutex mutex;
    std::map<std::string, std::string>& folders() { return m_folders; }

private:
    std::map<std::string, std::string> m_folders;
};

// The private folder under one base, or "" when none can be had there.
// mkdtemp replacements are remembered per base so the temporary folder keeps
// one spelling for the whole run.
std::string privateFolderUnder(const std::string& base) {
    static Replacements registry;
    std::mutex& mutex = registry.mutex;
    std::map<std::string, std::string>& replacements = registry.folders();
    const std::string wanted =
        IncludeTrailingPathDelimiter(base) + "schauplatz-" + std::to_string(::geteuid());
    if (::mkdir(wanted.c_str(), 0700) == 0) {
        ::chmod(wanted.c_str(), 0700); // a restrictive umask must not lock us out
    }
    if (isPrivateFolderOfOurs(wanted)) {
        return wanted;
    }
    std::lock_guard lock(mutex);
    const auto known = replacements.find(wanted);
    if (known != replacements.end() && isPrivateFolderOfOurs(known->second)) {
        return known->second;
    }
    std::string pattern = wanted + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    WriteLog("Temporärer Ordner abgelehnt, nicht privat: " + wanted, 1);
    WriteLog("Temporärer Ordner ersatzweise: " + pattern, 1);
    replacements[wanted] = pattern;
    return pattern;
}

} // namespace

void SetProgramPath(const std::string& path) {
    std::lock_guard lock(g_programPathMutex);
    g_programPathOverride = path;
}

std::string ProgramFileName() {
    {
        std::lock_guard lock(g_programPathMutex);
        if (!g_programPathOverride.empty()) {
            return g_programPathOverride;
        }
    }
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string ProgramFolder() {
    const std::string program = ProgramFileName();
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string("./") : program.substr(0, slash + 1);
}

std::string GetTempFolder() {
    std::vector<std::string> bases;
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && tmpdir[0] == '/') {
        bases.emplace_back(tmpdir);
    }
    bases.emplace_back("/tmp");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        const std::string cache = std::string(home) + "/.cache";
        ::mkdir(cache.c_str(), 0700);
        bases.push_back(cache);
    }
    for (const std::string& base : bases) {
        const std::string folder = privateFolderUnder(base);
        if (!folder.empty()) {
            const std::string longForm = LongPathName(folder);
            if (!longForm.empty()) {
                return IncludeTrailingPathDelimiter(longForm);
            }
        }
    }
    WriteLog("Kein privater temporärer Ordner verfügbar", 1);
    return {};
}

std::string LongPathName(const std::string& Path) {
    if (Path.empty()) {
        return {};
    }
    char buffer[PATH_MAX + 1];
    if (::realpath(Path.c_str(), buffer) == nullptr) {
        return {};
    }
    std::string result = buffer;
    if (Path.back() == '/' && result.back() != '/') {
        result += '/'; // the trailing delimiter survives, as callers expect
    }
    return result;
}

std::string FileNamePart(const std::string& recordedPath) {
    const std::size_t cut = recordedPath.find_last_of("/\\:");
    return cut == std::string::npos ? recordedPath : recordedPath.substr(cut + 1);
}

std::string IncludeTrailingPathDelimiter(std::string Path) {
    if (Path.empty() || Path.back() != '/') {
        Path += '/';
    }
    return Path;
}

std::string ExcludeTrailingPathDelimiter(std::string Path) {
    if (Path.size() > 1 && Path.back() == '/') {
        Path.pop_back();
    }
    return Path;
}

} // namespace schauplatz
