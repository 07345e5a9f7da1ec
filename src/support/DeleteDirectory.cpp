// Removal of a folder tree with a log line for every file and folder.
//
// On this platform:
// - The delimiter is "/"; the guard refuses "/", anything of up to three
//   characters once the delimiter is added (as drive roots were), and the
//   user's home folder, also when reached through another spelling.
// - A symbolic link is removed as an entry of its folder and never followed,
//   so nothing outside the folder is touched. Folders are opened relative to
//   their parent's descriptor with O_NOFOLLOW, which also holds when someone
//   swaps a sub-folder for a link while the removal runs.
// - A hidden entry is one whose name begins with "."; hidden files are
//   removed, hidden sub-folders are not entered (their parent then stays).
// - A read-only file is one the system refuses to unlink: its folder denies
//   writing to us, or the file is immutable or append-only. Permission bits
//   of the file itself do not matter here, as they do not for unlink.
// - The current folder of the process is left as it is; all work uses
//   descriptors and full paths, so nothing depends on it.
// - Entries are handled in byte order of their names, so the log reads the
//   same on every file system.

#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace schauplatz {

namespace {

struct Entry {
    std::string name;
    bool isFolder = false; // a real folder, not a link to one
};

// Owns a directory stream; closing it ends the listing on every path.
class Listing {
public:
    explicit Listing(int folderFd) {
        const int duplicate = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
        if (duplicate >= 0) {
            m_dir = ::fdopendir(duplicate);
            if (m_dir == nullptr) {
                ::close(duplicate);
            } else {
                // The copy shares its position with the original, which an
                // earlier pass left at the end.
                ::rewinddir(m_dir);
            }
        }
    }
    ~Listing() {
        if (m_dir != nullptr) {
            ::closedir(m_dir);
        }
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    std::vector<Entry> entries(int folderFd) {
        std::vector<Entry> result;
        if (m_dir == nullptr) {
            return result;
        }
        while (const dirent* item = ::readdir(m_dir)) {
            const std::string name = item->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            struct stat info {};
            if (::fstatat(folderFd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                continue; // vanished meanwhile
            }
            result.push_back({name, S_ISDIR(info.st_mode)});
        }
        std::sort(result.begin(), result.end(),
                  [](const Entry& a, const Entry& b) { return a.name < b.name; });
        return result;
    }

private:
    DIR* m_dir = nullptr;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::geteuid())) {
        return entry->pw_dir != nullptr ? entry->pw_dir : "";
    }
    return {};
}

bool refusedByGuard(const std::string& Path) {
    if (Path == "/" || Path.size() <= 3) {
        return true;
    }
    const std::string canonical = LongPathName(Path);
    if (canonical.empty()) {
        return false; // a missing folder is harmless: there is nothing to remove
    }
    if (canonical == "/") {
        return true;
    }
    const std::string home = homeFolder();
    return !home.empty() && IncludeTrailingPathDelimiter(canonical) ==
                                IncludeTrailingPathDelimiter(LongPathName(home));
}

// Path ends in "/"; nameInParent is how the folder is reached from parentFd.
bool removeTree(int parentFd, const std::string& nameInParent, const std::string& Path) {
    if (refusedByGuard(Path)) {
        WriteLog("Warning: delete of / not possible" + Path, 1);
        return true;
    }
    try {
        const Descriptor folder(::openat(parentFd, nameInParent.c_str(),
                                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        // A folder that cannot be opened lists as empty; its removal below
        // then reports what is wrong.
        if (folder.get() >= 0) {
            // First pass: everything that is not a folder, hidden or not.
            {
                Listing listing(folder.get());
                for (const Entry& entry : listing.entries(folder.get())) {
                    if (entry.isFolder) {
                        continue;
                    }
                    if (::unlinkat(folder.get(), entry.name.c_str(), 0) == 0) {
                        WriteLog(". .. zum löschen vorgeschlagen: " + Path + entry.name, 1);
                    } else {
                        WriteLog("Fehler löschen: " + Path + entry.name, 1);
                    }
                }
            }
            // Second pass: visible sub-folders; results are not needed here,
            // a sub-folder left over makes this folder's removal fail.
            {
                Listing listing(folder.get());
                for (const Entry& entry : listing.entries(folder.get())) {
                    if (entry.isFolder && entry.name.front() != '.') {
                        removeTree(folder.get(), entry.name, Path + entry.name + "/");
                    }
                }
            }
        }
        WriteLog("DeleteDirectoryRecursive " + Path, 1);
        if (::unlinkat(parentFd, nameInParent.c_str(), AT_REMOVEDIR) == 0) {
            return true;
        }
        WriteLog("DeleteDirectoryRecursive= false " + Path, 1);
        return false;
    } catch (...) {
        WriteLog("except DeleteDirectoryRecursive " + Path, 1);
        return false;
    }
}

} // namespace

bool DeleteDirectoryRecursive(const std::string& Path) {
    try {
        const std::string folder = IncludeTrailingPathDelimiter(Path);
        // Opened without the trailing "/", which would make the system follow
        // a link named like the folder.
        return removeTree(AT_FDCWD, ExcludeTrailingPathDelimiter(folder), folder);
    } catch (...) {
        return false; // out of memory before the first step; nothing was touched
    }
}

int DeleteFolderIfExists(const std::string& Path) {
    const std::string folder = ExcludeTrailingPathDelimiter(Path);
    struct stat info {};
    if (folder.empty() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return 0;
    }
    return DeleteDirectoryRecursive(folder) ? 0 : -1;
}

} // namespace schauplatz
