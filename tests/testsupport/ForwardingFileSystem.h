#pragma once

// A test double that passes every call to the real file system: a test derives from it and
// overrides only the calls it makes fail.

#include "support/FileSystem.h"

#include <memory>
#include <string>

namespace schauplatz::testing {

class ForwardingFileSystem : public FileSystem {
public:
    std::unique_ptr<WritableFile> openForWrite(const std::string& path, bool append) override {
        return m_inner.openForWrite(path, append);
    }
    void rename(const std::string& from, const std::string& to) override {
        m_inner.rename(from, to);
    }
    void remove(const std::string& path) override { m_inner.remove(path); }
    void syncDirectory(const std::string& path) override { m_inner.syncDirectory(path); }
    bool exists(const std::string& path) override { return m_inner.exists(path); }
    void makeDirectories(const std::string& path) override { m_inner.makeDirectories(path); }

protected:
    FileSystem& m_inner = realFileSystem();
};

} // namespace schauplatz::testing
