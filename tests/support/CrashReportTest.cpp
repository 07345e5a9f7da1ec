#include "SupportTestHelpers.h"

#include "support/CrashReport.h"
#include "support/ThrowStack.h"
#include "support/Version.h"

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

// Exported (the test binary is linked with exported symbols) so that their
// names appear in the recorded stacks. GCC at -O3 would otherwise call a local
// clone (".constprop") whose name the stack does not show.
#if defined(__GNUC__) && !defined(__clang__)
#define SCHAUPLATZ_NAMED_FRAME __attribute__((noinline, noipa))
#else
#define SCHAUPLATZ_NAMED_FRAME __attribute__((noinline))
#endif
extern "C" {
SCHAUPLATZ_NAMED_FRAME void crashReportTestThrowDeepInside(int depth) {
    if (depth > 0) {
        crashReportTestThrowDeepInside(depth - 1);
        asm volatile(""); // no tail call: every level stays on the stack
        return;
    }
    throw std::runtime_error("Bild konnte nicht gelesen werden: T\xC3\xBCr 3.png");
}

SCHAUPLATZ_NAMED_FRAME void crashReportTestThrowOther(int depth) {
    if (depth > 0) {
        crashReportTestThrowOther(depth - 1);
        asm volatile("");
        return;
    }
    throw std::logic_error("other");
}

// Not checked by UBSan, which would end the process on the null store before the fault.
__attribute__((noinline, no_sanitize("undefined"))) void crashReportTestSegfault() {
    volatile std::uintptr_t address = 0;
    *reinterpret_cast<volatile int*>(address) = 1;
}
}

