#pragma once

// Saving and loading a project file, without the window: the window's SaveProject and
// LoadProject ask for names, write the log lines, set the caption and replay the elements;
// everything about files, encodings, archives and folders happens here, so the window, the
// headless renderer and the tests share one code path.

#include "project/TProjectFolders.h"
#include "project/TZipArchive.h"

#include <optional>
#include <string>
#include <vector>

namespace schauplatz {

// Stages and packs a project: creates the work folder, writes projectData as data.dat,
// copies the facade (line 0) and every element picture beside it under their file-name
// parts (a picture that cannot be copied is skipped), adds the folder to the archive
// projectFile (entries of the same names replaced, others kept) and removes the work folder.
// Returns whether the archive was written; archive errors went to zip's OnMessage. Throws
// when the work folder or data.dat cannot be written or a record line cannot be split, before
// anything is archived. Refused (false, message) while zip is busy.
bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, const std::string& workFolder,
                         TZipArchive& zip);
// The same in this instance's work folder, after removing stale instance folders once.
bool writeProjectArchive(const std::string& projectFile,
                         const std::vector<std::string>& projectData, TProjectFolders& folders,
                         TZipArchive& zip);

// A project file unpacked for the replay.
struct TUnpackedProject {
    std::vector<std::string> LoadStore; // the lines of data.dat
    std::string PictureFolder;          // where the pictures now lie, ending in "/"

    // The unpacked picture a recorded path names: PictureFolder + its file-name part, or
    // the spelling under which an archive with code-page entry names put it there. When
    // none is present the plain name is returned (the picture then reads as empty).
    std::string PicturePath(const std::string& recordedPath) const;
};

// Unpacks a project: removes and recreates the work folder, extracts projectFile into it and
// reads data.dat. Archive errors went to zip's OnMessage and the load goes on; a missing or
// unreadable data.dat throws ERecordFileError. nullopt (with a message) while zip is busy.
std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     const std::string& workFolder,
                                                     TZipArchive& zip);
// The same in this instance's folders, after removing stale instance folders once; the
// pictures then move into a fresh set of the picture store, under the names data.dat uses,
// so they stay available for later saves of the project. The older sets (with the pictures
// of the project open until now) stay until the caller drops them.
std::optional<TUnpackedProject> unpackProjectArchive(const std::string& projectFile,
                                                     TProjectFolders& folders, TZipArchive& zip);

} // namespace schauplatz
