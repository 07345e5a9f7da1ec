#include "project/ProjectArchive.h"

#include "project/ProjectNames.h"
#include "project/RecordFile.h"
#include "project/ZipEntryNames.h"
#include "support/FileSystem.h"
#include "support/U_SYSTOOLS.h"

#include <filesystem>
#include <set>
#include <system_error>

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordFileName = "data.dat";

bool usableFileName(const std::string& name) {
    // A picture named like the record file would overwrite it in the work folder.
    return !name.empty() && name != "." && name != ".." && name != kRecordFileName;
}

void copyPicture(const std::string& source, const std::string& workFolder) {
    const std::string name = FileNamePart(source);
    if (!usableFileName(name)) return;
    std::error_code ignored;
    fs::copy_file(source, workFolder + name, fs::copy_options::overwrite_existing, ignored);
}

// Removes the work folder when the save ends, also when it ends with an error, so that no
// half-staged picture finds its way into the next save's archive.
class WorkFolderRemoval {
public:
    explicit WorkFolderRemoval(const std::string& folder) : m_folder(folder) {}
    ~WorkFolderRemoval() { DeleteFolderIfExists(m_folder); }
    WorkFolderRemoval(const WorkFolderRemoval&) = delete;
    WorkFolderRemoval& operator=(const WorkFolderRemoval&) = delete;

private:
    const std::string& m_folder;
};

std::string findUnpacked(const std::string& folder, const std::string& fileName) {
    std::error_code error;
    for (const std::string& candidate : entryNameCandidates(fileName)) {
        if (fs::is_regular_file(folder + candidate, error)) return candidate;
    }
    // Names recorded on a case-insensitive system may differ in case from the entry.
    const auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    const std::string wanted = lower(fileName);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (lower(name) == wanted) return name;
    }
    return {};
}

// The file names the record lines refer to; line 0 is a path as a whole.
std::vector<std::string> recordedNames(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string path = i == 0 ? lines[i] : lines[i].substr(0, lines[i].find(';'));
        names.push_back(FileNamePart(path));
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
    for (const std::string& name : recordedNames(lines)) {
        if (!usableFileName(name)) continue;
        const std::string found = findUnpacked(workFolder, name);
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

} // namespace

std::string TUnpackedProject::PicturePath(const std::string& recordedPath) const {
    const std::string name = FileNamePart(recordedPath);
    const std::string found = usableFileName(name) ? findUnpacked(PictureFolder, name) : "";
    return PictureFolder + (found.empty() ? name : found);
}

bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, const std::string& workFolder,
                         TZipArchive& zip) {
    if (zip.RefusedWhileBusy("Speichern von " + projectFile)) return false;
    fileSystem().makeDirectories(workFolder);
    WorkFolderRemoval removal(workFolder);
    writeRecordFile(workFolder + kRecordFileName, projectData);
    if (!projectData.empty()) copyPicture(projectData[0], workFolder);
    for (std::size_t i = 1; i < projectData.size(); ++i)
        copyPicture(SplitElementRecord(projectData[i]).Path, workFolder);
    zip.SetArchive(projectFile);
    return zip.AddFolder(workFolder);
}

bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, TProjectFolders& folders,
                         TZipArchive& zip) {
    if (zip.RefusedWhileBusy("Speichern von " + projectFile)) return false;
    folders.RemoveStaleFolders();
    return writeProjectArchive(projectFile, projectData, folders.WorkFolder(), zip);
}

std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     const std::string& workFolder,
                                                     TZipArchive& zip) {
    if (zip.RefusedWhileBusy("Laden von " + projectFile)) return std::nullopt;
    DeleteFolderIfExists(workFolder);
    fileSystem().makeDirectories(workFolder);
    if (zip.SetArchive(projectFile)) zip.ExtractAll(workFolder);
    TUnpackedProject project;
    project.LoadStore = readRecordFile(workFolder + kRecordFileName);
    project.PictureFolder = workFolder;
    return project;
}

std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     TProjectFolders& folders, TZipArchive& zip) {
    if (zip.RefusedWhileBusy("Laden von " + projectFile)) return std::nullopt;
    folders.RemoveStaleFolders();
    std::optional<TUnpackedProject> project =
        unpackProjectArchive(projectFile, folders.WorkFolder(), zip);
    if (project)
        project->PictureFolder = storePictures(folders.WorkFolder(), project->LoadStore, folders);
    return project;
}

std::string resolveSaveName(const std::string& Name, const std::function<std::string()>& askName) {
    // A cancelled question gives "", which ends the save instead of writing a file named
    // "Neues Projekt.vbk" into whatever the current folder happens to be.
    if (Name == kNewProjectName) return askName ? askName() : std::string();
    return Name;
}

} // namespace schauplatz
