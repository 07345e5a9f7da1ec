// The report a fatal signal leaves behind. Everything that needs memory or
// locale (version, system, folder, headings) is formatted when the handler is
// installed; the handler itself uses only async-signal-safe calls, except
// backtrace(), which is warmed up at installation so that it does not load
// its unwinder library while the process is failing.

#include "support/CrashReport.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace schauplatz {

namespace {

constexpr std::size_t kTextCapacity = 4096;
constexpr std::array kFatalSignals{SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

// Preformatted at installation; read only by the handler.
char g_folder[1024] = {};
char g_header[kTextCapacity] = {};
std::size_t g_headerLength = 0;
// An alternate stack so that a stack overflow can still be reported.
alignas(16) char g_alternateStack[64 * 1024];

// Async-signal-safe text building on a fixed buffer.
class SafeText {
public:
    void add(const char* text) {
        while (*text != '\0' && m_length + 1 < sizeof m_buffer) {
            m_buffer[m_length++] = *text++;
        }
        m_buffer[m_length] = '\0';
    }
    void add(unsigned long value) {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        char text[24];
        for (int i = 0; i < count; ++i) {
            text[i] = digits[count - 1 - i];
        }
        text[count] = '\0';
        add(text);
    }
    void addHex(unsigned long value) {
        char text[20] = "0x";
        int position = 2;
        bool started = false;
        for (int shift = 60; shift >= 0; shift -= 4) {
            const unsigned digit = static_cast<unsigned>(value >> shift) & 0xFu;
            if (digit != 0 || started || shift == 0) {
                started = true;
                text[position++] = "0123456789abcdef"[digit];
            }
        }
        text[position] = '\0';
        add(text);
    }
    const char* data() const { return m_buffer; }
    std::size_t size() const { return m_length; }

private:
    char m_buffer[kTextCapacity] = {};
    std::size_t m_length = 0;
};

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) {
            if (written < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

const char* signalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV (Speicherzugriffsfehler)";
    case SIGABRT:
        return "SIGABRT (Programmabbruch)";
    case SIGBUS:
        return "SIGBUS (Busfehler)";
    case SIGFPE:
        return "SIGFPE (Rechenfehler)";
    case SIGILL:
        return "SIGILL (ungültiger Befehl)";
    default:
        return "unbekanntes Signal";
    }
}

// mkdir -p on the preformatted folder, with nothing but mkdir.
void makeFolderChain() {
    char partial[sizeof g_folder];
    for (std::size_t i = 0; g_folder[i] != '\0'; ++i) {
        partial[i] = g_folder[i];
        if (g_folder[i] == '/' && i > 0) {
            partial[i] = '\0';
            ::mkdir(partial, 0777);
            partial[i] = '/';
        }
    }
}

void onFatalSignal(int signal, siginfo_t* info, void* /*context*/) {
    const int savedErrno = errno;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);

    SafeText body;
    body.add("Signal: ");
    body.add(signalName(signal));
    body.add("\nAdresse: ");
    body.addHex(reinterpret_cast<unsigned long>(info != nullptr ? info->si_addr : nullptr));
    body.add("\nProzess: ");
    body.add(static_cast<unsigned long>(::getpid()));
    body.add("\nZeit (Sekunden seit 1970, UTC): ");
    body.add(static_cast<unsigned long>(now.tv_sec));
    body.add("\nAufrufliste:\n");

    void* frames[64];
    const int frameCount = ::backtrace(frames, 64);

    int fd = -1;
    if (g_folder[0] != '\0') {
        makeFolderChain();
        SafeText path;
        path.add(g_folder);
        path.add("absturz-");
        path.add(static_cast<unsigned long>(::getpid()));
        path.add("-");
        path.add(static_cast<unsigned long>(now.tv_sec));
        path.add(".txt");
        fd = ::open(path.data(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    for (const int target : {fd, static_cast<int>(STDERR_FILENO)}) {
        if (target < 0) {
            continue;
        }
        writeAll(target, g_header, g_headerLength);
        writeAll(target, body.data(), body.size());
        ::backtrace_symbols_fd(frames, frameCount, target);
    }
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }

    // End the way the signal would have ended the process, so the exit
    // status and any core dump stay as they were.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    ::sigaction(signal, &standard, nullptr);
    sigset_t unblock;
    ::sigemptyset(&unblock);
    ::sigaddset(&unblock, signal);
    ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    errno = savedErrno;
    ::raise(signal);
}

void copyInto(char* target, std::size_t capacity, const std::string& text) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(target, text.data(), length);
    target[length] = '\0';
}

} // namespace

std::string CrashReportFolder() {
    return g_folder;
}

void InstallFatalSignalReport() {
    // The same heading and details as a report of an escaped exception,
    // minus what only the moment of the crash can tell.
    CrashReport report = MakeCrashReport(nullptr);
    report.message = "Das Programm wurde durch ein Signal beendet.";
    report.exceptionType = "Signal";
    report.callStack.clear();
    std::string header = report.text();
    // The handler writes its own stack after the signal details.
    const std::size_t stackHeading = header.rfind("Aufrufliste:");
    if (stackHeading != std::string::npos) {
        header.erase(stackHeading);
    }
    copyInto(g_header, sizeof g_header, header);
    g_headerLength = std::strlen(g_header);
    copyInto(g_folder, sizeof g_folder, LogFolder());

    void* warmUp[4];
    ::backtrace(warmUp, 4);

    stack_t alternate{};
    alternate.ss_sp = g_alternateStack;
    alternate.ss_size = sizeof g_alternateStack;
    ::sigaltstack(&alternate, nullptr);

    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    ::sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace schauplatz
