#include "platform/CommandLine.h"

#include "MainUnit/ProjectFileName.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

namespace schauplatz {

namespace {

constexpr const char* kProgram = "schauplatz: ";

// The options QGuiApplication and QApplication take for themselves (with "-" or "--"), with
// and without a value; Qt removes them from the arguments before the program sees them.
constexpr std::array<std::string_view, 14> kQtOptionsWithValue = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "title",         "name",
    "style",           "stylesheet"};
constexpr std::array<std::string_view, 6> kQtFlags = {"reverse", "widgetcount", "nograb",
                                                      "dograb",  "sync",        "qmljsdebugger"};

// The option's name without its dashes and without an "=value" part.
std::string_view optionName(std::string_view argument) {
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    return argument.substr(0, argument.find('='));
}

bool isOption(const std::string& argument) {
    return argument.size() > 1 && argument.front() == '-' && argument != "--";
}

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string quoted(const std::string& text) {
    return "„" + text + "“";
}

} // namespace

CommandLineOptions ScanOptions(const std::vector<std::string>& arguments) {
    CommandLineOptions result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") break; // only files follow
        if (!isOption(argument)) continue;
        if (argument == "--help" || argument == "-h") {
            result.action = CommandLineOptions::Action::ShowHelp;
            return result;
        }
        if (argument == "--version") {
            result.action = CommandLineOptions::Action::ShowVersion;
            return result;
        }
        const std::string_view name = optionName(argument);
        if (listed(kQtOptionsWithValue, name)) {
            if (argument.find('=') == std::string::npos) ++i; // its value follows
            continue;
        }
        if (listed(kQtFlags, name)) continue;
        result.action = CommandLineOptions::Action::Fail;
        result.error = std::string(kProgram) + "unbekannte Option " + quoted(argument) +
                       "\nAufruf: schauplatz [PROJEKT.vbk]; schauplatz --help zeigt mehr.";
        return result;
    }
    return result;
}

StartFiles ChooseStartFiles(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        // An option of Qt's that this platform did not take (-display under offscreen).
        if (!optionsEnded && isOption(argument)) {
            if (listed(kQtOptionsWithValue, optionName(argument)) &&
                argument.find('=') == std::string::npos)
                ++i;
            continue;
        }
        files.push_back(argument);
    }

    StartFiles start;
    const std::string newProject = "; das Programm beginnt mit einem neuen Projekt.";
    if (files.empty()) return start;
    if (files.size() > 1) {
        std::string names;
        for (const std::string& file : files)
            names += (names.empty() ? "" : ", ") + quoted(file);
        start.notes.push_back(std::string(kProgram) +
                              "es kann nur eine Projektdatei geöffnet werden, nicht " + names +
                              newProject);
        return start;
    }
    const std::string& file = files.front();
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        start.notes.push_back(std::string(kProgram) + quoted(file) +
                              " ist ein Ordner, keine Projektdatei (.vbk)" + newProject);
    } else if (!IsProjectFileName(file)) {
        start.notes.push_back(std::string(kProgram) + quoted(file) +
                              " ist keine Projektdatei (.vbk)" + newProject);
    } else {
        // Absolute, since a load makes the work folder the current folder.
        const std::filesystem::path absolute = std::filesystem::absolute(file, error);
        start.project = error ? file : absolute.lexically_normal().string();
    }
    return start;
}

std::string UsageText() {
    return "Aufruf: schauplatz [PROJEKT.vbk]\n"
           "       schauplatz --help | --version\n"
           "\n"
           "Startet die Velora Bildkomposition; mit einer Projektdatei (.vbk) startet sie mit\n"
           "diesem Projekt. Lässt es sich nicht laden, beginnt ein neues Projekt.\n"
           "\n"
           "  -h, --help     zeigt diese Hilfe\n"
           "      --version  zeigt die Programmversion\n"
           "\n"
           "Die Optionen von Qt (etwa -platform NAME) werden angenommen. Jede andere Option\n"
           "beendet das Programm mit dem Status 2.\n";
}

std::string VersionText() {
    return std::string("Velora Bildkomposition 2021 (Schauplatz) ") + SCHAUPLATZ_VERSION + "\n";
}

} // namespace schauplatz
