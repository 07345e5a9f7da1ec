// Projects that reach the window from outside: named on the command line or dropped on the
// window. Both load through LoadProject, as "Projekt laden" does, and OpenProjectFile is the
// one place where they start.

#include "MainUnit/MainUnit.h"
#include "MainUnit/ProjectFileName.h"

#include <algorithm>
#include <filesystem>

namespace schauplatz {

bool TForm_Schauplatz::OpenProjectFile(const std::string& path) {
    // Every way of opening a project from outside passes here, and asks first about
    // unsaved changes.
    if (CommandRefused() || !ConfirmLosingChanges()) return false;
    return LoadProject(path);
}

// A project that cannot be loaded has shown the load's message, or its error goes on to the
// error dialog; the new project the window started with stays as it was.
void TForm_Schauplatz::OpenStartProject(const std::string& path) {
    OpenProjectFile(path);
}

// Pictures keep their meaning (each becomes the element in turn). A project file among them
// is loaded first, so the pictures land on it; of several, the last one dropped is loaded,
// as the last of several pictures is the one that stays.
void TForm_Schauplatz::DropFiles(const std::vector<std::string>& paths) {
    if (CommandRefused()) return;
    std::string project;
    std::vector<std::string> pictures;
    for (const std::string& path : paths) {
        std::error_code ignored;
        if (IsProjectFileName(path) && !std::filesystem::is_directory(path, ignored))
            project = path;
        else
            pictures.push_back(path);
    }
    if (!project.empty() && !OpenProjectFile(project)) return;
    if (!pictures.empty()) FormDropFiles(pictures);
}

} // namespace schauplatz
