#pragma once

// The folders one running program (or renderer) keeps below the user's temporary folder:
//
//   <temp>/zam-werk/<instance>/vbk/       work folder: projects are staged here
//   <temp>/zam-werk/<instance>/bilder/N/  picture store: the pictures of the open project
//
// Each instance holds an flock on its own folder while it runs, so instances never remove
// each other's files. Folders whose lock is free belong to instances that ended without
// cleaning up; RemoveStaleFolders removes them (the project code calls it at the start of
// the first save or load, not at start-up, so a plain start writes nothing to the log).
// A short lock on <temp>/zam-werk/.lock orders creating a folder against that removal.
//
// The picture store keeps the pictures of a loaded project (and copies the window makes of
// pictures it must keep, see KeepPicture) apart from the work folder, whose removal at the
// end of every save would otherwise take them away. A load fills a fresh set N and drops the
// older sets once its record file was read.

#include <string>

namespace schauplatz {

class TProjectFolders {
public:
    // tempFolder ends in "/" (GetTempFolder()). Never throws: when the folder cannot be
    // created or locked the paths are still set, and saving or loading reports the failure.
    explicit TProjectFolders(const std::string& tempFolder);
    // Removes the instance folder (quietly: this runs at shutdown) and releases the lock.
    ~TProjectFolders();
    TProjectFolders(const TProjectFolders&) = delete;
    TProjectFolders& operator=(const TProjectFolders&) = delete;

    static std::string BaseFolder(const std::string& tempFolder) {
        return tempFolder + "zam-werk/";
    }

    const std::string& InstanceId() const { return m_id; }
    const std::string& InstanceFolder() const { return m_instanceFolder; }
    const std::string& WorkFolder() const { return m_workFolder; }
    const std::string& PictureStore() const { return m_pictureStore; }
    bool Locked() const { return m_lockFd >= 0; }

    // Removes the folders of instances whose lock is free. Runs once per object; later calls
    // return 0 at once. Returns the number of folders removed.
    int RemoveStaleFolders();

    // The current picture set, ending in "/", created when missing.
    std::string PictureSet();
    // Starts a new, empty picture set (for a project being loaded) and returns it.
    std::string BeginPictureSet();
    // Removes every picture set but the current one.
    void DropOlderPictureSets();
    // Copies a picture into the current set and returns the copy's path. The copy keeps the
    // file name, with ";" (which would end the path in a record line) turned into "_" and a
    // number added when the set holds that name already. Throws when the copy fails.
    std::string KeepPicture(const std::string& path);
    // A path in the current set for a new picture called name: name itself, or with " (2)",
    // " (3)", ... before its extension when the set holds that name already.
    std::string FreePicturePath(const std::string& name);

private:
    std::string m_base;
    std::string m_id;
    std::string m_instanceFolder;
    std::string m_workFolder;
    std::string m_pictureStore;
    int m_lockFd = -1;
    int m_pictureSet = 0;
    bool m_staleRemoved = false;
};

} // namespace schauplatz
