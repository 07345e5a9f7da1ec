#pragma once

// The zip component of the main window (ZipArchive1): writes and reads project archives.
//
// Every operation runs its archive work on a worker thread while the calling (user-interface)
// thread keeps calling ProcessEvents, so the window repaints and handles commands meanwhile;
// the call returns when the work is done. A second operation started during one (for example
// from a command handled inside ProcessEvents) is refused with a message. Errors end the
// operation and reach OnMessage as one text, on the calling thread; the caller carries on.
//
// Writing never damages an existing project file: the new archive streams, entry by entry,
// into the temporary of the program's one atomic write (support/FileSystem.h), which is
// synced and renamed over the target only when it is complete; a source that cannot be read
// completely fails the whole write. Extraction writes only bare file names into the given
// folder, never overwrites a file, and caps the bytes it actually unpacks, so a hostile
// archive can neither escape the folder nor fill the disk.
//
// An extraction can be cancelled (RequestCancel, from any thread or from ProcessEvents): it
// stops before the next entry or block, removes what it has extracted and ends with the
// outcome Cancelled and no message.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace schauplatz {

struct TZipEntryInfo {
    std::string Name;       // decoded name (UTF-8), as stored: folder parts included
    std::string RawName;    // the name's bytes as stored
    std::uint64_t Size = 0; // uncompressed size as declared by the archive
    std::uint64_t CompressedSize = 0;
    std::int32_t Method = 0; // 0 stored, 8 deflated
};

struct TZipLimits {
    std::uint64_t MaxEntryBytes = std::uint64_t{512} << 20;
    std::uint64_t MaxTotalBytes = std::uint64_t{2} << 30;
    // Left free on the disk after an extraction.
    std::uint64_t DiskReserveBytes = std::uint64_t{64} << 20;
    // Lower caps for entries of these bare names, given in lower case (the project sets one
    // for its record file); declared and actually unpacked bytes both count.
    std::map<std::string, std::uint64_t> MaxBytesByName;
};

// A file to be archived under Name (its bare entry name, UTF-8).
struct TZipSourceEntry {
    std::string Name;
    std::string Path;
};

// How the last operation ended.
enum class TZipOutcome {
    Done,     // completed without error
    Failed,   // ended with errors (LastErrors, shown through OnMessage)
    Cancelled // stopped by RequestCancel; what it extracted is removed again
};

class TZipArchive {
public:
    TZipArchive();
    ~TZipArchive();
    TZipArchive(const TZipArchive&) = delete;
    TZipArchive& operator=(const TZipArchive&) = delete;

    // Shows an error text (the window: its message window; the renderer: standard error).
    // Without a handler messages go to standard error.
    std::function<void(const std::string&)> OnMessage;
    // Pumps the caller's event loop while an operation runs; may be empty.
    std::function<void()> ProcessEvents;
    // Progress of the running operation, 0..1, called on the calling thread.
    std::function<void(double)> OnProgress;

    // Makes FileName the archive of the next operations and reads its directory when it
    // exists. A missing file is no error (Add creates it). False, with a message, when the
    // file cannot be read as an archive or an operation is running.
    bool SetArchive(const std::string& FileName);
    const std::string& ArchiveName() const { return m_archive; }
    // The directory read by the last SetArchive or written by the last AddFolder.
    const std::vector<TZipEntryInfo>& Entries() const { return m_entries; }

    // Puts every regular, non-hidden file directly in Folder into the archive under its bare
    // name: deflated at level 9, stored for already compressed formats. Entries of the same
    // names are replaced, all others kept. True when the archive was written.
    bool AddFolder(const std::string& Folder);
    // Writes the archive afresh with exactly these entries, in this order (compressed as
    // AddFolder does); whatever the file held before is replaced. Each file is read while
    // it is archived; one that cannot be read completely fails the whole write, which then
    // leaves the previous file as it was. True when the archive was written.
    bool WriteEntries(const std::vector<TZipSourceEntry>& Entries);
    // Extracts every file entry into Folder under its bare name, skipping names that exist
    // already. True when every entry was either extracted or skipped by that rule.
    bool ExtractAll(const std::string& Folder);

    // True while an operation runs (commands that change the project then do nothing).
    bool Busy() const { return m_busy.load(); }
    // While an operation runs: shows that `what` (for example "Speichern von X") was refused
    // and returns true. Lets callers refuse work around the archive in the same words.
    bool RefusedWhileBusy(const std::string& what);

    // The error texts of the last operation (also when OnMessage showed them).
    const std::vector<std::string>& LastErrors() const { return m_lastErrors; }
    TZipOutcome LastOutcome() const { return m_lastOutcome; }

    // Asks the running extraction (or the next one) to stop; safe from any thread and from
    // ProcessEvents. The request stays until ClearCancel, so it is not lost between the
    // steps of a load.
    void RequestCancel() { m_cancel.store(true); }
    void ClearCancel() { m_cancel.store(false); }
    bool CancelRequested() const { return m_cancel.load(); }

    void SetLimits(const TZipLimits& limits) { m_limits = limits; }
    const TZipLimits& Limits() const { return m_limits; }

    // Runs on the worker thread before the archive work starts. Lets tests and diagnostics
    // hold an operation open; empty in the program.
    void SetWorkerHook(std::function<void()> hook) { m_workerHook = std::move(hook); }

    class Context; // the state one operation shares between worker and caller

private:
    bool run(const std::string& what, const std::function<void(Context&)>& work);
    void report(const std::vector<std::string>& errors);

    std::string m_archive;
    std::vector<TZipEntryInfo> m_entries;
    std::vector<std::string> m_lastErrors;
    TZipOutcome m_lastOutcome = TZipOutcome::Done;
    TZipLimits m_limits;
    std::function<void()> m_workerHook;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_cancel{false};
};

} // namespace schauplatz
