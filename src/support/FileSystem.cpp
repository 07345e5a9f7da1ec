#include "support/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace schauplatz {

FileSystemError::FileSystemError(const std::string& operation, const std::string& path,
                                 int errorNumber)
    : std::runtime_error(operation + " \"" + path + "\": " + std::strerror(errorNumber)),
      m_path(path), m_errorNumber(errorNumber) {}

FileSystemError::FileSystemError(TextTag, const std::string& text, const std::string& path,
                                 int errorNumber)
    : std::runtime_error(text), m_path(path), m_errorNumber(errorNumber) {}

FileSystemError FileSystemError::withText(const std::string& text, const std::string& path,
                                          int errorNumber) {
    return FileSystemError(TextTag{}, text, path, errorNumber);
}

namespace {

class PosixFile final : public WritableFile {
public:
    PosixFile(int fd, std::string path, bool unnamed)
        : m_fd(fd), m_path(std::move(path)), m_unnamed(unnamed) {}
    ~PosixFile() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    void write(const void* data, std::size_t size) override {
        const char* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t written = ::write(m_fd, bytes, size);
            if (written < 0) {
                if (errno == EINTR) continue;
                throw FileSystemError("write", m_path, errno);
            }
            if (written == 0) throw FileSystemError("write", m_path, EIO);
            bytes += written;
            size -= static_cast<std::size_t>(written);
        }
    }
    void seek(std::uint64_t offset) override {
        if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
            throw FileSystemError("seek", m_path, errno);
    }
    void copyAttributes(const FileStatus& from) override {
        // Only root may give a file to another owner; a group we are no member of stays ours.
        const uid_t owner = ::geteuid() == 0 ? from.owner : static_cast<uid_t>(-1);
        if (::fchown(m_fd, owner, from.group) != 0 && !cannotHold(errno))
            throw FileSystemError("change owner", m_path, errno);
        if (::fchmod(m_fd, from.mode & 07777) != 0 && !cannotHold(errno))
            throw FileSystemError("change mode", m_path, errno);
    }
    void sync() override {
        if (::fsync(m_fd) != 0) throw FileSystemError("sync", m_path, errno);
    }
    void link(const std::string& path) override {
        if (!m_unnamed) throw FileSystemError("link", path, EINVAL);
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return;
        int error = errno;
        // Without /proc only the privileged form remains.
        if (error == ENOENT && ::linkat(m_fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)
            return;
        if (error == ENOENT) error = errno;
        throw FileSystemError("link", path, error);
    }
    void close() override {
        const int fd = m_fd;
        m_fd = -1;
        // Linux releases the descriptor even when close reports an error, so
        // it must never be retried.
        if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) {
            throw FileSystemError("close", m_path, errno);
        }
    }
    const std::string& path() const override { return m_path; }

private:
    // File systems that keep no owners or modes (FAT, some network shares) refuse to change
    // them; the file then has what the file system gives every file.
    static bool cannotHold(int error) {
        return error == EPERM || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP;
    }

