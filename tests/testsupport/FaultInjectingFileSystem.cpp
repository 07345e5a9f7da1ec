#include "testsupport/FaultInjectingFileSystem.h"

namespace schauplatz {

namespace {

using Operation = FaultInjectingFileSystem::Operation;

// A file whose every operation passes the fault check of its file system first.
class FaultInjectingFile final : public WritableFile {
public:
    FaultInjectingFile(FaultInjectingFileSystem& owner, std::unique_ptr<WritableFile> inner)
        : m_owner(owner), m_inner(std::move(inner)) {}

    void write(const void* data, std::size_t size) override {
        if (m_owner.shortWriteDue(Operation::Write) && size > 1) {
            // A short write: half the bytes reach the file, then the error.
            m_inner->write(data, size / 2);
        }
        m_owner.check(Operation::Write, m_inner->path());
        m_inner->write(data, size);
    }
    void seek(std::uint64_t offset) override {
        m_owner.check(Operation::Seek, m_inner->path());
        m_inner->seek(offset);
    }
    void copyAttributes(const FileStatus& from) override {
        m_owner.check(Operation::Attributes, m_inner->path());
        m_inner->copyAttributes(from);
    }
    void sync() override {
        m_owner.check(Operation::Sync, m_inner->path());
        m_inner->sync();
    }
    void link(const std::string& path) override {
        m_owner.check(Operation::Link, m_inner->path());
        m_inner->link(path);
    }
    void close() override {
        m_owner.check(Operation::Close, m_inner->path());
        m_inner->close();
    }
    const std::string& path() const override { return m_inner->path(); }

private:
    FaultInjectingFileSystem& m_owner;
    std::unique_ptr<WritableFile> m_inner;
};

} // namespace

FaultInjectingFileSystem::FaultInjectingFileSystem(FileSystem& inner) : m_inner(inner) {}

void FaultInjectingFileSystem::failOn(Operation operation, int nth, int errorNumber,
                                      bool shortWrite) {
    m_failOperation = operation;
    m_failNth = nth;
    m_errorNumber = errorNumber;
    m_shortWrite = shortWrite;
}

int FaultInjectingFileSystem::count(Operation operation) const {
    return m_counts[static_cast<int>(operation)];
}

bool FaultInjectingFileSystem::shortWriteDue(Operation operation) const {
    return m_shortWrite && operation == m_failOperation && count(operation) + 1 == m_failNth;
}

void FaultInjectingFileSystem::check(Operation operation, const std::string& path) {
    const int seen = ++m_counts[static_cast<int>(operation)];
    if (m_failNth > 0 && operation == m_failOperation && seen == m_failNth) {
        throw FileSystemError("injected fault", path, m_errorNumber);
    }
}

std::unique_ptr<WritableFile> FaultInjectingFileSystem::wrap(std::unique_ptr<WritableFile> file) {
    if (!file) return nullptr;
    return std::make_unique<FaultInjectingFile>(*this, std::move(file));
}

std::unique_ptr<WritableFile> FaultInjectingFileSystem::openForWrite(const std::string& path,
                                                                     bool append) {
    check(Operation::Open, path);
    return wrap(m_inner.openForWrite(path, append));
}

void FaultInjectingFileSystem::rename(const std::string& from, const std::string& to) {
    check(Operation::Rename, from);
    m_inner.rename(from, to);
}

void FaultInjectingFileSystem::remove(const std::string& path) {
    check(Operation::Remove, path);
    m_inner.remove(path);
}

void FaultInjectingFileSystem::syncDirectory(const std::string& folder) {
    check(Operation::SyncDirectory, folder);
    m_inner.syncDirectory(folder);
}

bool FaultInjectingFileSystem::exists(const std::string& path) {
    return m_inner.exists(path);
}

void FaultInjectingFileSystem::makeDirectories(const std::string& folder) {
    check(Operation::MakeDirectories, folder);
    m_inner.makeDirectories(folder);
}

std::unique_ptr<WritableFile> FaultInjectingFileSystem::createUnnamed(const std::string& folder,
                                                                      mode_t mode) {
    if (m_noUnnamed) return nullptr;
    check(Operation::Open, folder);
    return wrap(m_inner.createUnnamed(folder, mode));
}

std::unique_ptr<WritableFile> FaultInjectingFileSystem::createExclusive(const std::string& path,
                                                                        mode_t mode) {
    check(Operation::Open, path);
    return wrap(m_inner.createExclusive(path, mode));
}

FileStatus FaultInjectingFileSystem::status(const std::string& path) {
    check(Operation::Status, path);
    return m_inner.status(path);
}

std::string FaultInjectingFileSystem::readLink(const std::string& path) {
    check(Operation::Status, path);
    return m_inner.readLink(path);
}

std::vector<std::string> FaultInjectingFileSystem::listFolder(const std::string& folder) {
    check(Operation::Status, folder);
    return m_inner.listFolder(folder);
}

} // namespace schauplatz
