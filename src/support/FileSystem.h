#pragma once

// The thin file-system seam through which files of the program are written
// (project archives, BMP output, the log). Tests swap in a fault-injecting
// implementation to prove that a failure never damages an existing file.

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace schauplatz {

// A file-system failure; what() names the path and the system's error text.
class FileSystemError : public std::runtime_error {
public:
    FileSystemError(const std::string& operation, const std::string& path, int errorNumber);
    const std::string& path() const { return m_path; }
    int errorNumber() const { return m_errorNumber; }

private:
    std::string m_path;
    int m_errorNumber;
};

// An open file. close() is explicit so its errors are seen; the destructor
// closes silently when close() was not called.
class WritableFile {
public:
    virtual ~WritableFile() = default;
    virtual void write(const void* data, std::size_t size) = 0;
    void write(const std::string& text) { write(text.data(), text.size()); }
    virtual void sync() = 0;
    virtual void close() = 0;
    virtual const std::string& path() const = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Creates or truncates (append=false) or appends to (append=true) a file.
    virtual std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) = 0;
    virtual void rename(const std::string& from, const std::string& to) = 0;
    virtual void remove(const std::string& path) = 0;
    // Makes a completed rename in the folder durable.
    virtual void syncDirectory(const std::string& folder) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Creates the folder with every missing parent (like mkdir -p).
    virtual void makeDirectories(const std::string& folder) = 0;
};

// The real POSIX file system.
FileSystem& realFileSystem();
// The file system in use: the real one unless a test overrides it.
FileSystem& fileSystem();

// Replaces fileSystem() for the lifetime of the object (tests only).
class ScopedFileSystemOverride {
public:
    explicit ScopedFileSystemOverride(FileSystem& replacement);
    ~ScopedFileSystemOverride();
    ScopedFileSystemOverride(const ScopedFileSystemOverride&) = delete;
    ScopedFileSystemOverride& operator=(const ScopedFileSystemOverride&) = delete;

private:
    FileSystem* m_previous;
};

// Writes a file so that readers see either the old or the complete new
// content: the body writes to a temporary name beside the target, which is
// synced, renamed over the target, and the folder synced. On any failure the
// temporary file is removed and the error rethrown; the old file is untouched.
void writeFileAtomically(const std::string& path,
                         const std::function<void(WritableFile&)>& writeBody);

// A test double over another file system that fails the n-th (1-based)
// operation of one kind with a given errno.
class FaultInjectingFileSystem : public FileSystem {
public:
    enum class Operation {
        Open,
        Write,
        Sync,
        Close,
        Rename,
        Remove,
        SyncDirectory,
        MakeDirectories
    };

    explicit FaultInjectingFileSystem(FileSystem& inner);
    // Fail the n-th operation of this kind (counting from 1) with errorNumber.
    // A Write fault with shortWrite writes half the bytes before failing.
    void failOn(Operation operation, int nth, int errorNumber, bool shortWrite = false);
    int count(Operation operation) const;

    std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override;
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncDirectory(const std::string& folder) override;
    bool exists(const std::string& path) override;
    void makeDirectories(const std::string& folder) override;

    // Used by the wrapped files; counts and fails as configured.
    void check(Operation operation, const std::string& path);
    bool shortWriteDue(Operation operation) const;
    FileSystem& inner() { return m_inner; }

private:
    FileSystem& m_inner;
    Operation m_failOperation = Operation::Open;
    int m_failNth = 0;
    int m_errorNumber = 0;
    bool m_shortWrite = false;
    int m_counts[8] = {};
};

} // namespace schauplatz
