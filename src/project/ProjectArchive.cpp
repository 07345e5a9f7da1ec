#include "project/ProjectArchive.h"

#include "project/AppearanceEntry.h"
#include "project/ProjectNames.h"
#include "project/RecordFile.h"
#include "project/ZipEntryNames.h"
#include "support/FileSystem.h"
#include "support/U_SYSTOOLS.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <system_error>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordFileName = "data.dat";
// Stands in for a picture whose path has no usable file-name part.
constexpr const char* kUnnamedPicture = "Bild";

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool usableFileName(const std::string& name) {
    // A picture named like the record file would overwrite it in the work folder.
    return !name.empty() && name != "." && name != ".." && name != kRecordFileName;
}

// ---- saving ------------------------------------------------------------------------------

// A name every archive reader extracts: no control characters, not empty, not "." or "..".
std::string archivableName(std::string name) {
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    if (name.empty() || name == "." || name == "..") name = kUnnamedPicture;
    return name;
}

// Hands out names that no earlier picture of the archive has, without regard to case (the
// archive may be unpacked where case does not count).
class ArchiveNames {
public:
    ArchiveNames() { m_taken.insert(kRecordFileName); }
    std::string claim(const std::string& wanted) {
        if (m_taken.insert(lowerAscii(wanted)).second) return wanted;
        const std::size_t dot = wanted.rfind('.');
        const bool extension = dot != std::string::npos && dot != 0;
        const std::string stem = extension ? wanted.substr(0, dot) : wanted;
        const std::string ext = extension ? wanted.substr(dot) : std::string();
        for (int number = 2;; ++number) {
            std::string candidate = stem + " (" + std::to_string(number) + ")" + ext;
            if (m_taken.insert(lowerAscii(candidate)).second) return candidate;
        }
    }

private:
    std::unordered_set<std::string> m_taken;
};

// The picture's file, if it is one to archive. Missing pictures and what is no regular file
// (a folder dropped as an element) are left out, as the record line alone cannot bring them
// back; anything else that is there goes in, and a read error then fails the save.
bool archivable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno != ENOENT && errno != ENOTDIR;
    return S_ISREG(info.st_mode);
}

// The line with its picture path replaced by one naming the archive entry.
std::string renamedLine(const std::string& line, const std::string& path, const std::string& name) {
    const std::size_t cut = path.find_last_of("/\\:");
    const std::string renamed =
        (cut == std::string::npos ? std::string() : path.substr(0, cut + 1)) + name;
    return renamed + line.substr(path.size());
}

// Removes the work folder when the save ends, also when it ends with an error, so that no
// half-staged file finds its way into the next save's archive.
class WorkFolderRemoval {
public:
    explicit WorkFolderRemoval(const std::string& folder) : m_folder(folder) {}
    ~WorkFolderRemoval() { DeleteFolderIfExists(m_folder); }
    WorkFolderRemoval(const WorkFolderRemoval&) = delete;
    WorkFolderRemoval& operator=(const WorkFolderRemoval&) = delete;

private:
    const std::string& m_folder;
};

// ---- loading -----------------------------------------------------------------------------

// Caps the record file's entry for one extraction, and restores the limits afterwards.
class RecordFileCap {
public:
    explicit RecordFileCap(TZipArchive& zip) : m_zip(zip), m_saved(zip.Limits()) {
        TZipLimits limits = m_saved;
        limits.MaxBytesByName[kRecordFileName] = kMaxRecordFileBytes;
        zip.SetLimits(limits);
    }
    ~RecordFileCap() { m_zip.SetLimits(m_saved); }
    RecordFileCap(const RecordFileCap&) = delete;
    RecordFileCap& operator=(const RecordFileCap&) = delete;

private:
    TZipArchive& m_zip;
    TZipLimits m_saved;
};

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::string recordFileShownAs(const std::string& projectFile) {
    return std::string(kRecordFileName) + " in " + quoted(projectFile);
}

