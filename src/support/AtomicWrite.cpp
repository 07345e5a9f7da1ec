// writeFileAtomically: the one way the program replaces a file (see FileSystem.h).

#include "support/FileSystem.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <random>
#include <unistd.h>

namespace schauplatz {
namespace {

// Links followed at most from the given name to the file (as the system's own limit).
constexpr int kMaxLinkHops = 40;
// Attempts at a fresh temporary name before giving up (each name is 64 random bits).
constexpr int kNameAttempts = 8;
// The part of a temporary's name that only this writer uses: ".NAME" + this + PID-RANDOM.tmp.
constexpr std::string_view kTemporaryMark = ".schauplatz-";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::size_t kRandomDigits = 16;
// Room left in a name of at most 255 bytes for the mark, the numbers and the end.
constexpr std::size_t kMaxKeptName = 200;

// The steps, for the message that names the one that failed.
enum class Step { Examine, Create, Write, Attributes, Sync, Link, Close, Replace };

const char* stepText(Step step) {
    switch (step) {
    case Step::Examine:
        return "Prüfen der Datei";
    case Step::Create:
        return "Anlegen der temporären Datei";
    case Step::Write:
        return "Schreiben";
    case Step::Attributes:
        return "Übernehmen der Zugriffsrechte";
    case Step::Sync:
        return "Sichern auf den Datenträger";
    case Step::Link:
        return "Benennen der temporären Datei";
    case Step::Close:
        return "Schließen";
    case Step::Replace:
        return "Ersetzen der Datei";
    }
    return "";
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The folder part of a path including its last "/", or "" for a bare name.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool allOf(std::string_view text, bool (*accept)(char)) {
    if (text.empty()) return false;
    for (const char c : text)
        if (!accept(c)) return false;
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f');
}

bool parsePid(std::string_view digits, long& pid) {
    if (!allOf(digits, isDigit) || digits.size() > 9) return false;
    pid = 0;
    for (const char c : digits)
        pid = pid * 10 + (c - '0');
    return pid > 0;
}

std::string randomDigits() {
    static thread_local std::random_device device;
    std::uniform_int_distribution<unsigned> digit(0, 15);
    std::string text;
    for (std::size_t i = 0; i < kRandomDigits; ++i)
        text += "0123456789abcdef"[digit(device)];
    return text;
}

std::string temporaryName(const std::string& folder, const std::string& name) {
    return folder + "." + name.substr(0, kMaxKeptName) + std::string(kTemporaryMark) +
           std::to_string(::getpid()) + "-" + randomDigits() + std::string(kTemporaryEnd);
}

// The file a path finally names: symbolic links at the end of the path are followed, so
// the file they point to is written and the links stay.
std::string resolveLinks(FileSystem& files, std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        if (!files.status(path).link) return path;
        const std::string target = files.readLink(path);
        if (target.empty()) throw FileSystemError("read link", path, ENOENT);
        path = target.front() == '/' ? target : folderOf(path) + target;
    }
    throw FileSystemError("follow link", path, ELOOP);
}

// The temporary file of one write: unnamed where possible, else named with our pattern;
// removed again unless it was renamed over the target.
class Temporary {
public:
    Temporary(FileSystem& files, const std::string& folder, const std::string& name, mode_t mode)
        : m_files(files), m_folder(folder), m_name(name) {
        m_file = files.createUnnamed(folder, mode);
        if (m_file) return;
        for (int attempt = 1; !m_file; ++attempt) {
            const std::string candidate = temporaryName(folder, name);
            try {
                m_file = files.createExclusive(candidate, mode);
                m_path = candidate;
            } catch (const FileSystemError& error) {
                // Someone else's file at the name: never touched, another name is tried.
                if (error.errorNumber() != EEXIST || attempt == kNameAttempts) throw;
            }
        }
    }
    ~Temporary() {
        m_file.reset(); // closes quietly if still open; an unnamed file vanishes
        if (m_path.empty() || m_renamed) return;
        try {
            m_files.remove(m_path);
        } catch (...) {
            // The error that brought us here is the one worth reporting.
        }
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    WritableFile& file() { return *m_file; }
    // Gives an unnamed file a fresh temporary name beside the target.
    void name() {
        if (!m_path.empty()) return;
        for (int attempt = 1;; ++attempt) {
            const std::string candidate = temporaryName(m_folder, m_name);
            try {
                m_file->link(candidate);
                m_path = candidate;
                return;
            } catch (const FileSystemError& error) {
                if (error.errorNumber() != EEXIST || attempt == kNameAttempts) throw;
            }
        }
    }
    void close() { m_file->close(); }
    void renameOver(const std::string& target) {
        m_files.rename(m_path, target);
        m_renamed = true;
    }

private:
    FileSystem& m_files;
    std::string m_folder;
    std::string m_name;
    std::unique_ptr<WritableFile> m_file;
    std::string m_path; // empty while unnamed
    bool m_renamed = false;
};

FileSystemError stepFailed(const std::string& path, Step step, const FileSystemError& cause) {
    return FileSystemError::withText(quoted(path) + " kann nicht gespeichert werden (" +
                                         stepText(step) +
                                         "): " + std::strerror(cause.errorNumber()),
                                     path, cause.errorNumber());
}

// Why an existing file at the target must not be replaced, or "" when it may be.
std::string refusal(const std::string& path, const FileStatus& old) {
    if (!old.exists) return {};
    if (!old.regular) return quoted(path) + " ist keine gewöhnliche Datei";
    // Write permission: as the system decides for this user, and for root (who may write
    // anything) as the permission bits say, so a file made read-only stays so.
    if (!old.writable || (old.mode & 0222) == 0) return quoted(path) + " ist schreibgeschützt";
    return {};
}

} // namespace

bool isAtomicWriteTemporary(const std::string& name, long& pid) {
    if (name.size() < 2 || name.front() != '.') return false;
    // ".NAME.schauplatz-PID-RANDOM.tmp"
    if (name.ends_with(kTemporaryEnd)) {
        const std::size_t mark = name.rfind(kTemporaryMark);
        if (mark != std::string::npos && mark > 0) {
            const std::string_view rest =
                std::string_view(name).substr(mark + kTemporaryMark.size());
            const std::size_t dash = rest.find('-');
            if (dash != std::string_view::npos) {
                const std::string_view random =
                    rest.substr(dash + 1, rest.size() - dash - 1 - kTemporaryEnd.size());
                if (random.size() == kRandomDigits && allOf(random, isHexDigit) &&
                    parsePid(rest.substr(0, dash), pid))
                    return true;
            }
        }
    }
    // Older versions: ".NAME.tmp-PID-N".
    const std::size_t legacy = name.rfind(".tmp-");
    if (legacy == std::string::npos || legacy == 0) return false;
    const std::string_view rest = std::string_view(name).substr(legacy + 5);
    const std::size_t dash = rest.find('-');
    return dash != std::string_view::npos && allOf(rest.substr(dash + 1), isDigit) &&
           parsePid(rest.substr(0, dash), pid);
}

int removeStaleTemporaries(const std::string& folder) {
    int removed = 0;
    try {
        FileSystem& files = fileSystem();
        for (const std::string& name : files.listFolder(folder)) {
            long pid = 0;
            if (!isAtomicWriteTemporary(name, pid) || pid == ::getpid()) continue;
            // A process that still runs may be writing it (kill(pid, 0) only asks).
            if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
            const FileStatus status = files.status(folder + name);
            if (!status.regular || status.owner != ::geteuid()) continue;
            try {
                files.remove(folder + name);
                ++removed;
            } catch (const FileSystemError&) {
            }
        }
    } catch (...) {
        // An unreadable folder leaves its temporaries for another time.
    }
    return removed;
}

void writeFileAtomically(const std::string& path,
                         const std::function<void(WritableFile&)>& writeBody) {
    FileSystem& files = fileSystem();
    Step step = Step::Examine;
    bool passOn = false; // errors worded for the user already, or those of the body's own files
    try {
        const std::string target = resolveLinks(files, path);
        const FileStatus old = files.status(target);
        if (const std::string why = refusal(path, old); !why.empty()) {
            passOn = true;
            throw FileSystemError::withText(why, path, old.regular ? EACCES : EISDIR);
        }
        const std::string folder = folderOf(target);
        removeStaleTemporaries(folder);

        step = Step::Create;
        // A new file gets 0666 less the umask; a replacement starts private and then takes
        // the old file's bits, so the content is never more readable than either.
        Temporary temporary(files, folder, nameOf(target), old.exists ? 0600 : 0666);
        step = Step::Write;
        try {
            writeBody(temporary.file());
        } catch (const FileSystemError& error) {
            passOn = error.path() != temporary.file().path();
            throw;
        }
        if (old.exists) {
            step = Step::Attributes;
            temporary.file().copyAttributes(old);
        }
        step = Step::Sync;
        temporary.file().sync();
        step = Step::Link;
        temporary.name();
        step = Step::Close;
        temporary.close();
        step = Step::Replace;
        temporary.renameOver(target);
        // The new content is in place and synced; a folder that cannot be synced only
        // weakens durability after a power loss, so this is not a failure of the write.
        try {
            files.syncDirectory(folder);
        } catch (...) {
        }
    } catch (const FileSystemError& error) {
        if (passOn) throw;
        throw stepFailed(path, step, error);
    }
}

} // namespace schauplatz
