#include "project/TRecoveryStore.h"

#include "project/ProjectArchive.h"
#include "project/TZipArchive.h"
#include "support/FileSystem.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace schauplatz {

namespace {

namespace fs = std::filesystem;

constexpr const char* kInfoProject = "Projekt=";
constexpr const char* kInfoTime = "Zeit=";

// The folder as a private folder of the user: made with mode 0700 when missing; refused
// (with a log line) when it is a link, belongs to someone else or is no folder.
bool privateFolder(const std::string& folder) {
    if (folder.empty()) return false;
    // Without its trailing delimiter, so a link in the folder's place is seen as a link.
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    ::mkdir(path.c_str(), 0700);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        WriteLog("Wiederherstellung nicht möglich, Ordner unsicher: " + folder, 1);
        return false;
    }
    if ((info.st_mode & 077) != 0) ::chmod(path.c_str(), 0700);
    return true;
}

std::string instanceId() {
    std::random_device device;
    std::ostringstream id;
    id << ::getpid() << '-' << std::hex << (device() & 0xFFFFFFu);
    return id.str();
}

// An open, exclusively locked file, or -1 when someone else holds it.
int lockFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y, %H:%M", &local);
    return text;
}

bool readInfo(const std::string& path, TRecoveryCopy& copy) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    bool named = false, timed = false;
    while (std::getline(in, line)) {
        if (line.rfind(kInfoProject, 0) == 0) {
            copy.projectFile = line.substr(std::string(kInfoProject).size());
            named = !copy.projectFile.empty();
        } else if (line.rfind(kInfoTime, 0) == 0) {
            copy.savedAt = line.substr(std::string(kInfoTime).size());
            timed = true;
        }
    }
    return named && timed;
}

// A copy whose archive cannot be opened or holds no record file can only be discarded.
bool archiveReadable(const std::string& path) {
    TZipArchive zip;
    zip.OnMessage = [](const std::string&) {};
    if (!zip.SetArchive(path)) return false;
    for (const TZipEntryInfo& entry : zip.Entries())
        if (entry.Name == "data.dat") return true;
    return false;
}

} // namespace

std::string DefaultRecoveryFolder() {
    std::string base;
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') return {};
        base = std::string(home) + "/.local/state";
    }
    return IncludeTrailingPathDelimiter(base) + "schauplatz/recovery/";
}

TRecoveryStore::TRecoveryStore(const std::string& folder, const std::string& workFolder)
    : m_folder(IncludeTrailingPathDelimiter(folder)), m_workFolder(workFolder), m_id(instanceId()) {
    if (!privateFolder(m_folder)) return;
    m_lockFd = lockFile(m_folder + m_id + ".lock");
    if (m_lockFd < 0) {
        WriteLog("Wiederherstellung nicht möglich, Sperre fehlt: " + m_folder, 1);
        return;
    }
    m_thread = std::thread([this] { run(); });
}

TRecoveryStore::~TRecoveryStore() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    for (int fd : m_heldLocks)
        ::close(fd);
    if (m_lockFd < 0) return;
    if (!m_keepAtExit) {
        removeOwnCopy();
        std::error_code ignored;
        fs::remove(m_folder + m_id + ".lock", ignored);
    }
    ::close(m_lockFd);
}

