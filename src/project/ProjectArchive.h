#pragma once

// Saving and loading a project file, without the window: the window's SaveProject and
// LoadProject ask for names, write the log lines, set the caption and replay the elements;
// everything about files, encodings, archives and folders happens here, so the window, the
// headless renderer and the tests share one code path.

#include "project/RecordFile.h"
#include "project/TProjectFolders.h"
#include "project/TZipArchive.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace schauplatz {

// ---- saving ------------------------------------------------------------------------------

// What a save puts into the archive: every distinct picture path of the record lines under a
// name no other picture has there, and the record lines as data.dat then holds them.
struct TArchivePlan {
    // The lines of data.dat: the record list, except that a line whose picture had to take
    // another name in the archive names that one (its folder part kept).
    std::vector<std::string> RecordLines;
    // The pictures that exist, each once, in the order the lines first name them.
    std::vector<TZipSourceEntry> Pictures;
};

// The archive's names: a picture's file-name part, and for a second picture of the same
// name (from another folder, compared without regard to case) that name with " (2)", " (3)",
// ... before its extension. Hidden names (".tuer.png") are names like any other; a picture
// named like the record file becomes "data (2).dat". Pictures that are missing (or are no
// regular file) keep their name in the lines, so no other picture takes it, and are left out
// of the archive as before. Throws ERecordFileError for an element line that cannot be split.
// withAppearanceEntry: the archive also holds schauplatz.json, whose name no picture takes then.
TArchivePlan planProjectArchive(const std::vector<std::string>& projectData,
                                bool withAppearanceEntry = false);

// Saves a project: writes data.dat (as planProjectArchive gives it) into the work folder,
// then writes the archive projectFile afresh with exactly data.dat and the pictures, each
// streamed from where it lies (memory for one picture's buffers beside the directory), and
// removes the work folder. Returns whether the archive was written; archive errors went to
// zip's OnMessage, and a failed write leaves the previous file byte-identical. A picture that
// exists but cannot be read completely fails the save. Throws when the work folder or
// data.dat cannot be written or a record line cannot be split, before anything is archived.
// Refused (false, message) while zip is busy, and when projectFile exists but is no zip
// archive (it is not overwritten).
// appearanceEntry: the bytes of schauplatz.json (the elements' appearance settings), written
// right after data.dat; "" writes no such entry, so the archive holds exactly what it held
// before there were settings.
bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, const std::string& workFolder,
                         TZipArchive& zip, const std::string& appearanceEntry = {});
// The same in this instance's work folder, after removing stale instance folders once.
bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, TProjectFolders& folders,
                         TZipArchive& zip, const std::string& appearanceEntry = {});

// ---- loading -----------------------------------------------------------------------------

// The pictures of an unpacked project, listed once, so that every lookup of a recorded name
// costs a few hash probes instead of a walk through the folder.
class TPictureIndex {
public:
    TPictureIndex() = default;
    // The regular files directly in folder.
    explicit TPictureIndex(const std::string& folder);
    // The name of the file a recorded file name means: the name itself, a spelling under
    // which an archive with code-page entry names put it there, or the name in another case;
    // "" when none is there.
    std::string Find(const std::string& fileName) const;
    std::size_t Size() const { return m_names.size(); }

private:
    std::unordered_set<std::string> m_names;
    std::unordered_map<std::string, std::string> m_byLowerName; // first in sorted order
};

// A project file unpacked for the replay.
struct TUnpackedProject {
    std::vector<std::string> LoadStore; // the lines of data.dat
    std::string PictureFolder;          // where the pictures now lie, ending in "/"
    TPictureIndex Pictures;             // the files in PictureFolder
    // LoadStore's element lines (1..n) split; filled by loadProjectArchive.
    std::vector<TElementRecord> Elements;
    // The bytes of schauplatz.json when the archive has it (at most one byte more than its
    // reader accepts, so an oversized entry is refused without being read whole); filled by
    // loadProjectArchive.
    std::optional<std::string> AppearanceEntry;

    // The unpacked picture a recorded path names: PictureFolder + its file-name part, or
    // the spelling under which an archive with code-page entry names put it there. When
    // none is present the plain name is returned (the picture then reads as empty).
    std::string PicturePath(const std::string& recordedPath) const;
    // LoadStore's element lines split; throws ERecordLineError for the first one that
    // cannot be read, naming its line and projectFile.
    std::vector<TElementRecord> ElementRecords(const std::string& projectFile) const;
};

enum class TLoadOutcome {
    Loaded,    // Project and Pictures are set
    Refused,   // another archive operation was running (the component said so)
    Cancelled, // TZipArchive::RequestCancel during the load; nothing is left of it
    Failed     // Error says why; nothing is left of it
};

struct TProjectLoad {
    TLoadOutcome Outcome = TLoadOutcome::Failed;
    // Failed: the reason in the words shown to the user, naming the project file.
    std::string Error;
    // Failed: the archive component has shown Error already, through its OnMessage.
    bool ErrorShown = false;
    // Failed because of a record line: its index in data.dat.
    std::optional<std::size_t> FailedLine;
    // Loaded: the record lines, their split elements and the pictures' index.
    TUnpackedProject Project;
    // Loaded: the pictures, in a set that is not yet current. Commit it once the replay has
    // succeeded (older sets are dropped then); dropping it unused discards it.
    std::optional<TPendingPictureSet> Pictures;
};

// Loads projectFile into a new picture set of folders, changing nothing else: the current
// picture set, the work folder and every other file stay as they are whatever happens. The
// load fails as a whole when the archive cannot be read or is not extracted completely
// (damaged entry, limits, disk space), when data.dat is missing, empty, above 16 MiB
// (refused from the directory, before extraction) or above 100,000 lines (before decoding),
// or when an element line cannot be split. Cancellation (zip.RequestCancel from another
// thread or from zip.ProcessEvents) is looked at between the steps and in every block of
// the extraction. A cancel requested before the call is cleared at its start.
TProjectLoad loadProjectArchive(const std::string& projectFile, TProjectFolders& folders,
                                TZipArchive& zip);

// Unpacks a project: removes and recreates the work folder, extracts projectFile into it and
// reads data.dat. Archive errors went to zip's OnMessage and the load goes on; a missing or
// unreadable data.dat throws ERecordFileError (ERecordFileLimit above the limits). nullopt
// (with a message) while zip is busy.
std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     const std::string& workFolder,
                                                     TZipArchive& zip);
// The same in this instance's folders, after removing stale instance folders once; the
// pictures then move into a fresh set of the picture store, under the names data.dat uses,
// which becomes current at once, so they stay available for later saves of the project. The
// older sets (with the pictures of the project open until now) stay until the caller drops
// them. (loadProjectArchive is the load that changes nothing until it has succeeded.)
std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     TProjectFolders& folders, TZipArchive& zip);

} // namespace schauplatz