namespace schauplatz {
namespace {

namespace fs = std::filesystem;

std::exception_ptr caughtFrom(void (*thrower)()) {
    try {
        thrower();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

TEST(CrashReport, CarriesMessageTypeAndTheStackOfTheThrow) {
    const std::exception_ptr error = caughtFrom([] { crashReportTestThrowDeepInside(3); });
    const CrashReport report = MakeCrashReport(error);
    EXPECT_EQ(report.message, "Bild konnte nicht gelesen werden: T\xC3\xBCr 3.png");
    EXPECT_EQ(report.exceptionType, "std::runtime_error");
    // The thrower had returned long before the report was made: only a stack
    // recorded at the throw can name it.
    EXPECT_NE(report.callStack.find("crashReportTestThrowDeepInside"), std::string::npos)
        << report.callStack;
    EXPECT_EQ(report.callStack.find("beim Auffangen"), std::string::npos);
    EXPECT_EQ(report.programVersion, compiledVersion());
    EXPECT_EQ(report.processId, static_cast<long>(::getpid()));
    EXPECT_FALSE(report.system.empty());
    EXPECT_NE(report.processor.find("logische Prozessoren"), std::string::npos);
}

TEST(CrashReport, StackBelongsToItsOwnExceptionNotTheLatestThrow) {
    // The throwing statement itself may sit in an unnamed cold section, so
    // each thrower recurses once to put a named frame on the stack.
    const std::exception_ptr first = caughtFrom([] { crashReportTestThrowDeepInside(1); });
    const std::exception_ptr second = caughtFrom([] { crashReportTestThrowOther(1); });
    ASSERT_NE(MakeCrashReport(second).callStack.find("crashReportTestThrowOther"),
              std::string::npos);
    const CrashReport report = MakeCrashReport(first);
    EXPECT_NE(report.callStack.find("crashReportTestThrowDeepInside"), std::string::npos);
    EXPECT_EQ(report.callStack.find("crashReportTestThrowOther"), std::string::npos);
    EXPECT_EQ(MakeCrashReport(second).exceptionType, "std::logic_error");
}

TEST(CrashReport, ReusedExceptionAddressGivesTheNewerStack) {
    // The first exception is freed at once; the next one often takes its
    // address, and must not be given the stack of the first.
    {
        (void)caughtFrom([] { crashReportTestThrowDeepInside(1); });
    }
    const std::exception_ptr later = caughtFrom([] { crashReportTestThrowOther(1); });
    const CrashReport report = MakeCrashReport(later);
    EXPECT_NE(report.callStack.find("crashReportTestThrowOther"), std::string::npos);
    EXPECT_EQ(report.callStack.find("crashReportTestThrowDeepInside"), std::string::npos);
}

// This binary links the throw-stack recorder as the program does; it installed its lookup
// before the tests ran.
TEST(CrashReport, TheLinkedRecorderInstalledItsLookup) {
    EXPECT_NE(detail::throwStackLookup(), nullptr);
}

// Where no recorder is linked (the tools, the other tests), the report still has a stack:
// that of the catch, said to be so.
TEST(CrashReport, WithoutARecorderTheStackOfTheCatchIsGiven) {
    const detail::ThrowStackLookup recorder = detail::throwStackLookup();
    ASSERT_NE(recorder, nullptr);
    const std::exception_ptr error = caughtFrom([] { crashReportTestThrowDeepInside(1); });
    detail::setThrowStackLookup(nullptr);
    const CrashReport report = MakeCrashReport(error);
    detail::setThrowStackLookup(recorder);
    EXPECT_EQ(report.message, "Bild konnte nicht gelesen werden: T\xC3\xBCr 3.png");
    EXPECT_NE(report.callStack.find("(Stapel beim Auffangen, nicht beim Auslösen)"),
              std::string::npos)
        << report.callStack;
    EXPECT_EQ(report.callStack.find("crashReportTestThrowDeepInside"), std::string::npos)
        << report.callStack;
    // Installed again, the same throw is found once more.
    EXPECT_NE(MakeCrashReport(error).callStack.find("crashReportTestThrowDeepInside"),
              std::string::npos);
}

// A lookup installed in its place is what the report asks, with the thrown object itself.
TEST(CrashReport, TheReportAsksTheInstalledLookupForTheThrownObject) {
    const detail::ThrowStackLookup recorder = detail::throwStackLookup();
    static const void* asked = nullptr;
    detail::setThrowStackLookup([](const void* thrownObject) {
        asked = thrownObject;
        return std::vector<void*>{};
    });
    const std::exception_ptr error = caughtFrom([] { crashReportTestThrowOther(0); });
    const CrashReport report = MakeCrashReport(error);
    detail::setThrowStackLookup(recorder);
    EXPECT_NE(asked, nullptr);
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        EXPECT_EQ(asked, static_cast<const void*>(&caught));
    }
    EXPECT_NE(report.callStack.find("beim Auffangen"), std::string::npos);
}

TEST(CrashReport, AnythingThrownIsReported) {
    const CrashReport number = MakeCrashReport(caughtFrom([] { throw 42; }));
    EXPECT_EQ(number.exceptionType, "int");
    EXPECT_EQ(number.message, "(keine Meldung)");

    const CrashReport nothing = MakeCrashReport(nullptr);
    EXPECT_EQ(nothing.message, "(kein Fehlerobjekt)");
    EXPECT_FALSE(nothing.callStack.empty());
}

TEST(CrashReport, TextHasGermanHeadingsInFixedOrder) {
    CrashReport report;
    report.message = "Zugriff verweigert";
    report.exceptionType = "std::system_error";
    report.callStack = "  #0 a\n  #1 b\n";
    report.programVersion = "2021.2.2.4";
    report.processId = 4711;
    report.system = "Debian GNU/Linux 12";
    report.processor = "Testprozessor (2 logische Prozessoren)";
    EXPECT_EQ(report.text(), "Fehlerbericht\n"
                             "=============\n"
                             "Meldung: Zugriff verweigert\n"
                             "Fehlerart: std::system_error\n"
                             "Programmversion: 2021.2.2.4\n"
                             "Prozess: 4711\n"
                             "System: Debian GNU/Linux 12\n"
                             "Prozessor: Testprozessor (2 logische Prozessoren)\n"
                             "Aufrufliste:\n"
                             "  #0 a\n"
                             "  #1 b\n");
    report.callStack.clear();
    EXPECT_NE(report.text().find("Aufrufliste:\n  (nicht verfügbar)\n"), std::string::npos);
}

// Starts a child that logs into the scratch folder, installs the report and
// dies by crash(); returns the child's pid and its wait status.
std::pair<pid_t, int> crashingChild(const std::string& program, void (*crash)()) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDERR_FILENO); // the report also goes to stderr
        SetProgramPath(program + "Schauplatz");
        LogUnitStart();
        InstallFatalSignalReport();
        crash();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {child, status};
}

std::vector<std::string> reportsOf(const std::string& folder, pid_t pid) {
    std::vector<std::string> found;
    const std::string start = "absturz-" + std::to_string(pid) + "-";
    if (!fs::is_directory(folder)) {
        return found;
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(start, 0) == 0 && name.size() > 4 &&
            name.substr(name.size() - 4) == ".txt") {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

TEST(FatalSignalReport, SegmentationFaultLeavesAReportInTheLogFolder) {
    testing::ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    const auto [pid, status] = crashingChild(program, crashReportTestSegfault);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV) << "the child ends as the signal would";

    const auto reports = reportsOf(program + "log/", pid);
    ASSERT_EQ(reports.size(), 1u);
    const std::string text = testing::readFile(reports.front());
    EXPECT_EQ(text.rfind("Fehlerbericht\n", 0), 0u) << text;
    EXPECT_NE(text.find("Programmversion: " + compiledVersion() + "\n"), std::string::npos);
    EXPECT_NE(text.find("Signal: SIGSEGV"), std::string::npos);
    EXPECT_NE(text.find("Adresse: 0x0\n"), std::string::npos);
    EXPECT_NE(text.find("Prozess: " + std::to_string(pid) + "\n"), std::string::npos);
    const std::size_t stack = text.find("Aufrufliste:\n");
    ASSERT_NE(stack, std::string::npos);
    EXPECT_NE(text.find("crashReportTestSegfault", stack), std::string::npos) << text;
}

TEST(FatalSignalReport, AbortIsReportedToo) {
    testing::ScratchFolder scratch;
    const std::string program = scratch.path() + "prog/";
    const auto [pid, status] = crashingChild(program, [] { std::abort(); });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    const auto reports = reportsOf(program + "log/", pid);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(testing::readFile(reports.front()).find("Signal: SIGABRT"), std::string::npos);
}

} // namespace
} // namespace schauplatz
