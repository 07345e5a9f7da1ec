#pragma once

// Inside of TZipArchive: the state shared by one operation's worker and caller, and the
// archive work itself, which runs on the worker thread.

#include "project/TZipArchive.h"

#include <mutex>

namespace schauplatz {

class TZipArchive::Context {
public:
    Context(const TZipLimits& limits, const std::atomic<bool>& cancel)
        : m_limits(limits), m_cancel(cancel) {}

    const TZipLimits& limits() const { return m_limits; }
    // Whether the caller asked the running operation to stop (checked per entry and block).
    bool cancelRequested() const { return m_cancel.load(); }
    // Set by an operation that stopped because of such a request.
    bool cancelled = false;

    void error(std::string text) {
        std::lock_guard lock(m_mutex);
        m_errors.push_back(std::move(text));
    }
    std::vector<std::string> errors() const {
        std::lock_guard lock(m_mutex);
        return m_errors;
    }
    void progress(double fraction) { m_progress.store(fraction); }
    double progress() const { return m_progress.load(); }

    // The directory that the operation read or wrote; taken over by the caller at the end.
    std::vector<TZipEntryInfo> entries;
    bool entriesValid = false;

private:
    TZipLimits m_limits;
    const std::atomic<bool>& m_cancel;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_errors;
    std::atomic<double> m_progress{0.0};
};

namespace zipwork {

void readDirectory(const std::string& archive, TZipArchive::Context& context);
void addFolder(const std::string& archive, const std::string& folder,
               TZipArchive::Context& context);
void writeEntries(const std::string& archive, const std::vector<TZipSourceEntry>& entries,
                  TZipArchive::Context& context);
void extractAll(const std::string& archive, const std::string& folder,
                TZipArchive::Context& context);

} // namespace zipwork
} // namespace schauplatz
