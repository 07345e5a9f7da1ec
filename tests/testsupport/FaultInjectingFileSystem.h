#pragma once

// A file system over another one that fails the n-th operation of one kind: the failure
// tests put it in place with ScopedFileSystemOverride.

#include "support/FileSystem.h"

#include <memory>
#include <string>
#include <vector>

namespace schauplatz {

// A test double over another file system that fails the n-th (1-based)
// operation of one kind with a given errno.
class FaultInjectingFileSystem : public FileSystem {
public:
    enum class Operation {
        Open, // openForWrite, createUnnamed, createExclusive
        Write,
        Sync,
        Close,
        Rename,
        Remove,
        SyncDirectory,
        MakeDirectories,
        Status, // status, readLink, listFolder
        Attributes,
        Link,
        Seek,
        Count // number of kinds, not an operation
    };

    explicit FaultInjectingFileSystem(FileSystem& inner);
    // Fail the n-th operation of this kind (counting from 1) with errorNumber.
    // A Write fault with shortWrite writes half the bytes before failing.
    void failOn(Operation operation, int nth, int errorNumber, bool shortWrite = false);
    int count(Operation operation) const;
    // Behave like a file system without unnamed files (createUnnamed gives nullptr).
    void withoutUnnamedFiles() { m_noUnnamed = true; }

    std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override;
    void rename(const std::string& from, const std::string& to) override;
    void remove(const std::string& path) override;
    void syncDirectory(const std::string& folder) override;
    bool exists(const std::string& path) override;
    void makeDirectories(const std::string& folder) override;
    std::unique_ptr<WritableFile> createUnnamed(const std::string& folder, mode_t mode) override;
    std::unique_ptr<WritableFile> createExclusive(const std::string& path, mode_t mode) override;
    FileStatus status(const std::string& path) override;
    std::string readLink(const std::string& path) override;
    std::vector<std::string> listFolder(const std::string& folder) override;

    // Used by the wrapped files; counts and fails as configured.
    void check(Operation operation, const std::string& path);
    bool shortWriteDue(Operation operation) const;
    FileSystem& inner() { return m_inner; }

private:
    std::unique_ptr<WritableFile> wrap(std::unique_ptr<WritableFile> file);

    FileSystem& m_inner;
    Operation m_failOperation = Operation::Open;
    int m_failNth = 0;
    int m_errorNumber = 0;
    bool m_shortWrite = false;
    bool m_noUnnamed = false;
    int m_counts[static_cast<int>(Operation::Count)] = {};
};

} // namespace schauplatz
