#include "project/ZipEntryNames.h"
#include "project/ZipLibrary.h"
#include "project/ZipOperations.h"
#include "support/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace schauplatz::zipwork {
namespace {

namespace fs = std::filesystem;

constexpr int kDeflateLevel = 9;
constexpr std::size_t kChunk = 256 * 1024;
// Compressing takes this share of the progress, writing the file the rest.
constexpr double kCompressShare = 0.9;
// An archive without entries: just the end-of-central-directory record.
constexpr char kEmptyArchive[22] = {'P', 'K', 5, 6};

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
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
        context.error("Ordner " + quoted(folder) +
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
        context.error("Ordner " + quoted(folder) +
                      " kann nicht gelesen werden: " + error.message());
    std::sort(files.begin(), files.end(),
              [](const FolderFile& a, const FolderFile& b) { return a.name < b.name; });
    return files;
}

// The present archive's bytes; false when it exists but cannot be read.
bool readExisting(const std::string& archive, std::string& bytes, TZipArchive::Context& context) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(archive, error))) return true;
    std::ifstream in(archive, std::ios::binary);
    std::ostringstream content;
    if (in) content << in.rdbuf();
    if (!in || in.bad()) {
        context.error("Projektdatei kann nicht gelesen werden: " + quoted(archive) + " (" +
                      std::strerror(errno) + ")");
        return false;
    }
    bytes = content.str();
    return true;
}

void onProgress(zip_t*, double fraction, void* state) {
    static_cast<TZipArchive::Context*>(state)->progress(fraction * kCompressShare);
}

bool sameName(const TZipEntryInfo& entry, const std::vector<std::string>& spellings) {
    return std::find(spellings.begin(), spellings.end(), entry.Name) != spellings.end();
}

bool addFile(zip_t* archive, const FolderFile& file, const std::vector<TZipEntryInfo>& present,
             TZipArchive::Context& context) {
    // Replace what an earlier save stored under this name, in whichever code page it was.
    const std::vector<std::string> spellings = entryNameCandidates(file.name);
    for (std::size_t i = 0; i < present.size(); ++i) {
        if (sameName(present[i], spellings)) zip_delete(archive, i);
    }
    zip_error_t error;
    zip_error_init(&error);
    SourcePtr source(zip_source_file_create(file.path.c_str(), 0, -1, &error));
    if (!source) {
        context.error("Datei " + quoted(file.path) + " kann nicht gelesen werden (" +
                      errorText(&error) + ")");
        zip_error_fini(&error);
        return false;
    }
    zip_error_fini(&error);
    const zip_int64_t index =
        zip_file_add(archive, file.name.c_str(), source.get(), ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        context.error("Datei " + quoted(file.name) + " kann nicht ins Archiv aufgenommen werden (" +
                      errorText(zip_get_error(archive)) + ")");
        return false;
    }
    source.release(); // the archive owns it now
    const auto entry = static_cast<zip_uint64_t>(index);
    const bool stored = isStoredExtension(file.name);
    zip_set_file_compression(archive, entry, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                             stored ? 0 : kDeflateLevel);
    zip_file_set_external_attributes(archive, entry, 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(S_IFREG | 0644) << 16);
    return true;
}

void writeResult(const std::string& archive, zip_source_t* result, TZipArchive::Context& context) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(result, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        context.error("Projektdatei " + quoted(archive) + " kann nicht geschrieben werden (" +
                      errorText(zip_source_error(result)) + ")");
        return;
    }
    if (stat.size == 0) {
        writeFileAtomically(
            archive, [](WritableFile& file) { file.write(kEmptyArchive, sizeof kEmptyArchive); });
        return;
    }
    if (zip_source_open(result) != 0) {
        context.error("Projektdatei " + quoted(archive) + " kann nicht geschrieben werden (" +
                      errorText(zip_source_error(result)) + ")");
        return;
    }
    struct Closer {
        zip_source_t* source;
        ~Closer() { zip_source_close(source); }
    } closer{result};
    writeFileAtomically(archive, [&](WritableFile& file) {
        std::vector<char> buffer(kChunk);
        std::uint64_t done = 0;
        for (;;) {
            const zip_int64_t got = zip_source_read(result, buffer.data(), buffer.size());
            if (got < 0) throw std::runtime_error(errorText(zip_source_error(result)));
            if (got == 0) break;
            file.write(buffer.data(), static_cast<std::size_t>(got));
            done += static_cast<std::uint64_t>(got);
            context.progress(kCompressShare + (1.0 - kCompressShare) * static_cast<double>(done) /
                                                  static_cast<double>(stat.size));
        }
    });
}

} // namespace

void addFolder(const std::string& archive, const std::string& folder,
               TZipArchive::Context& context) {
    if (archive.empty()) {
        context.error("Kein Archiv gewählt");
        return;
    }
    const std::vector<FolderFile> files = listFolder(folder, context);
    if (!context.errors().empty()) return;

    // The new archive is built in memory from the present one, so the file on disk stays
    // untouched until the finished archive replaces it in one rename.
    std::string existing;
    if (!readExisting(archive, existing, context)) return;
    zip_error_t error;
    zip_error_init(&error);
    // libzip keeps pointing into unchanged parts of the old archive while it writes the new
    // one, and frees that memory itself: hand it a malloc'ed copy it owns.
    void* copy = nullptr;
    if (!existing.empty()) {
        copy = std::malloc(existing.size());
        if (copy == nullptr) {
            context.error("Projektdatei " + quoted(archive) +
                          " kann nicht geschrieben werden (kein Speicher)");
            return;
        }
        std::memcpy(copy, existing.data(), existing.size());
    }
    const std::size_t existingSize = existing.size();
    std::string().swap(existing);
    SourcePtr buffer(zip_source_buffer_create(copy, existingSize, 1, &error));
    if (!buffer) {
        std::free(copy);
        context.error("Projektdatei " + quoted(archive) + " kann nicht geschrieben werden (" +
                      errorText(&error) + ")");
        zip_error_fini(&error);
        return;
    }
    ArchivePtr handle(
        zip_open_from_source(buffer.get(), existingSize == 0 ? ZIP_TRUNCATE : 0, &error));
    if (!handle) {
        context.error("Projektdatei ist kein gültiges Zip-Archiv und wird nicht überschrieben: " +
                      quoted(archive) + " (" + errorText(&error) + ")");
        zip_error_fini(&error);
        return;
    }
    zip_error_fini(&error);
    zip_source_keep(buffer.get()); // one reference for the archive, one for reading it back

    zip_register_progress_callback_with_state(handle.get(), 0.01, onProgress, nullptr, &context);
    const std::vector<TZipEntryInfo> present = listEntries(handle.get());
    for (const FolderFile& file : files) {
        if (!addFile(handle.get(), file, present, context)) return;
    }
    if (zip_close(handle.get()) != 0) {
        context.error("Projektdatei " + quoted(archive) + " kann nicht geschrieben werden (" +
                      errorText(zip_get_error(handle.get())) + ")");
        return;
    }
    handle.release(); // closed and freed by zip_close
    try {
        writeResult(archive, buffer.get(), context);
    } catch (const std::exception& e) {
        context.error("Projektdatei " + quoted(archive) + " kann nicht geschrieben werden: " +
                      e.what() + "; die bisherige Datei bleibt unverändert");
        return;
    }
    readDirectory(archive, context);
    context.progress(1.0);
}

} // namespace schauplatz::zipwork