// The first record file entry of the directory (the one extraction keeps) when it declares
// more than the limit; its size then, else 0.
std::uint64_t oversizedRecordFile(const std::vector<TZipEntryInfo>& entries) {
    for (const TZipEntryInfo& entry : entries) {
        const auto bare = bareEntryName(entry.Name);
        if (!bare || lowerAscii(*bare) != kRecordFileName) continue;
        return entry.Size > kMaxRecordFileBytes ? entry.Size : 0;
    }
    return 0;
}

// The file names the record lines refer to; line 0 is a path as a whole.
std::vector<std::string> recordedNames(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string path = i == 0 ? lines[i] : lines[i].substr(0, lines[i].find(';'));
        std::string name = FileNamePart(path);
        if (seen.insert(name).second) names.push_back(std::move(name));
    }
    return names;
}

void moveFile(const std::string& from, const std::string& to) {
    std::error_code error;
    if (fs::exists(fs::symlink_status(to, error))) return;
    fs::rename(from, to, error);
    if (error) {
        fs::copy_file(from, to, error);
        if (!error) fs::remove(from, error);
    }
}

// Moves the unpacked pictures into a fresh picture set: first those data.dat names, under
// the names it uses, then whatever else the archive held. The older sets stay until the
// caller has taken the project over (DropOlderPictureSets).
std::string storePictures(const std::string& workFolder, const std::vector<std::string>& lines,
                          TProjectFolders& folders) {
    const std::string set = folders.BeginPictureSet();
    const TPictureIndex unpacked(workFolder);
    for (const std::string& name : recordedNames(lines)) {
        if (!usableFileName(name)) continue;
        const std::string found = unpacked.Find(name);
        if (!found.empty()) moveFile(workFolder + found, set + name);
    }
    std::error_code error;
    std::vector<std::string> rest;
    for (fs::directory_iterator it(workFolder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name != kRecordFileName) rest.push_back(name);
    }
    for (const std::string& name : rest)
        moveFile(workFolder + name, set + name);
    return set;
}

TProjectLoad failedLoad(std::string error) {
    TProjectLoad load;
    load.Outcome = TLoadOutcome::Failed;
    load.Error = std::move(error);
    return load;
}

// A failure the archive component reported (through its OnMessage) itself.
TProjectLoad componentFailed(const TZipArchive& zip) {
    TProjectLoad load = failedLoad(joined(zip.LastErrors()));
    load.ErrorShown = true;
    return load;
}

TProjectLoad endedLoad(TLoadOutcome outcome) {
    TProjectLoad load;
    load.Outcome = outcome;
    return load;
}

bool namesPicture(const std::vector<std::string>& lines, const std::string& name) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 0) {
            if (lowerAscii(FileNamePart(lines[0])) == lowerAscii(name)) return true;
            continue;
        }
        if (RecordLineProblem(lines[i]).empty() &&
            lowerAscii(FileNamePart(SplitElementRecord(lines[i]).Path)) == lowerAscii(name))
            return true;
    }
    return false;
}

