#pragma once

// A project rebuilt from its record lines: the facade read and fitted as a loaded facade is,
// then every element record line placed in order, each drawn once into the background. Each
// distinct picture file is read once, however many lines name it. A picture that cannot be
// read counts as empty (its element draws nothing), as when it is loaded by hand; the replay
// writes a log line for it.

#include "composition/TComposition.h"
#include "project/RecordFile.h"
#include "project/TProjectFolders.h"
#include "project/TZipArchive.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace schauplatz {

// The facade as a loaded facade is: read from its file and reduced to fit 1920 x 1080, with
// the facade control's drawing properties.
TSharedPicture ReadFacadePicture(const std::string& path);
// An element picture as the element control reads it (drawn blended, fully opaque master).
TSharedPicture ReadElementPicture(const std::string& path);

struct TReplayHooks {
    // The file a recorded path names (for a loaded project, the unpacked picture).
    std::function<std::string(const std::string& recordedPath)> picturePath;
    // Asked between pictures; true ends the replay with EReplayCancelled.
    std::function<bool()> cancelled;
    // Told after each line: lines done, lines in all.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

class EReplayCancelled : public std::runtime_error {
public:
    EReplayCancelled() : std::runtime_error("Das Laden wurde abgebrochen.") {}
};

// Builds the composition of the record lines (line 0 the facade, then the element lines).
// The composition's paths are the files the hooks name. Throws ERecordFileError naming the
// line for a line that cannot be read, and for a record list without a facade line.
// appearances: the settings of the element lines in order (AppearancesForElements); those
// missing are neutral.
TComposition ReplayRecordLines(const std::vector<std::string>& lines, const TReplayHooks& hooks,
                               const std::vector<TAppearance>& appearances = {});

// A project file loaded: its record lines as read, the composition they give, and its
// pictures in a set of the picture store that is not current yet. Commit the set when the
// project takes the place of the open one; dropping it discards the pictures.
struct TLoadedProject {
    std::vector<std::string> lines;
    TComposition composition;
    std::optional<TPendingPictureSet> pictures;
};

// A load that failed as a whole; the message names the project file (and the line).
// Shown(): the archive component has shown the message already, through its OnMessage.
class EProjectLoadFailed : public ERecordFileError {
public:
    EProjectLoadFailed(const std::string& message, bool shown)
        : ERecordFileError(message), m_shown(shown) {}
    bool Shown() const { return m_shown; }

private:
    bool m_shown;
};

// Unpacks projectFile into a new picture set of folders and replays it (the window, the
// headless renderer and the fuzzing all load this way); nothing else of folders changes.
// nullopt when zip refused because it was busy. Throws EProjectLoadFailed when the archive
// cannot be read, or data.dat is missing, too large or holds a line that cannot be read,
// and EReplayCancelled when zip.RequestCancel or the cancelled hook stopped it. The elements
// take the settings of the archive's schauplatz.json when it fits the lines; an entry that
// cannot be used is ignored with a log line, and the project loads as recorded.
std::optional<TLoadedProject> LoadProjectFile(const std::string& projectFile,
                                              TProjectFolders& folders, TZipArchive& zip,
                                              TReplayHooks hooks = {});

} // namespace schauplatz
