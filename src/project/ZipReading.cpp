#include "project/ZipEntryNames.h"
#include "project/ZipLibrary.h"
#include "project/ZipOperations.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace schauplatz::zipwork {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
// Free space is looked at again after this many bytes, as other programs write too.
constexpr std::uint64_t kSpaceRecheckBytes = std::uint64_t{8} << 20;
// DOS attribute bit of a folder entry.
constexpr zip_uint32_t kDosDirectory = 0x10;

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    void reset() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

std::uint64_t freeBytes(int folderFd) {
    struct statvfs info {};
    if (::fstatvfs(folderFd, &info) != 0) return UINT64_MAX;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

bool openArchive(const std::string& archive, TZipArchive::Context& context, ArchivePtr& out) {
    int code = 0;
    zip_t* opened = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    if (opened == nullptr) {
        if (code == ZIP_ER_NOENT)
            context.error("Projektdatei nicht gefunden: " + quoted(archive));
        else
            context.error("Projektdatei kann nicht als Zip-Archiv gelesen werden: " +
                          quoted(archive) + " (" + errorText(code) + ")");
        return false;
    }
    out.reset(opened);
    return true;
}

} // namespace

std::vector<TZipEntryInfo> listEntries(zip_t* archive) {
    std::vector<TZipEntryInfo> entries;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, index, ZIP_FL_ENC_RAW, &stat) != 0) continue;
        TZipEntryInfo entry;
        entry.RawName = stat.name != nullptr ? stat.name : "";
        entry.Name = decodeEntryName(entry.RawName);
        entry.Size = (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0;
        entry.CompressedSize = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
        entry.Method = (stat.valid & ZIP_STAT_COMP_METHOD) ? stat.comp_method : 0;
        entries.push_back(std::move(entry));
    }
    return entries;
}

