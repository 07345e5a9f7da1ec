#include "support/CrashReport.h"

#include "support/ThrowStack.h"
#include "support/u_logfile.h"

#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <execinfo.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/utsname.h>
#include <thread>
#include <typeinfo>
#include <unistd.h>

namespace schauplatz {

namespace {

std::string demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> plain(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

// "binary(mangled+0x1f) [0x...]" -> "binary(plain name+0x1f) [0x...]"
std::string readableFrame(const std::string& symbol) {
    const std::size_t open = symbol.find('(');
    const std::size_t plus = symbol.find('+', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || plus == std::string::npos || plus == open + 1) {
        return symbol;
    }
    const std::string mangled = symbol.substr(open + 1, plus - open - 1);
    return symbol.substr(0, open + 1) + demangle(mangled.c_str()) + symbol.substr(plus);
}

std::string describeFrames(const std::vector<void*>& frames) {
    if (frames.empty()) {
        return {};
    }
    std::unique_ptr<char*, void (*)(void*)> symbols(
        ::backtrace_symbols(frames.data(), static_cast<int>(frames.size())), std::free);
    std::ostringstream out;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        out << "  #" << i << ' ' << (symbols ? readableFrame(symbols.get()[i]) : std::string("?"))
            << '\n';
    }
    return out.str();
}

std::vector<void*> stackHere() {
    std::vector<void*> frames(64);
    const int count = ::backtrace(frames.data(), static_cast<int>(frames.size()));
    frames.resize(static_cast<std::size_t>(count > 0 ? count : 0));
    return frames;
}

// libstdc++ keeps the thrown object's address as the only member of
// std::exception_ptr; that is what the throw hook recorded.
const void* thrownObjectOf(const std::exception_ptr& error) {
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object = nullptr;
    std::memcpy(&object, &error, sizeof object);
    return object;
}

std::string systemDescription() {
    std::string pretty;
    std::ifstream release("/etc/os-release");
    for (std::string line; std::getline(release, line);) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            pretty = line.substr(12);
            if (pretty.size() >= 2 && pretty.front() == '"' && pretty.back() == '"') {
                pretty = pretty.substr(1, pretty.size() - 2);
            }
        }
    }
    utsname names{};
    std::string kernel;
    if (::uname(&names) == 0) {
        kernel = std::string(names.sysname) + " " + names.release + " " + names.version + " " +
                 names.machine;
    }
    return pretty.empty() ? kernel : pretty + ", " + kernel;
}

std::string processorDescription() {
    std::string model;
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("model name", 0) == 0) {
            const std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                model = line.substr(colon + 1);
                model.erase(0, model.find_first_not_of(" \t"));
            }
            break;
        }
    }
    const unsigned count = std::thread::hardware_concurrency();
    if (model.empty()) {
        model = "unbekannt";
    }
    return model + " (" + std::to_string(count) + " logische Prozessoren)";
}

} // namespace

std::string CrashReport::text() const {
    std::ostringstream out;
    out << "Fehlerbericht\n"
        << "=============\n"
        << "Meldung: " << message << '\n'
        << "Fehlerart: " << exceptionType << '\n'
        << "Programmversion: " << programVersion << '\n'
        << "Prozess: " << processId << '\n'
        << "System: " << system << '\n'
        << "Prozessor: " << processor << '\n'
        << "Aufrufliste:\n"
        << (callStack.empty() ? std::string("  (nicht verfügbar)\n") : callStack);
    return out.str();
}

CrashReport MakeCrashReport(std::exception_ptr error) {
    CrashReport report;
    report.programVersion = ProgramFileVersion();
    report.processId = static_cast<long>(::getpid());
    report.system = systemDescription();
    report.processor = processorDescription();
    if (!error) {
        report.message = "(kein Fehlerobjekt)";
        // Not assigned from the literal "-": GCC 12 at -O3 reports a false -Wrestrict
        // overlap for a one-character literal assigned to a string.
        report.exceptionType = std::string(1, '-');
        report.callStack = describeFrames(stackHere());
        return report;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& caught) {
        report.message = caught.what();
        report.exceptionType = demangle(typeid(caught).name());
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        report.message = "(keine Meldung)";
        report.exceptionType = type != nullptr ? demangle(type->name()) : "unbekannt";
    }
    std::vector<void*> frames = detail::stackOfThrow(thrownObjectOf(error));
    if (frames.empty()) {
        // Thrown where the hook could not see it: the stack of the catch
        // still shows which handler was running.
        frames = stackHere();
        report.callStack = "  (Stapel beim Auffangen, nicht beim Auslösen)\n";
    }
    report.callStack += describeFrames(frames);
    return report;
}

} // namespace schauplatz
