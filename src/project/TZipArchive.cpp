#include "project/TZipArchive.h"

#include "project/ZipOperations.h"

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <thread>

namespace schauplatz {
namespace {

// How often the caller's loop wakes to pump events and pass on progress while it waits.
constexpr auto kPumpInterval = std::chrono::milliseconds(10);
constexpr auto kQuietInterval = std::chrono::milliseconds(50);

class BusyFlag {
public:
    explicit BusyFlag(std::atomic<bool>& flag) : m_flag(flag) { m_flag.store(true); }
    ~BusyFlag() { m_flag.store(false); }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    std::atomic<bool>& m_flag;
};

} // namespace

TZipArchive::TZipArchive() = default;
TZipArchive::~TZipArchive() = default;

bool TZipArchive::RefusedWhileBusy(const std::string& what) {
    if (!m_busy.load()) return false;
    // The running operation's caller still owns m_lastErrors and m_lastOutcome; report only.
    report({"Eine andere Archiv-Operation läuft noch; " + what + " wurde abgelehnt."});
    return true;
}

bool TZipArchive::run(const std::string& what, const std::function<void(Context&)>& work) {
    if (RefusedWhileBusy(what)) return false;
    BusyFlag busy(m_busy);
    m_lastErrors.clear();
    Context context(m_limits, m_cancel);

    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    std::thread worker([&] {
        try {
            if (m_workerHook) m_workerHook();
            work(context);
        } catch (const std::exception& e) {
            context.error(what + ": " + e.what());
        } catch (...) {
            context.error(what + ": unbekannter Fehler");
        }
        std::lock_guard lock(doneMutex);
        done = true;
        doneSignal.notify_all();
    });

    double reported = -1.0;
    for (;;) {
        {
            std::unique_lock lock(doneMutex);
            if (doneSignal.wait_for(lock, ProcessEvents ? kPumpInterval : kQuietInterval,
                                    [&] { return done; }))
                break;
        }
        try {
            if (ProcessEvents) ProcessEvents();
            const double now = context.progress();
            if (OnProgress && now != reported) OnProgress(reported = now);
        } catch (...) {
            // The worker still uses this frame; an error of the caller's event handling must
            // not unwind it. It is reported once the work has ended.
            worker.join();
            throw;
        }
    }
    worker.join();
    if (OnProgress && reported != 1.0) OnProgress(1.0);

    if (context.entriesValid) m_entries = std::move(context.entries);
    m_lastErrors = context.errors();
    m_lastOutcome = context.cancelled      ? TZipOutcome::Cancelled
                    : m_lastErrors.empty() ? TZipOutcome::Done
                                           : TZipOutcome::Failed;
    report(m_lastErrors);
    return m_lastOutcome == TZipOutcome::Done;
}

void TZipArchive::report(const std::vector<std::string>& errors) {
    if (errors.empty()) return;
    std::string text;
    for (const std::string& line : errors) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    if (OnMessage)
        OnMessage(text);
    else
        std::cerr << text << std::endl;
}

bool TZipArchive::SetArchive(const std::string& FileName) {
    if (RefusedWhileBusy("Öffnen von " + FileName)) return false;
    m_archive = FileName;
    m_entries.clear();
    return run("Öffnen von " + FileName,
               [&](Context& context) { zipwork::readDirectory(FileName, context); });
}

bool TZipArchive::AddFolder(const std::string& Folder) {
    const std::string archive = m_archive;
    return run("Speichern von " + archive,
               [&](Context& context) { zipwork::addFolder(archive, Folder, context); });
}

bool TZipArchive::WriteEntries(const std::vector<TZipSourceEntry>& Entries) {
    const std::string archive = m_archive;
    return run("Speichern von " + archive,
               [&](Context& context) { zipwork::writeEntries(archive, Entries, context); });
}

bool TZipArchive::ExtractAll(const std::string& Folder) {
    const std::string archive = m_archive;
    return run("Entpacken von " + archive,
               [&](Context& context) { zipwork::extractAll(archive, Folder, context); });
}

} // namespace schauplatz