// At most limit bytes of a file ("" when it cannot be read).
std::string readHead(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(limit, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

// Reads and checks data.dat of an extracted set; fills project or returns why it cannot.
std::optional<TProjectLoad> readRecords(const std::string& projectFile, const std::string& folder,
                                        TUnpackedProject& project) {
    project.PictureFolder = folder;
    project.Pictures = TPictureIndex(folder);
    const std::string recordFile = project.Pictures.Find(kRecordFileName);
    if (recordFile.empty())
        return failedLoad("Die Projektdatei " + quoted(projectFile) +
                          " enthält keine Datei data.dat und kann nicht geladen werden");
    try {
        project.LoadStore = readRecordFile(folder + recordFile, recordFileShownAs(projectFile));
    } catch (const ERecordFileError& error) {
        return failedLoad(error.what());
    }
    std::error_code ignored;
    fs::remove(folder + recordFile, ignored); // no picture of the project
    // The appearance entry is no picture either, unless a record line names a file of its
    // name (an archive written before the entry existed).
    if (const std::string entry = project.Pictures.Find(kAppearanceEntryName);
        entry == kAppearanceEntryName && !namesPicture(project.LoadStore, entry)) {
        project.AppearanceEntry = readHead(folder + entry, kAppearanceEntryMaxBytes + 1);
        fs::remove(folder + entry, ignored);
    }
    project.Pictures = TPictureIndex(folder);
    if (project.LoadStore.empty())
        return failedLoad("Die Datei " + recordFileShownAs(projectFile) +
                          " ist leer: sie nennt keine Fassade");
    try {
        project.Elements = project.ElementRecords(projectFile);
    } catch (const ERecordLineError& error) {
        TProjectLoad load = failedLoad(error.what());
        load.FailedLine = error.Line();
        return load;
    }
    return std::nullopt;
}

} // namespace

// ---- saving ------------------------------------------------------------------------------

TArchivePlan planProjectArchive(const std::vector<std::string>& projectData,
                                bool withAppearanceEntry) {
    TArchivePlan plan;
    ArchiveNames names;
    if (withAppearanceEntry) names.claim(kAppearanceEntryName);
    std::unordered_map<std::string, std::string> nameOf; // picture path -> archive name
    for (std::size_t i = 0; i < projectData.size(); ++i) {
        const std::string& line = projectData[i];
        const std::string path = i == 0 ? line : SplitElementRecord(line).Path;
        auto known = nameOf.find(path);
        if (known == nameOf.end()) {
            known = nameOf.emplace(path, names.claim(archivableName(FileNamePart(path)))).first;
            if (archivable(path)) plan.Pictures.push_back({known->second, path});
        }
        plan.RecordLines.push_back(
            known->second == FileNamePart(path) ? line : renamedLine(line, path, known->second));
    }
    return plan;
}

bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, const std::string& workFolder,
                         TZipArchive& zip, const std::string& appearanceEntry) {
    if (zip.RefusedWhileBusy("Speichern von " + projectFile)) return false;
    const bool withEntry = !appearanceEntry.empty();
    const TArchivePlan plan = planProjectArchive(projectData, withEntry);
    fileSystem().makeDirectories(workFolder);
    WorkFolderRemoval removal(workFolder);
    writeRecordFile(workFolder + kRecordFileName, plan.RecordLines);
    if (withEntry) {
        std::unique_ptr<WritableFile> file =
            fileSystem().openForWrite(workFolder + kAppearanceEntryName, false);
        file->write(appearanceEntry);
        file->close();
    }
    // Reading the present file's directory first: a file that is no archive is not replaced.
    if (!zip.SetArchive(projectFile)) return false;
    std::vector<TZipSourceEntry> entries{{kRecordFileName, workFolder + kRecordFileName}};
    if (withEntry) entries.push_back({kAppearanceEntryName, workFolder + kAppearanceEntryName});
    entries.insert(entries.end(), plan.Pictures.begin(), plan.Pictures.end());
    return zip.WriteEntries(entries);
}

bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, TProjectFolders& folders,
                         TZipArchive& zip, const std::string& appearanceEntry) {
    if (zip.RefusedWhileBusy("Speichern von " + projectFile)) return false;
    folders.RemoveStaleFolders();
    return writeProjectArchive(projectFile, projectData, folders.WorkFolder(), zip,
                               appearanceEntry);
}

// ---- loading -----------------------------------------------------------------------------

TPictureIndex::TPictureIndex(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code statusError;
        if (fs::is_regular_file(it->symlink_status(statusError)))
            names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        m_names.insert(name);
        m_byLowerName.emplace(lowerAscii(name), name);
    }
}

std::string TPictureIndex::Find(const std::string& fileName) const {
    for (const std::string& candidate : entryNameCandidates(fileName))
        if (m_names.contains(candidate)) return candidate;
    // Names recorded on a case-insensitive system may differ in case from the entry.
    const auto lower = m_byLowerName.find(lowerAscii(fileName));
    return lower == m_byLowerName.end() ? std::string() : lower->second;
}