namespace {

// Only plain files are extracted: folder entries, symbolic links, devices and the like are
// recognised by a trailing slash, the DOS folder bit or the Unix file type.
bool isPlainFile(zip_t* archive, zip_uint64_t index, const std::string& rawName) {
    if (!rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\')) return false;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return true;
    if (system == ZIP_OPSYS_UNIX) {
        const auto mode = static_cast<mode_t>(attributes >> 16);
        if ((mode & S_IFMT) != 0 && !S_ISREG(mode)) return false;
    }
    if (system == ZIP_OPSYS_DOS || system == ZIP_OPSYS_UNIX || system == ZIP_OPSYS_WINDOWS_NTFS ||
        system == ZIP_OPSYS_VFAT)
        return (attributes & kDosDirectory) == 0;
    return true;
}

struct PlannedEntry {
    zip_uint64_t index;
    std::string name; // bare name
    std::uint64_t declaredSize;
    std::uint64_t maxBytes; // the entry limit, or the lower one of its name
};

enum class EntryOutcome { Extracted, Skipped, Damaged, LimitReached, Cancelled };

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::uint64_t entryLimit(const TZipLimits& limits, const std::string& bareName) {
    const auto lower = limits.MaxBytesByName.find(lowerAscii(bareName));
    return lower == limits.MaxBytesByName.end() ? limits.MaxEntryBytes
                                                : std::min(lower->second, limits.MaxEntryBytes);
}

class Extractor {
public:
    Extractor(zip_t* archive, const std::string& archiveName, int folderFd,
              const std::string& folder, TZipArchive::Context& context)
        : m_archive(archive), m_archiveName(archiveName), m_folderFd(folderFd), m_folder(folder),
          m_context(context), m_free(freeBytes(folderFd)) {}

    std::uint64_t written() const { return m_totalWritten; }

    // Removes every file this extraction made (after a cancellation).
    void removeExtracted() {
        for (const std::string& name : m_extracted)
            ::unlinkat(m_folderFd, name.c_str(), 0);
        m_extracted.clear();
    }

    EntryOutcome extract(const PlannedEntry& entry, std::uint64_t totalDeclared) {
        FileDescriptor out(::openat(m_folderFd, entry.name.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (out.get() < 0) {
            if (errno == EEXIST) return EntryOutcome::Skipped; // never overwrite
            m_context.error("Eintrag " + quoted(entry.name) + " kann nicht nach " +
                            quoted(m_folder) + " entpackt werden: " + std::strerror(errno));
            return EntryOutcome::Damaged;
        }
        EntryPtr file(zip_fopen_index(m_archive, entry.index, 0));
        if (!file) {
            return failed(out, entry, EntryOutcome::Damaged,
                          "Eintrag " + quoted(entry.name) + " in " + quoted(m_archiveName) +
                              " kann nicht gelesen werden (" + errorText(zip_get_error(m_archive)) +
                              ")");
        }
        const EntryOutcome copied = copy(file.get(), out, entry, totalDeclared);
        if (copied != EntryOutcome::Extracted) return copied;
        // Linux releases the descriptor even when close fails, so it is not closed again.
        if (::close(out.release()) != 0) {
            const int error = errno;
            ::unlinkat(m_folderFd, entry.name.c_str(), 0);
            m_context.error("Eintrag " + quoted(entry.name) +
                            " kann nicht geschrieben werden: " + std::strerror(error));
            return EntryOutcome::LimitReached;
        }
        m_extracted.push_back(entry.name);
        return EntryOutcome::Extracted;
    }

private:
    // Removes the entry's unfinished file and reports why.
    EntryOutcome failed(FileDescriptor& out, const PlannedEntry& entry, EntryOutcome outcome,
                        const std::string& why) {
        out.reset();
        ::unlinkat(m_folderFd, entry.name.c_str(), 0);
        m_context.error(why);
        return outcome;
    }

    // Unpacks the entry's bytes into out; Extracted once all of them are written.
    EntryOutcome copy(zip_file_t* file, FileDescriptor& out, const PlannedEntry& entry,
                      std::uint64_t totalDeclared) {
        std::uint64_t entryWritten = 0;
        std::vector<char> buffer(kChunk);
        for (;;) {
            if (m_context.cancelRequested()) {
                out.reset();
                ::unlinkat(m_folderFd, entry.name.c_str(), 0);
                return EntryOutcome::Cancelled;
            }
            const zip_int64_t got = zip_fread(file, buffer.data(), buffer.size());
            if (got < 0) {
                return failed(out, entry, EntryOutcome::Damaged,
                              "Eintrag " + quoted(entry.name) + " in " + quoted(m_archiveName) +
                                  " ist beschädigt (" + errorText(zip_file_get_error(file)) + ")");
            }
            if (got == 0) return EntryOutcome::Extracted;
            const auto count = static_cast<std::uint64_t>(got);
            std::string refusal;
            if (!chunkAllowed(entry, entryWritten, count, refusal))
                return failed(out, entry, EntryOutcome::LimitReached, refusal);
            if (!writeAll(out.get(), buffer.data(), count)) {
                return failed(out, entry, EntryOutcome::LimitReached,
                              "Eintrag " + quoted(entry.name) +
                                  " kann nicht geschrieben werden: " + std::strerror(errno));
            }
            entryWritten += count;
            m_totalWritten += count;
            if (totalDeclared > 0)
                m_context.progress(std::min(1.0, static_cast<double>(m_totalWritten) /
                                                     static_cast<double>(totalDeclared)));
        }
    }

    // The declared sizes may lie: the limits hold for the bytes actually unpacked.
    bool chunkAllowed(const PlannedEntry& entry, std::uint64_t entryWritten, std::uint64_t count,
                      std::string& refusal) {
        if (entryWritten + count > entry.maxBytes) {
            refusal = "Eintrag " + quoted(entry.name) + " in " + quoted(m_archiveName) +
                      " ist größer als " + std::to_string(entry.maxBytes) +
                      " Bytes; Entpacken abgebrochen";
            return false;
        }
        if (m_totalWritten + count > m_context.limits().MaxTotalBytes) {
            refusal = "Der Inhalt von " + quoted(m_archiveName) + " ist größer als " +
                      std::to_string(m_context.limits().MaxTotalBytes) +
                      " Bytes; Entpacken abgebrochen";
            return false;
        }
        if (!spaceFor(count)) {
            refusal = "Nicht genug freier Speicherplatz in " + quoted(m_folder) +
                      " zum Entpacken von " + quoted(m_archiveName);
            return false;
        }
        return true;
    }

    bool spaceFor(std::uint64_t count) {
        if (m_sinceCheck + count > kSpaceRecheckBytes) {
            m_free = freeBytes(m_folderFd);
            m_sinceCheck = 0;
        }
        m_sinceCheck += count;
        const std::uint64_t reserve = m_context.limits().DiskReserveBytes;
        if (m_free < reserve || m_free - reserve < count) return false;
        m_free -= count;
        return true;
    }

    static bool writeAll(int fd, const char* data, std::uint64_t size) {
        while (size > 0) {
            const ssize_t done = ::write(fd, data, size);
            if (done < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            data += done;
            size -= static_cast<std::uint64_t>(done);
        }
        return true;
    }

    zip_t* m_archive;
    const std::string& m_archiveName;
    int m_folderFd;
    const std::string& m_folder;
    TZipArchive::Context& m_context;
    std::uint64_t m_free;
    std::uint64_t m_sinceCheck = 0;
    std::uint64_t m_totalWritten = 0;
    std::vector<std::string> m_extracted;
};

} // namespace

void readDirectory(const std::string& archive, TZipArchive::Context& context) {
    struct stat info {};
    if (::stat(archive.c_str(), &info) != 0 && errno == ENOENT) {
        context.entriesValid = true; // a new archive: empty directory
        return;
    }
    ArchivePtr handle;
    if (!openArchive(archive, context, handle)) return;
    context.entries = listEntries(handle.get());
    context.entriesValid = true;
}

namespace {

// The plain files to extract, each name once; false (with the message given) when one
// declares more than its limit.
bool planEntries(zip_t* archive, const std::string& archiveName, TZipArchive::Context& context,
                 std::vector<PlannedEntry>& plan, std::uint64_t& totalDeclared) {
    // First wins: later entries of a name already planned are skipped, as the no-overwrite
    // rule would skip them anyway.
    std::set<std::string> names;
    for (std::size_t i = 0; i < context.entries.size(); ++i) {
        const TZipEntryInfo& entry = context.entries[i];
        const auto bare = bareEntryName(entry.Name);
        if (!bare || !isPlainFile(archive, i, entry.RawName)) continue;
        if (!names.insert(*bare).second) continue;
        const std::uint64_t limit = entryLimit(context.limits(), *bare);
        if (entry.Size > limit) {
            context.error("Eintrag " + quoted(*bare) + " in " + quoted(archiveName) +
                          " ist größer als " + std::to_string(limit) + " Bytes; nichts entpackt");
            return false;
        }
        totalDeclared += entry.Size;
        plan.push_back({i, *bare, entry.Size, limit});
    }
    return true;
}

// The declared total within the limit and the folder's free space; else the message.
bool roomForAll(const std::string& archive, const std::string& folder, int folderFd,
                std::uint64_t totalDeclared, TZipArchive::Context& context) {
    if (totalDeclared > context.limits().MaxTotalBytes) {
        context.error("Der Inhalt von " + quoted(archive) + " ist größer als " +
                      std::to_string(context.limits().MaxTotalBytes) + " Bytes; nichts entpackt");
        return false;
    }
    const std::uint64_t available = freeBytes(folderFd);
    if (available < context.limits().DiskReserveBytes ||
        available - context.limits().DiskReserveBytes < totalDeclared) {
        context.error("Nicht genug freier Speicherplatz in " + quoted(folder) +
                      " zum Entpacken von " + quoted(archive) + "; nichts entpackt");
        return false;
    }
    return true;
}

void extractPlanned(Extractor& extractor, const std::vector<PlannedEntry>& plan,
                    std::uint64_t totalDeclared, TZipArchive::Context& context) {
    for (const PlannedEntry& entry : plan) {
        const EntryOutcome outcome = context.cancelRequested()
                                         ? EntryOutcome::Cancelled
                                         : extractor.extract(entry, totalDeclared);
        if (outcome == EntryOutcome::Cancelled) {
            extractor.removeExtracted();
            context.cancelled = true;
            return;
        }
        // A damaged entry costs only itself; a limit or a write failure ends the operation.
        if (outcome == EntryOutcome::LimitReached) return;
    }
    context.progress(1.0);
}

} // namespace

void extractAll(const std::string& archive, const std::string& folder,
                TZipArchive::Context& context) {
    if (archive.empty()) {
        context.error("Kein Archiv gewählt");
        return;
    }
    ArchivePtr handle;
    if (!openArchive(archive, context, handle)) return;
    context.entries = listEntries(handle.get());
    context.entriesValid = true;

    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0) {
        context.error("Ordner " + quoted(folder) +
                      " kann nicht geöffnet werden: " + std::strerror(errno));
        return;
    }
    std::vector<PlannedEntry> plan;
    std::uint64_t totalDeclared = 0;
    if (!planEntries(handle.get(), archive, context, plan, totalDeclared)) return;
    if (!roomForAll(archive, folder, folderFd.get(), totalDeclared, context)) return;
    if (context.cancelRequested()) {
        context.cancelled = true;
        return;
    }
    Extractor extractor(handle.get(), archive, folderFd.get(), folder, context);
    extractPlanned(extractor, plan, totalDeclared, context);
}

} // namespace schauplatz::zipwork
