// Projects that reach the window from outside: named on the command line or dropped on the
// window. Both load through LoadProject, as "Projekt laden" does, and OpenProjectFile is the
// one place where they start.

#include "MainUnit/MainUnit.h"
#include "MainUnit/ProjectFileName.h"

#include <algorithm>
#include <filesystem>

namespace schauplatz {

namespace {

// The project the window starts with: no record lines, the default facade (or the built-in
// picture when there is none), the first picture of the pattern folder as the element (a
// failed load may have replayed others), at its default place.
void startEmptyProject(TForm_Schauplatz& form) {
    form.ResetProject();
    const std::string defaultFacade = form.ProgramFolderPath() + "Muster/Fassade/Fassade.jpg";
    std::error_code missing;
    if (std::filesystem::exists(defaultFacade, missing)) {
        form.LoadFacade(defaultFacade);
    } else {
        const BuiltinPicture& builtin = form.BuiltinPictureData();
        TBitmap32& background = form.ImageHintergrund.Bitmap();
        background.SetSize(builtin.width, builtin.height);
        std::copy(builtin.pixels.begin(), builtin.pixels.end(), background.Bits());
        background.Changed();
        form.ImageFassade.Bitmap().Assign(&background);
        form.SizeWorkspace();
    }
    form.ElementListBox1ItemDblClick(0);
    form.PlaceElementDefault();
    form.RenderElement();
}

} // namespace

bool TForm_Schauplatz::OpenProjectFile(const std::string& path) {
    if (ProjectBusy()) return false;
    // Every way of opening a project from outside passes here: this is where the question
    // about unsaved changes belongs, before anything changes.
    LoadStore.clear();
    LoadProject(path);
    // A load that could not unpack the archive returns without record lines.
    return ProjectFile == path && !LoadStore.empty();
}

// A project that cannot be loaded has already shown the load's message (or its error goes
// on to the error dialog); what stays is the new project the window started with.
void TForm_Schauplatz::OpenStartProject(const std::string& path) {
    bool loaded = false;
    try {
        loaded = OpenProjectFile(path);
    } catch (...) {
        startEmptyProject(*this);
        throw;
    }
    if (!loaded) startEmptyProject(*this);
}

// Pictures keep their meaning (each becomes the element in turn). A project file among them
// is loaded first, so the pictures land on it; of several, the last one dropped is loaded,
// as the last of several pictures is the one that stays.
void TForm_Schauplatz::DropFiles(const std::vector<std::string>& paths) {
    if (ProjectBusy()) return;
    std::string project;
    std::vector<std::string> pictures;
    for (const std::string& path : paths) {
        std::error_code ignored;
        if (IsProjectFileName(path) && !std::filesystem::is_directory(path, ignored))
            project = path;
        else
            pictures.push_back(path);
    }
    if (!project.empty()) OpenProjectFile(project);
    if (!pictures.empty()) FormDropFiles(pictures);
}

} // namespace schauplatz