std::string TUnpackedProject::PicturePath(const std::string& recordedPath) const {
    const std::string name = FileNamePart(recordedPath);
    const std::string found = usableFileName(name) ? Pictures.Find(name) : "";
    return PictureFolder + (found.empty() ? name : found);
}

std::vector<TElementRecord> TUnpackedProject::ElementRecords(const std::string& projectFile) const {
    std::vector<TElementRecord> records;
    records.reserve(LoadStore.empty() ? 0 : LoadStore.size() - 1);
    for (std::size_t i = 1; i < LoadStore.size(); ++i) {
        const std::string problem = RecordLineProblem(LoadStore[i]);
        if (!problem.empty()) {
            // The line as an editor numbers it: the facade's is line 1.
            throw ERecordLineError(i, "Zeile " + std::to_string(i + 1) + " der Datei " +
                                          recordFileShownAs(projectFile) +
                                          " kann nicht gelesen werden: " + problem);
        }
        records.push_back(SplitElementRecord(LoadStore[i]));
    }
    return records;
}

TProjectLoad loadProjectArchive(const std::string& projectFile, TProjectFolders& folders,
                                TZipArchive& zip) {
    if (zip.RefusedWhileBusy("Laden von " + projectFile)) return endedLoad(TLoadOutcome::Refused);
    zip.ClearCancel();
    folders.RemoveStaleFolders();
    // Everything goes into a set of its own; returning without committing removes it again.
    TPendingPictureSet pictures(folders);
    if (!zip.SetArchive(projectFile)) return componentFailed(zip);
    if (zip.CancelRequested()) return endedLoad(TLoadOutcome::Cancelled);
    if (const std::uint64_t size = oversizedRecordFile(zip.Entries()); size > 0) {
        return failedLoad("Die Datei " + recordFileShownAs(projectFile) + " ist mit " +
                          std::to_string(size) +
                          " Bytes zu groß (höchstens 16 MiB); das Projekt wird nicht geladen");
    }
    {
        RecordFileCap cap(zip);
        if (!zip.ExtractAll(pictures.Folder())) {
            if (zip.LastOutcome() == TZipOutcome::Cancelled)
                return endedLoad(TLoadOutcome::Cancelled);
            return componentFailed(zip);
        }
    }
    if (zip.CancelRequested()) return endedLoad(TLoadOutcome::Cancelled);
    TProjectLoad load;
    if (auto failure = readRecords(projectFile, pictures.Folder(), load.Project))
        return std::move(*failure);
    load.Outcome = TLoadOutcome::Loaded;
    load.Pictures.emplace(std::move(pictures));
    return load;
}

std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     const std::string& workFolder,
                                                     TZipArchive& zip) {
    if (zip.RefusedWhileBusy("Laden von " + projectFile)) return std::nullopt;
    DeleteFolderIfExists(workFolder);
    fileSystem().makeDirectories(workFolder);
    if (zip.SetArchive(projectFile)) {
        RecordFileCap cap(zip);
        zip.ExtractAll(workFolder);
    }
    TUnpackedProject project;
    project.LoadStore =
        readRecordFile(workFolder + kRecordFileName, recordFileShownAs(projectFile));
    project.PictureFolder = workFolder;
    project.Pictures = TPictureIndex(workFolder);
    return project;
}

std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     TProjectFolders& folders, TZipArchive& zip) {
    if (zip.RefusedWhileBusy("Laden von " + projectFile)) return std::nullopt;
    folders.RemoveStaleFolders();
    std::optional<TUnpackedProject> project =
        unpackProjectArchive(projectFile, folders.WorkFolder(), zip);
    if (project) {
        project->PictureFolder = storePictures(folders.WorkFolder(), project->LoadStore, folders);
        project->Pictures = TPictureIndex(project->PictureFolder);
    }
    return project;
}

std::string resolveSaveName(const std::string& Name, const std::function<std::string()>& askName) {
    // A cancelled question gives "", which ends the save instead of writing a file named
    // "Neues Projekt.vbk" into whatever the current folder happens to be.
    if (Name == kNewProjectName) return askName ? askName() : std::string();
    return Name;
}

} // namespace schauplatz
