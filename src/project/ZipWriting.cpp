// Writing archives: every entry streams from its file (or from the previous archive) through
// libzip straight into the temporary file of the atomic write, so a save needs memory only
// for the directory and a few buffers, and a picture that cannot be read completely fails
// the whole save instead of going into the archive half written.

#include "project/ZipEntryNames.h"
#include "project/ZipLibrary.h"
#include "project/ZipOperations.h"
#include "support/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace schauplatz::zipwork {
namespace {

namespace fs = std::filesystem;

constexpr int kDeflateLevel = 9;
// An archive without entries: just the end-of-central-directory record.
constexpr char kEmptyArchive[22] = {'P', 'K', 5, 6};

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

// One entry of an archive being written: a file on disk, or an entry of the previous
// archive that stays.
struct PlannedWrite {
    std::string name; // UTF-8, or the raw bytes of a kept entry
    std::string path; // the file; empty for a kept entry
    zip_uint64_t keptIndex = 0;
};

// The archive's bytes go into the atomic write's temporary file. libzip writes the entries
// one after another and goes back only to complete each entry's local header.
struct FileTarget {
    explicit FileTarget(WritableFile& out) : file(out) { zip_error_init(&error); }
    ~FileTarget() { zip_error_fini(&error); }
    FileTarget(const FileTarget&) = delete;
    FileTarget& operator=(const FileTarget&) = delete;

