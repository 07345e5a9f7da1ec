#include "support/FreeFileName.h"

#include "support/FileSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace schauplatz {
namespace {

// Throws filesystem_error when the folder cannot be looked into.
bool nothingAt(const std::string& path) {
    return !std::filesystem::exists(std::filesystem::symlink_status(path));
}

bool createdExclusively(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != EEXIST) throw FileSystemError("Cannot create", path, errno);
    return false;
}

} // namespace

FileNameParts SplitFileName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {name, std::string()};
    return {name.substr(0, dot), name.substr(dot)};
}

std::string NumberedFileName(const std::string& stem, const std::string& extension, int number) {
    if (number <= 1) return stem + extension;
    return stem + " (" + std::to_string(number) + ")" + extension;
}

std::string FreeFilePath(const std::string& folder, const std::string& stem,
                         const std::string& extension, FreeNameClaim claim, int maxTries) {
    for (int number = 1; number <= maxTries; ++number) {
        const std::string path = folder + NumberedFileName(stem, extension, number);
        const bool free =
            claim == FreeNameClaim::Probe ? nothingAt(path) : createdExclusively(path);
        if (free) return path;
    }
    return std::string();
}

} // namespace schauplatz
