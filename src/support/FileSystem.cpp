#include "support/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace schauplatz {

FileSystemError::FileSystemError(const std::string& operation, const std::string& path,
                                 int errorNumber)
    : std::runtime_error(operation + " \"" + path + "\": " + std::strerror(errorNumber)),
      m_path(path), m_errorNumber(errorNumber) {}

namespace {

class PosixFile final : public WritableFile {
public:
    PosixFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixFile() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    void write(const void* data, std::size_t size) override {
        const char* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t written = ::write(m_fd, bytes, size);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throw FileSystemError("write", m_path, errno);
            }
            bytes += written;
            size -= static_cast<std::size_t>(written);
        }
    }
    void sync() override {
        if (::fsync(m_fd) != 0) {
            throw FileSystemError("sync", m_path, errno);
        }
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
    int m_fd;
    std::string m_path;
};

class PosixFileSystem final : public FileSystem {
public:
    std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override {
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
        const int fd = ::open(path.c_str(), flags, 0666);
        if (fd < 0) {
            throw FileSystemError("open", path, errno);
        }
        return std::make_unique<PosixFile>(fd, path);
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
};

FileSystem* g_override = nullptr;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

std::string temporaryNameBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

} // namespace

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

void writeFileAtomically(const std::string& path,
                         const std::function<void(WritableFile&)>& writeBody) {
    FileSystem& files = fileSystem();
    const std::string temporary = temporaryNameBeside(path);
    std::unique_ptr<WritableFile> file = files.openForWrite(temporary, false);
    try {
        writeBody(*file);
        file->sync();
        file->close();
        files.rename(temporary, path);
    } catch (...) {
        file.reset(); // closes quietly if still open
        try {
            files.remove(temporary);
        } catch (...) {
            // The error that brought us here is the one worth reporting.
        }
        throw;
    }
    // The new content is in place and synced; a folder that cannot be synced
    // only weakens durability after a power loss, so this is not a failure
    // of the write.
    try {
        files.syncDirectory(folderOf(path));
    } catch (...) {
    }
}

} // namespace schauplatz
