#include "project/TProjectFolders.h"

#include "support/FreeFileName.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGuardName = ".lock";

// Holds <base>/.lock exclusively for one short step.
class GuardLock {
public:
    explicit GuardLock(const std::string& base)
        : m_fd(::open((base + kGuardName).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                      0600)) {
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~GuardLock() {
        if (m_fd >= 0) ::close(m_fd); // closing releases the lock
    }
    GuardLock(const GuardLock&) = delete;
    GuardLock& operator=(const GuardLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

std::string randomSuffix() {
    std::random_device device;
    std::uniform_int_distribution<unsigned> digits(0, 0xFFFFFF);
    char text[8];
    std::snprintf(text, sizeof text, "%06x", digits(device));
    return text;
}

int openFolder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// A path in folder for a new picture called name: name itself, or with " (2)", " (3)", ...
// before its extension when the folder holds that name already.
std::string freePicturePath(const std::string& folder, const std::string& name) {
    const FileNameParts parts = SplitFileName(name);
    return FreeFilePath(folder, parts.stem, parts.extension, FreeNameClaim::Probe);
}

std::string storedName(const std::string& path) {
    std::string name = FileNamePart(path);
    for (char& c : name)
        if (c == ';') c = '_';
    if (name.empty() || name == "." || name == "..") name = "Bild";
    return name;
}

} // namespace

TProjectFolders::TProjectFolders(const std::string& tempFolder) : m_base(BaseFolder(tempFolder)) {
    std::error_code error;
    fs::create_directories(m_base, error);
    const std::string prefix = std::to_string(::getpid()) + "-";
    GuardLock guard(m_base);
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_id = prefix + randomSuffix();
        m_instanceFolder = m_base + m_id + "/";
        if (::mkdir(m_instanceFolder.c_str(), 0700) == 0) {
            m_lockFd = openFolder(m_instanceFolder);
            if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
                ::close(m_lockFd);
                m_lockFd = -1;
            }
            break;
        }
        if (errno != EEXIST) break;
    }
    if (m_lockFd < 0) {
        WriteLog("Arbeitsordner kann nicht angelegt werden: " + m_instanceFolder + " (" +
                     std::strerror(errno) + ")",
                 1);
    }
    m_workFolder = m_instanceFolder + "vbk/";
    m_pictureStore = m_instanceFolder + "bilder/";
}

TProjectFolders::~TProjectFolders() {
    if (m_lockFd < 0) return;
    std::error_code error;
    fs::remove_all(m_instanceFolder, error);
    ::close(m_lockFd);
}

int TProjectFolders::RemoveStaleFolders() {
    if (m_staleRemoved) return 0;
    m_staleRemoved = true;
    GuardLock guard(m_base);
    if (!guard.held()) return 0;

    std::vector<std::string> candidates;
    std::error_code error;
    for (fs::directory_iterator it(m_base, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code statusError;
        if (name.empty() || name.front() == '.' || name == m_id) continue;
        if (!fs::is_directory(it->symlink_status(statusError))) continue;
        candidates.push_back(name);
    }
    int removed = 0;
    for (const std::string& name : candidates) {
        const std::string folder = m_base + name + "/";
        const int fd = openFolder(folder);
        if (fd < 0) continue;
        // A free lock means the instance that made the folder is gone.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (DeleteFolderIfExists(folder) == 0) ++removed;
        }
        ::close(fd);
    }
    return removed;
}

std::string TProjectFolders::PictureSet() {
    if (m_pictureSet == 0) return BeginPictureSet();
    const std::string folder = m_pictureStore + std::to_string(m_pictureSet) + "/";
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
}

int TProjectFolders::newPictureSet(std::string& folder) {
    std::error_code error;
    for (;;) {
        const int number = ++m_lastPictureSet;
        folder = m_pictureStore + std::to_string(number) + "/";
        if (!fs::exists(fs::symlink_status(folder, error))) {
            fs::create_directories(folder, error);
            return number;
        }
    }
}

void TProjectFolders::commitPictureSet(int number) {
    m_pictureSet = number;
    DropOlderPictureSets();
}

std::string TProjectFolders::BeginPictureSet() {
    std::string folder;
    m_pictureSet = newPictureSet(folder);
    return folder;
}

TPendingPictureSet::TPendingPictureSet(TProjectFolders& folders)
    : m_folders(&folders), m_number(folders.newPictureSet(m_folder)) {}

TPendingPictureSet::~TPendingPictureSet() {
    Discard();
}

TPendingPictureSet::TPendingPictureSet(TPendingPictureSet&& other) noexcept
    : m_folders(std::exchange(other.m_folders, nullptr)), m_folder(std::move(other.m_folder)),
      m_number(other.m_number) {}

void TPendingPictureSet::Commit() {
    if (!m_folders) return;
    std::exchange(m_folders, nullptr)->commitPictureSet(m_number);
}

void TPendingPictureSet::Discard() {
    if (!m_folders) return;
    m_folders = nullptr;
    // Quietly: a refused archive may have left tens of thousands of files.
    std::error_code error;
    fs::remove_all(m_folder, error);
}

void TProjectFolders::DropOlderPictureSets() {
    const std::string current = std::to_string(m_pictureSet);
    std::error_code error;
    std::vector<fs::path> older;
    for (fs::directory_iterator it(m_pictureStore, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().filename().string() != current) older.push_back(it->path());
    }
    for (const fs::path& path : older) {
        std::error_code removeError;
        fs::remove_all(path, removeError);
    }
}

std::string TProjectFolders::FreePicturePath(const std::string& name) {
    return freePicturePath(PictureSet(), name);
}

std::string TProjectFolders::KeepPicture(const std::string& path) {
    return KeepPicture(path, PictureSet());
}

std::string TProjectFolders::KeepPicture(const std::string& path, const std::string& folder) {
    const std::string target = freePicturePath(folder, storedName(path));
    fs::copy_file(path, target); // throws with both paths named
    return target;
}

} // namespace schauplatz
