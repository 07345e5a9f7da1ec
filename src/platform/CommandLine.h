#pragma once

// The program's command line:
//
//   schauplatz [PROJEKT.vbk]      start, with that project loaded
//   schauplatz --help | -h        the forms below, then end (status 0)
//   schauplatz --version          the version, then end (status 0)
//
// Qt's own options (-platform NAME, -style NAME, ...) pass to Qt. Any other option ends the
// program with status 2 before anything starts. Arguments that are not one project file (a
// folder, a picture, two files) are named on standard error and the program starts with a
// new project.

#include <string>
#include <vector>

namespace schauplatz {

inline constexpr int kCommandLineErrorStatus = 2;

// What the options ask for; looked at before the application exists, so --help and
// --version work without a display.
struct CommandLineOptions {
    enum class Action { Start, ShowHelp, ShowVersion, Fail };
    Action action = Action::Start;
    std::string error; // for Fail: the message for standard error
};

// arguments: without the program name.
CommandLineOptions ScanOptions(const std::vector<std::string>& arguments);

// What the program starts with, from the arguments Qt left (without the program name).
struct StartFiles {
    std::string project;            // absolute path of the project to load, "" for none
    std::vector<std::string> notes; // messages for standard error
};
StartFiles ChooseStartFiles(const std::vector<std::string>& arguments);

std::string UsageText();
std::string VersionText();

} // namespace schauplatz