    int m_fd;
    std::string m_path;
    bool m_unnamed;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override {
        // Only a regular file, never through a link, and never waiting: a FIFO planted at
        // the name would otherwise block the open until someone reads it.
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK |
                          (append ? O_APPEND : O_TRUNC);
        const int fd = ::open(path.c_str(), flags, 0666);
        if (fd < 0) {
            throw FileSystemError("open", path, errno);
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            throw FileSystemError("open", path, EINVAL);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return std::make_unique<PosixFile>(fd, path, false);
    }
    void rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            throw FileSystemError("rename to \"" + to + "\"", from, errno);
        }
    }
    void remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) {
            throw FileSystemError("remove", path, errno);
        }
    }
    void syncDirectory(const std::string& folder) override {
        const int fd =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            throw FileSystemError("open folder", folder, errno);
        }
        const int result = ::fsync(fd);
        const int error = errno;
        ::close(fd);
        // Some file systems cannot sync a folder; that says nothing about the data.
        if (result != 0 && error != EINVAL && error != EROFS) {
            throw FileSystemError("sync folder", folder, error);
        }
    }
    bool exists(const std::string& path) override {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0;
    }
    void makeDirectories(const std::string& folder) override {
        std::string partial;
        std::size_t position = 0;
        while (position <= folder.size()) {
            std::size_t next = folder.find('/', position);
            if (next == std::string::npos) {
                next = folder.size();
            }
            partial = folder.substr(0, next);
            position = next + 1;
            if (partial.empty()) {
                continue;
            }
            if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) {
                throw FileSystemError("create folder", partial, errno);
            }
        }
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            throw FileSystemError("create folder", folder, ENOTDIR);
        }
    }
    std::unique_ptr<WritableFile> createUnnamed(const std::string& folder, mode_t mode) override {
        const std::string where = folder.empty() ? std::string(".") : folder;
        const int fd = ::open(where.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd < 0) {
            // Kernels and file systems without unnamed files say so in these ways.
            if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return nullptr;
            throw FileSystemError("create temporary file in", where, errno);
        }
        return std::make_unique<PosixFile>(fd, where, true);
    }
    std::unique_ptr<WritableFile> createExclusive(const std::string& path, mode_t mode) override {
        const int fd = ::open(
            path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
        if (fd < 0) throw FileSystemError("create", path, errno);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return std::make_unique<PosixFile>(fd, path, false);
    }
    FileStatus status(const std::string& path) override {
        FileStatus result;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return result;
            throw FileSystemError("examine", path, errno);
        }
        result.exists = true;
        result.regular = S_ISREG(info.st_mode);
        result.link = S_ISLNK(info.st_mode);
        result.folder = S_ISDIR(info.st_mode);
        result.mode = info.st_mode & 07777;
        result.owner = info.st_uid;
        result.group = info.st_gid;
        result.writable =
            !result.link && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
        return result;
    }
    std::string readLink(const std::string& path) override {
        std::string buffer(256, '\0');
        for (;;) {
            const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
            if (length < 0) throw FileSystemError("read link", path, errno);
            if (static_cast<std::size_t>(length) < buffer.size()) {
                buffer.resize(static_cast<std::size_t>(length));
                return buffer;
            }
            if (buffer.size() >= 65536) throw FileSystemError("read link", path, ENAMETOOLONG);
            buffer.resize(buffer.size() * 2);
        }
    }
    std::vector<std::string> listFolder(const std::string& folder) override {
        DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
        if (dir == nullptr) throw FileSystemError("list", folder, errno);
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
        return names;
    }
};

FileSystem* g_override = nullptr;

} // namespace

std::unique_ptr<WritableFile> FileSystem::createUnnamed(const std::string& folder, mode_t mode) {
    return realFileSystem().createUnnamed(folder, mode);
}

std::unique_ptr<WritableFile> FileSystem::createExclusive(const std::string& path, mode_t mode) {
    return realFileSystem().createExclusive(path, mode);
}

FileStatus FileSystem::status(const std::string& path) {
    return realFileSystem().status(path);
}

std::string FileSystem::readLink(const std::string& path) {
    return realFileSystem().readLink(path);
}

std::vector<std::string> FileSystem::listFolder(const std::string& folder) {
    return realFileSystem().listFolder(folder);
}

FileSystem& realFileSystem() {
    static PosixFileSystem instance;
    return instance;
}

FileSystem& fileSystem() {
    return g_override != nullptr ? *g_override : realFileSystem();
}

ScopedFileSystemOverride::ScopedFileSystemOverride(FileSystem& replacement)
    : m_previous(g_override) {
    g_override = &replacement;
}

ScopedFileSystemOverride::~ScopedFileSystemOverride() {
    g_override = m_previous;
}

} // namespace schauplatz
