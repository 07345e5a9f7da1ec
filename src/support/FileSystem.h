#pragma once

// The thin file-system seam through which files of the program are written
// (project archives, BMP output, the log). Another implementation can be put in
// its place (ScopedFileSystemOverride): the tests' fault-injecting one proves
// that a failure never damages an existing file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace schauplatz {

// A file-system failure; what() names the path and the system's error text.
class FileSystemError : public std::runtime_error {
public:
    FileSystemError(const std::string& operation, const std::string& path, int errorNumber);
    // A failure described by a text of its own (which names the file already).
    static FileSystemError withText(const std::string& text, const std::string& path,
                                    int errorNumber);
    const std::string& path() const { return m_path; }
    int errorNumber() const { return m_errorNumber; }

private:
    struct TextTag {};
    FileSystemError(TextTag, const std::string& text, const std::string& path, int errorNumber);

    std::string m_path;
    int m_errorNumber;
};

// What lstat tells about a path; exists is false for a missing one.
struct FileStatus {
    bool exists = false;
    bool regular = false;
    bool link = false;
    bool folder = false;
    // The effective user may write it (access with effective ids).
    bool writable = false;
    mode_t mode = 0; // permission bits (07777)
    uid_t owner = 0;
    gid_t group = 0;
};

// An open file. close() is explicit so its errors are seen; the destructor
// closes silently when close() was not called.
class WritableFile {
public:
    virtual ~WritableFile() = default;
    // Writes everything or throws: short writes are continued, EINTR retried.
    virtual void write(const void* data, std::size_t size) = 0;
    void write(const std::string& text) { write(text.data(), text.size()); }
    // Moves the write position (archives go back to complete their entry headers).
    virtual void seek(std::uint64_t offset) = 0;
    // Gives the file the permission bits, owner and group of another one, as far as the
    // system lets us: a group or owner we may not give is left as it is.
    virtual void copyAttributes(const FileStatus& from) = 0;
    virtual void sync() = 0;
    // Gives an unnamed file (FileSystem::createUnnamed) the name path; fails with EEXIST
    // when the name is taken. Named files cannot be linked.
    virtual void link(const std::string& path) = 0;
    virtual void close() = 0;
    // The file's name, or for an unnamed file its folder.
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

    // The steps of writeFileAtomically. Their defaults use the real file system, so a test
    // double that only changes some of the calls above need not spell these out.

    // An unnamed file in folder (O_TMPFILE), invisible until linked; nullptr when the
    // folder's file system cannot make one. mode as for open(2).
    virtual std::unique_ptr<WritableFile> createUnnamed(const std::string& folder, mode_t mode);
    // A new file that must not exist yet, never through a link (O_CREAT | O_EXCL |
    // O_NOFOLLOW); EEXIST when the name is taken.
    virtual std::unique_ptr<WritableFile> createExclusive(const std::string& path, mode_t mode);
    // lstat and access: what lies at path, without following a link there.
    virtual FileStatus status(const std::string& path);
    // The target of a symbolic link as stored.
    virtual std::string readLink(const std::string& path);
    // Names in a folder ("." and ".." left out).
    virtual std::vector<std::string> listFolder(const std::string& folder);
};

// The real POSIX file system.
FileSystem& realFileSystem();
// The file system in use: the real one unless overridden.
FileSystem& fileSystem();

// Replaces fileSystem() for the lifetime of the object.
class ScopedFileSystemOverride {
public:
    explicit ScopedFileSystemOverride(FileSystem& replacement);
    ~ScopedFileSystemOverride();
    ScopedFileSystemOverride(const ScopedFileSystemOverride&) = delete;
    ScopedFileSystemOverride& operator=(const ScopedFileSystemOverride&) = delete;

private:
    FileSystem* m_previous;
};

// Writes a file so that readers see either the old or the complete new content, and so that
// nobody else can slip anything into the write:
//
// - A symbolic link at path is followed (to its end): the file it names is written, the link
//   stays. A target that is no regular file is refused, and so is one the user may not write
//   ("... ist schreibgeschützt").
// - Temporaries left in the target's folder by writers that were killed are removed first
//   (only names of our pattern, only when their process is gone).
// - The body writes an unnamed file in the target's folder (O_TMPFILE); where the file
//   system has none, a new file under an unguessable name of our own pattern (O_EXCL,
//   O_NOFOLLOW, mode 0600). It gets the old file's permission bits and, where allowed, its
//   group (and its owner, for root); a new file gets 0666 less the umask.
// - The file is synced, linked under a fresh temporary name, closed (every step checked),
//   renamed over the target, and the folder synced.
//
// Any failure leaves the old file byte-identical, removes the temporary and throws a
// FileSystemError whose text names the target and the reason. Errors of the body itself
// pass through unchanged. A folder that cannot be synced after the rename is no failure.
void writeFileAtomically(const std::string& path,
                         const std::function<void(WritableFile&)>& writeBody);

// True for names that only writeFileAtomically gives its temporaries (also those of older
// versions, ".NAME.tmp-PID-N"); pid receives the writing process.
bool isAtomicWriteTemporary(const std::string& name, long& pid);
// Removes the temporaries of writers whose process has ended from folder; returns how
// many. Never throws. Run by every writeFileAtomically for the target's folder.
int removeStaleTemporaries(const std::string& folder);

} // namespace schauplatz
