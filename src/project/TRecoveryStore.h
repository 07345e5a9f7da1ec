#pragma once

// The recovery copies of unsaved work: after every change the window hands its record lines
// to the store, which writes them with the pictures they need as a project file (the same
// archive format) in a private folder of the user, from a thread of its own, so the window
// never waits for it. A crash, a power cut or a killed session leaves the copy behind; the
// next start offers it. A normal end, or a save with no later change, removes it.
//
//   $XDG_STATE_HOME/schauplatz/recovery/          mode 0700, the user's own folder
//       <instance>.vbk    the copy (written beside and renamed, like every file we write)
//       <instance>.info   the project's name and the time of the copy
//       <instance>.lock   held with flock while the instance runs
//
// A folder that is a symbolic link, belongs to another user or is no folder is never used:
// there is no recovery then (one log line), and everything else works.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace schauplatz {

// $XDG_STATE_HOME/schauplatz/recovery/ (default ~/.local/state/...); "" without a home.
std::string DefaultRecoveryFolder();

// A copy left by an instance that no longer runs.
struct TRecoveryCopy {
    std::string archive;     // the project file to load
    std::string projectFile; // the name the project had ("Neues Projekt.vbk" when unnamed)
    std::string savedAt;     // when the copy was written, "09.12.2026, 18:45"
    bool damaged = false;    // its description or archive cannot be read
    std::string lockPath;
};

struct TRecoverySnapshot {
    std::vector<std::string> lines; // the record lines; their pictures are read when written
    std::string projectFile;
    std::string appearanceEntry; // schauplatz.json, "" when no element has settings
};

class TRecoveryStore {
public:
    // workFolder: where the copy is staged (a folder of this instance alone).
    TRecoveryStore(const std::string& folder, const std::string& workFolder);
    // Waits for a copy being written; keeps it when KeepAtExit was called, else removes it.
    ~TRecoveryStore();
    TRecoveryStore(const TRecoveryStore&) = delete;
    TRecoveryStore& operator=(const TRecoveryStore&) = delete;

    bool Usable() const { return m_lockFd >= 0; }
    const std::string& Folder() const { return m_folder; }

    // Copies of instances that no longer run, newest first; each is locked by this store
    // until it is forgotten, so two starting instances never offer the same one.
    std::vector<TRecoveryCopy> LeftBehind();
    // Removes a copy that was restored or discarded.
    void Forget(const TRecoveryCopy& copy);

    // The latest state to keep: written from the store's thread as soon as it is free (a
    // newer snapshot replaces one that waits). A write that fails is tried again after
    // kRetryInterval.
    void Keep(TRecoverySnapshot snapshot);
    // Removes this instance's copy (the project was saved, or its changes discarded).
    void Discard();
    // The copy is to survive the end of the program (the session ends with unsaved work).
    void KeepAtExit() { m_keepAtExit = true; }
    // Blocks until no snapshot waits or is being written; true when the last write succeeded.
    bool WaitUntilWritten();

    static constexpr std::chrono::seconds kRetryInterval{30};

private:
    void run();
    bool write(const TRecoverySnapshot& snapshot);
    void removeOwnCopy();

    std::string m_folder;
    std::string m_workFolder;
    std::string m_id;
    int m_lockFd = -1;
    std::vector<int> m_heldLocks; // of copies left behind, until forgotten
    bool m_keepAtExit = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<TRecoverySnapshot> m_waiting;
    bool m_writing = false;
    bool m_discardWaiting = false;
    bool m_lastWriteOk = true;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace schauplatz