std::vector<TRecoveryCopy> TRecoveryStore::LeftBehind() {
    std::vector<TRecoveryCopy> copies;
    if (!Usable()) return copies;
    std::error_code error;
    for (fs::directory_iterator it(m_folder, error), end; !error && it != end;
         it.increment(error)) {
        const fs::path path = it->path();
        if (path.extension() != ".lock" || path.stem().string() == m_id) continue;
        const std::string base = m_folder + path.stem().string();
        const int fd = lockFile(path.string());
        if (fd < 0) continue; // its instance runs
        TRecoveryCopy copy;
        copy.archive = base + ".vbk";
        copy.lockPath = path.string();
        const bool described = readInfo(base + ".info", copy);
        std::error_code missing;
        if (!fs::exists(copy.archive, missing) && !described) {
            // Nothing was ever written: an instance that ended before its first change.
            fs::remove(base + ".info", missing);
            fs::remove(path, missing);
            ::close(fd);
            continue;
        }
        copy.damaged = !described || !archiveReadable(copy.archive);
        m_heldLocks.push_back(fd);
        copies.push_back(std::move(copy));
    }
    // Newest first, by when the copy was last written.
    const auto written = [](const TRecoveryCopy& c) {
        std::error_code ignored;
        return fs::last_write_time(fs::path(c.lockPath).replace_extension(".info"), ignored);
    };
    std::sort(copies.begin(), copies.end(), [&](const TRecoveryCopy& a, const TRecoveryCopy& b) {
        return written(a) > written(b);
    });
    return copies;
}

void TRecoveryStore::Forget(const TRecoveryCopy& copy) {
    std::error_code ignored;
    const fs::path lock(copy.lockPath);
    const std::string base = m_folder + lock.stem().string();
    fs::remove(copy.archive, ignored);
    fs::remove(base + ".info", ignored);
    fs::remove(lock, ignored);
}

void TRecoveryStore::Keep(TRecoverySnapshot snapshot) {
    if (!Usable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_waiting = std::move(snapshot);
        m_discardWaiting = false;
    }
    m_wake.notify_all();
}

void TRecoveryStore::Discard() {
    if (!Usable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_waiting.reset();
        m_discardWaiting = true;
    }
    m_wake.notify_all();
}

bool TRecoveryStore::WaitUntilWritten() {
    if (!Usable()) return false;
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_waiting && !m_writing && !m_discardWaiting; });
    return m_lastWriteOk;
}

void TRecoveryStore::run() {
    std::optional<TRecoverySnapshot> failed;
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto ready = [this] { return m_stop || m_waiting || m_discardWaiting; };
        if (failed)
            m_wake.wait_for(lock, kRetryInterval, ready);
        else
            m_wake.wait(lock, ready);
        if (m_discardWaiting) {
            m_discardWaiting = false;
            failed.reset();
            lock.unlock();
            removeOwnCopy();
            lock.lock();
        }
        std::optional<TRecoverySnapshot> job = std::move(m_waiting);
        m_waiting.reset();
        if (!job && failed && !m_stop) job = std::move(failed);
        failed.reset();
        if (job) {
            m_writing = true;
            lock.unlock();
            const bool ok = write(*job);
            lock.lock();
            m_writing = false;
            m_lastWriteOk = ok;
            if (!ok && !m_waiting) failed = std::move(job);
        }
        if (!m_waiting && !m_discardWaiting) m_idle.notify_all();
        if (m_stop) return;
    }
}

bool TRecoveryStore::write(const TRecoverySnapshot& snapshot) {
    try {
        TZipArchive zip;
        std::string problem;
        zip.OnMessage = [&problem](const std::string& message) { problem = message; };
        if (!writeProjectArchive(m_folder + m_id + ".vbk", snapshot.lines, m_workFolder, zip,
                                 snapshot.appearanceEntry)) {
            WriteLog("Wiederherstellungskopie nicht geschrieben: " + problem, 1);
            return false;
        }
        const std::string info =
            std::string(kInfoProject) + snapshot.projectFile + "\n" + kInfoTime + now() + "\n";
        writeFileAtomically(m_folder + m_id + ".info",
                            [&info](WritableFile& file) { file.write(info); });
        return true;
    } catch (const std::exception& e) {
        WriteLog(std::string("Wiederherstellungskopie nicht geschrieben: ") + e.what(), 1);
        return false;
    }
}

void TRecoveryStore::removeOwnCopy() {
    std::error_code ignored;
    fs::remove(m_folder + m_id + ".vbk", ignored);
    fs::remove(m_folder + m_id + ".info", ignored);
}

} // namespace schauplatz