    WritableFile& file;
    std::uint64_t position = 0;
    std::uint64_t size = 0;
    zip_error_t error;
    std::exception_ptr failure; // the file's own error, rethrown once libzip has given up
};

zip_int64_t writeTarget(FileTarget& target, void* data, zip_uint64_t length,
                        zip_source_cmd_t command) {
    switch (command) {
    case ZIP_SOURCE_BEGIN_WRITE:
        target.position = target.size = 0;
        return 0;
    case ZIP_SOURCE_WRITE:
        target.file.write(data, static_cast<std::size_t>(length));
        target.position += length;
        target.size = std::max(target.size, target.position);
        return static_cast<zip_int64_t>(length);
    case ZIP_SOURCE_SEEK_WRITE: {
        const zip_int64_t to = zip_source_seek_compute_offset(target.position, target.size, data,
                                                              length, &target.error);
        if (to < 0) return -1;
        target.file.seek(static_cast<std::uint64_t>(to));
        target.position = static_cast<std::uint64_t>(to);
        return 0;
    }
    case ZIP_SOURCE_TELL_WRITE:
        return static_cast<zip_int64_t>(target.position);
    case ZIP_SOURCE_COMMIT_WRITE:
    case ZIP_SOURCE_ROLLBACK_WRITE:
    case ZIP_SOURCE_REMOVE:
        return 0;
    default:
        zip_error_set(&target.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

extern "C" zip_int64_t targetCallback(void* state, void* data, zip_uint64_t length,
                                      zip_source_cmd_t command) {
    auto& target = *static_cast<FileTarget*>(state);
    switch (command) {
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_WRITABLE;
    case ZIP_SOURCE_STAT: { // a new archive: nothing to read
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->size = 0;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_READ:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_SEEK:
    case ZIP_SOURCE_TELL:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&target.error, data, length);
    default:
        break;
    }
    try {
        return writeTarget(target, data, length, command);
    } catch (const FileSystemError& error) {
        if (!target.failure) target.failure = std::current_exception();
        zip_error_set(&target.error, ZIP_ER_WRITE, error.errorNumber());
        return -1;
    } catch (...) {
        if (!target.failure) target.failure = std::current_exception();
        zip_error_set(&target.error, ZIP_ER_WRITE, EIO);
        return -1;
    }
}

// A file read for its entry, checked: it must be a regular file, and exactly as long at the
// end of reading as when it was opened (a picture changed while it is saved fails the save).
struct FileSource {
    std::string path;
    int fd = -1;
    std::uint64_t expected = 0;
    std::uint64_t done = 0;
    time_t mtime = 0;
    zip_error_t error;
    std::string* firstFailure; // the operation's first failing file, with the reason

    void fail(int code, int systemError, const std::string& why) {
        zip_error_set(&error, code, systemError);
        if (firstFailure->empty())
            *firstFailure = "Datei " + inQuotes(path) + " kann nicht gelesen werden: " + why;
    }
    bool open() {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0) {
            const int systemError = errno;
            fail(ZIP_ER_OPEN, systemError, std::strerror(systemError));
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            fail(ZIP_ER_OPEN, EINVAL, "keine gewöhnliche Datei");
            return false;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        expected = static_cast<std::uint64_t>(info.st_size);
        mtime = info.st_mtime;
        done = 0;
        return true;
    }
    zip_int64_t read(void* data, zip_uint64_t length) {
        for (;;) {
            const ssize_t got = ::read(fd, data, static_cast<std::size_t>(length));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                const int systemError = errno;
                fail(ZIP_ER_READ, systemError, std::strerror(systemError));
                return -1;
            }
            done += static_cast<std::uint64_t>(got);
            if ((got == 0 && done != expected) || done > expected) {
                fail(ZIP_ER_INCONS, 0, "die Datei wurde während des Speicherns verändert");
                return -1;
            }
            return got;
        }
    }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

extern "C" zip_int64_t fileCallback(void* state, void* data, zip_uint64_t length,
                                    zip_source_cmd_t command) {
    auto& source = *static_cast<FileSource*>(state);
    switch (command) {
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE;
    case ZIP_SOURCE_OPEN:
        return source.open() ? 0 : -1;
    case ZIP_SOURCE_READ:
        return source.read(data, length);
    case ZIP_SOURCE_CLOSE:
        source.close();
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        struct stat info {};
        if (::stat(source.path.c_str(), &info) == 0) {
            stat->size = static_cast<zip_uint64_t>(info.st_size);
            stat->mtime = info.st_mtime;
            stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        }
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source.error, data, length);
    case ZIP_SOURCE_FREE:
        source.close();
        zip_error_fini(&source.error);
        delete &source;
        return 0;
    default:
        zip_error_set(&source.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

zip_source_t* fileSource(zip_t* archive, const std::string& path, std::string& firstFailure) {
    auto source = std::make_unique<FileSource>();
    source->path = path;
    source->firstFailure = &firstFailure;
    zip_error_init(&source->error);
    zip_source_t* created = zip_source_function(archive, fileCallback, source.get());
    if (created == nullptr) {
        zip_error_fini(&source->error);
        return nullptr;
    }
    source.release(); // freed by its ZIP_SOURCE_FREE
    return created;
}

void onProgress(zip_t*, double fraction, void* state) {
    static_cast<TZipArchive::Context*>(state)->progress(std::min(fraction, 0.99));
}

void addEntry(zip_t* archive, zip_t* previous, const PlannedWrite& entry, std::string& failure) {
    zip_source_t* source = entry.path.empty()
                               ? zip_source_zip(archive, previous, entry.keptIndex, 0, 0, -1)
                               : fileSource(archive, entry.path, failure);
    if (source == nullptr)
        throw std::runtime_error("Eintrag " + inQuotes(entry.name) + ": " +
                                 errorText(zip_get_error(archive)));
    // Kept entries keep their name's bytes (code page or UTF-8); new names are UTF-8.
    const zip_int64_t index =
        zip_file_add(archive, entry.name.c_str(), source,
                     entry.path.empty() ? ZIP_FL_ENC_GUESS : ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        throw std::runtime_error("Datei " + inQuotes(entry.name) +
                                 " kann nicht ins Archiv aufgenommen werden (" +
                                 errorText(zip_get_error(archive)) + ")");
    }
    const auto added = static_cast<zip_uint64_t>(index);
    const bool stored = isStoredExtension(entry.name);
    zip_set_file_compression(archive, added, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                             stored ? 0 : kDeflateLevel);
    zip_file_set_external_attributes(archive, added, 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(S_IFREG | 0644) << 16);
    if (entry.path.empty()) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(previous, entry.keptIndex, 0, &stat) == 0 &&
            (stat.valid & ZIP_STAT_MTIME))
            zip_file_set_mtime(archive, added, stat.mtime, 0);
    }
}

// Writes the archive through libzip into the temporary of the atomic write.
void writeBody(WritableFile& file, const std::vector<PlannedWrite>& plan, zip_t* previous,
               TZipArchive::Context& context) {
    FileTarget target(file);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* sink = zip_source_function_create(targetCallback, &target, &error);
    zip_t* opened =
        sink != nullptr ? zip_open_from_source(sink, ZIP_CREATE | ZIP_TRUNCATE, &error) : nullptr;
    if (opened == nullptr) {
        if (sink != nullptr) zip_source_free(sink);
        const std::string text = errorText(&error);
        zip_error_fini(&error);
        throw std::runtime_error(text);
    }
    zip_error_fini(&error);
    ArchivePtr archive(opened);
    zip_register_progress_callback_with_state(archive.get(), 0.01, onProgress, nullptr, &context);
    std::string failure;
    for (const PlannedWrite& entry : plan)
        addEntry(archive.get(), previous, entry, failure);
    if (zip_close(archive.get()) != 0) {
        if (target.failure) std::rethrow_exception(target.failure);
        throw std::runtime_error(failure.empty() ? errorText(zip_get_error(archive.get()))
                                                 : failure);
    }
    archive.release(); // closed and freed by zip_close
}

void writePlanned(const std::string& archive, const std::vector<PlannedWrite>& plan,
                  zip_t* previous, TZipArchive::Context& context) {
    try {
        writeFileAtomically(archive, [&](WritableFile& file) {
            if (plan.empty())
                file.write(kEmptyArchive, sizeof kEmptyArchive);
            else
                writeBody(file, plan, previous, context);
        });
    } catch (const FileSystemError& e) {
        // The writer's own texts name the project file already.
        context.error(std::string(e.what()) + "; die bisherige Datei bleibt unverändert");
        return;
    } catch (const std::exception& e) {
        context.error("Projektdatei " + inQuotes(archive) + " kann nicht geschrieben werden: " +
                      e.what() + "; die bisherige Datei bleibt unverändert");
        return;
    }
    readDirectory(archive, context);
    context.progress(1.0);
}

struct FolderFile {
    std::string name;
    std::string path;
};

// Regular files directly in the folder; hidden files (leading ".") and everything that is
// not a plain file are left out. Sorted, so archives come out the same every time.
std::vector<FolderFile> listFolder(const std::string& folder, TZipArchive::Context& context) {
    std::vector<FolderFile> files;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        context.error("Ordner " + inQuotes(folder) +
                      " kann nicht gelesen werden: " + error.message());
        return files;
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        std::error_code statusError;
        if (!fs::is_regular_file(it->symlink_status(statusError)) || statusError) continue;
        files.push_back({name, it->path().string()});
    }
    if (error)
        context.error("Ordner " + inQuotes(folder) +
                      " kann nicht gelesen werden: " + error.message());
    std::sort(files.begin(), files.end(),
              [](const FolderFile& a, const FolderFile& b) { return a.name < b.name; });
    return files;
}

bool sameName(const TZipEntryInfo& entry, const std::vector<std::string>& spellings) {
    return std::find(spellings.begin(), spellings.end(), entry.Name) != spellings.end();
}

} // namespace

void writeEntries(const std::string& archive, const std::vector<TZipSourceEntry>& entries,
                  TZipArchive::Context& context) {
    if (archive.empty()) {
        context.error("Kein Archiv gewählt");
        return;
    }
    std::vector<PlannedWrite> plan;
    for (const TZipSourceEntry& entry : entries)
        plan.push_back({entry.Name, entry.Path, 0});
    writePlanned(archive, plan, nullptr, context);
}

void addFolder(const std::string& archive, const std::string& folder,
               TZipArchive::Context& context) {
    if (archive.empty()) {
        context.error("Kein Archiv gewählt");
        return;
    }
    const std::vector<FolderFile> files = listFolder(folder, context);
    if (!context.errors().empty()) return;

    // The entries of the present archive that no file replaces stay; they are copied from it
    // while the new archive is written, and the old file is replaced only at the end.
    ArchivePtr previous;
    std::vector<PlannedWrite> plan;
    std::error_code error;
    if (fs::exists(fs::symlink_status(archive, error))) {
        int code = 0;
        zip_t* opened = zip_open(archive.c_str(), ZIP_RDONLY, &code);
        if (opened == nullptr) {
            context.error(
                "Projektdatei ist kein gültiges Zip-Archiv und wird nicht überschrieben: " +
                inQuotes(archive) + " (" + errorText(code) + ")");
            return;
        }
        previous.reset(opened);
        const std::vector<TZipEntryInfo> present = listEntries(previous.get());
        for (std::size_t i = 0; i < present.size(); ++i) {
            const bool replaced = std::any_of(files.begin(), files.end(), [&](const FolderFile& f) {
                return sameName(present[i], entryNameCandidates(f.name));
            });
            if (!replaced) plan.push_back({present[i].RawName, {}, i});
        }
    }
    for (const FolderFile& file : files)
        plan.push_back({file.name, file.path, 0});
    writePlanned(archive, plan, previous.get(), context);
}

} // namespace schauplatz::zipwork
