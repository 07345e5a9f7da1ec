// The project commands: the composite's inputs saved as a project file, and a project file
// loaded by replaying every acceptance it records, so the same background is built again.
//
// Files, encodings, archives and folders are the project core's (ProjectArchive); here the
// window asks for names, writes the log lines, sets the caption, keeps its events flowing
// while the archive works and replays the elements.

#include "MainUnit/MainUnit.h"

#include "composition/ProjectReplay.h"
#include "elements/PictureFiles.h"
#include "project/ProjectArchive.h"
#include "project/ProjectNames.h"
#include "project/RecordFile.h"
#include "support/u_logfile.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <utility>

namespace schauplatz {

namespace {

// Title of the message window in which the archive component shows its errors.
constexpr const char* kArchiveMessageTitle = "Projektarchiv";
// The log line of a load the user cancelled (the file name follows).
constexpr const char* kLoadCancelledLog = "Laden abgebrochen: ";
// A save or load that runs longer than this shows a progress bar.
constexpr auto kProgressDelay = std::chrono::milliseconds(500);
// Each save or load runs two archive operations: reading the archive's directory (short),
// then adding or extracting. Share of the first in the bar.
constexpr double kDirectoryShare = 0.1;
// A load then replays the record lines; share of the archive operations in its bar.
constexpr double kArchiveShareOfLoad = 0.5;

FileDialogRequest projectDialog(const char* title) {
    FileDialogRequest request;
    request.title = title;
    request.filter = kProjectFilter;
    request.defaultExt = kProjectDefaultExt;
    return request;
}

// Wires the archive component to the window for one save or load: its errors go to the
// host's message window, the host keeps handling events while it works, and once the
// operation has run longer than kProgressDelay the host shows its progress. A load can be
// cancelled there: the archive is asked to stop, and the replay stops at its next picture.
// The progress and event hooks point into this object and are taken off again when it ends.
class ArchiveSession {
public:
    enum class Kind { Save, Load };
    ArchiveSession(TZipArchive& zip, FormHost& host, std::string text, Kind kind)
        : m_zip(zip), m_host(host), m_text(std::move(text)), m_kind(kind),
          m_start(std::chrono::steady_clock::now()) {
        m_zip.OnMessage = [&host](const std::string& message) {
            host.showMessage(kArchiveMessageTitle, message);
        };
        m_zip.ProcessEvents = [this] { poll(); };
        m_zip.OnProgress = [this](double fraction) {
            if (fraction >= 1.0) {
                ++m_finishedOperations;
                m_fraction = 0.0;
            } else {
                m_fraction = fraction;
            }
            update();
        };
    }
    ~ArchiveSession() {
        m_zip.ProcessEvents = nullptr;
        m_zip.OnProgress = nullptr;
        if (m_shown) m_host.progressEnded();
    }
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

    // Lets the window work; true once the user cancelled the load.
    bool poll() {
        m_host.processMessages();
        update();
        if (m_kind == Kind::Load && m_shown && m_host.progressCancelled()) m_zip.RequestCancel();
        return m_zip.CancelRequested();
    }
    // The replay after the archive: lines done of total.
    void replayed(std::size_t done, std::size_t total) {
        m_replayed = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
        update();
    }

private:
    double overall() const {
        // A load's second half is the replay, which reads and draws the pictures.
        const double archive = m_kind == Kind::Load ? kArchiveShareOfLoad : 1.0;
        if (m_finishedOperations == 0) return archive * kDirectoryShare * m_fraction;
        if (m_finishedOperations == 1)
            return archive * (kDirectoryShare + (1.0 - kDirectoryShare) * m_fraction);
        return archive + (1.0 - archive) * m_replayed;
    }
    void update() {
        if (!m_shown) {
            if (std::chrono::steady_clock::now() - m_start < kProgressDelay) return;
            m_shown = true;
        }
        const double now = overall();
        if (now == m_reported) return;
        m_reported = now;
        m_host.progressChanged(m_text, now, m_kind == Kind::Load);
    }

    TZipArchive& m_zip;
    FormHost& m_host;
    std::string m_text;
    Kind m_kind;
    std::chrono::steady_clock::time_point m_start;
    int m_finishedOperations = 0;
    double m_fraction = 0.0;
    double m_replayed = 0.0;
    double m_reported = -1.0;
    bool m_shown = false;
};

// Sets a flag for the life of the object.
class FlagWhile {
public:
    explicit FlagWhile(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagWhile() { m_flag = false; }
    FlagWhile(const FlagWhile&) = delete;
    FlagWhile& operator=(const FlagWhile&) = delete;

private:
    bool& m_flag;
};

} // namespace

// An archive operation runs, or a load replays its pictures (the window handles events in
// both, and nothing may change the project meanwhile).
bool TForm_Schauplatz::ProjectBusy() const {
    return ZipArchive1.Busy() || m_projectLoading;
}

// The name, the caption and the unsaved mark change only once the file was written: a save
// that fails leaves them as they were (and the previous file byte-identical).
bool TForm_Schauplatz::SaveProject(const std::string& Name) {
    if (ZipArchive1.RefusedWhileBusy("Speichern von " + Name)) return false;
    if (ActiveVertex >= 0 || m_projectLoading) return false;
    const std::string name = resolveSaveName(
        Name, [this] { return m_host.saveFileDialog(projectDialog(kSaveProjectTitle)); });
    if (name.empty()) return false;
    WriteLog(kSaveProjectLog + name, 1);

    // Line 0 must name the facade, or the project cannot be loaded again. A facade that came
    // from no file (the built-in picture, a cancelled facade dialog) is kept as one in the
    // picture store.
    storeFacadeIfUnnamed();
    const std::vector<std::string> lines = m_composition.RecordLines();
    bool written = false;
    {
        ArchiveSession session(ZipArchive1, m_host, kSaveProjectLog + name,
                               ArchiveSession::Kind::Save);
        written = writeProjectArchive(name, lines, ProjectFolders(), ZipArchive1,
                                      m_composition.AppearanceEntry());
    }
    if (!written) return false;
    ProjectFile = name;
    ProjectData = lines;
    markSaved();
    return true;
}

// The project is rebuilt beside the open one and takes its place only when it is complete: a
// load that fails leaves the open project as it was.
bool TForm_Schauplatz::LoadProject(const std::string& FileName) {
    if (ZipArchive1.RefusedWhileBusy("Laden von " + FileName)) return false;
    if (ActiveVertex >= 0 || m_projectLoading) return false;
    WriteLog(kLoadProjectLog + FileName, 1);

    // Cancelled, refused, or failed with the message shown already: nullopt.
    std::optional<TLoadedProject> project = [&]() -> std::optional<TLoadedProject> {
        const FlagWhile loading(m_projectLoading);
        try {
            ArchiveSession session(ZipArchive1, m_host, kLoadProjectLog + FileName,
                                   ArchiveSession::Kind::Load);
            TReplayHooks hooks;
            hooks.cancelled = [&session] { return session.poll(); };
            hooks.progress = [&session](std::size_t done, std::size_t total) {
                session.replayed(done, total);
            };
            return LoadProjectFile(FileName, ProjectFolders(), ZipArchive1, hooks);
        } catch (const EReplayCancelled&) {
            WriteLog(kLoadCancelledLog + FileName, 1);
        } catch (const EProjectLoadFailed& failure) {
            if (!failure.Shown()) throw;
        }
        return std::nullopt;
    }();
    if (!project) return false;

    // The replay places elements only in the new-element mode; switch it on as the user
    // would, so the workspace shows the element offered next.
    if (!Item("NeuesElementpositionieren1").checked) ClickMenuItem("NeuesElementpositionieren1");
    m_composition = std::move(project->composition);
    m_placement.savedState = m_composition.StateId();
    LoadStore = std::move(project->lines);
    ProjectFile = FileName;
    Zoom = 1.0f;
    // The new project's pictures become the picture store; those of the project open until
    // now go, except the element being placed.
    keepElementFile(project->pictures->Folder());
    project->pictures->Commit();
    ImageFassade.Bitmap().Assign(&m_composition.Facade());
    ImageFassade.Invalidate();
    showWholeBackground();
    ShowComposition();
    SizeWorkspace();
    ViewPictureLoaded();
    // The element placed last is offered again at its default place, as after its acceptance.
    if (!m_composition.Elements().empty()) {
        const TPlacedElement& last = m_composition.Elements().back();
        ImageSelectedDoor.Bitmap().Assign(last.Picture.get());
        ImageSelectedDoor.Invalidate();
        ++m_placement.elementPicture;
        m_placement.mirrored = false;
        ElementFile = last.Path;
        NeuesElementpositionieren1Click();
    } else {
        RenderElement();
    }
    markSaved();
    return true;
}

// The element being placed may come from the project open until now, whose pictures go with
// the older picture sets: it is copied into the new set first.
void TForm_Schauplatz::keepElementFile(const std::string& newSet) {
    const std::string& store = ProjectFolders().PictureStore();
    if (ElementFile.rfind(store, 0) != 0 || ElementFile.rfind(newSet, 0) == 0) return;
    std::error_code missing;
    if (!std::filesystem::is_regular_file(ElementFile, missing)) return;
    ElementFile = ProjectFolders().KeepPicture(ElementFile, newSet);
}

void TForm_Schauplatz::ReplayElement(const std::string& Path, std::int32_t X0, std::int32_t Y0,
                                     std::int32_t X1, std::int32_t Y1, std::int32_t X2,
                                     std::int32_t Y2, std::int32_t X3, std::int32_t Y3) {
    Vertices = {QuadPoint{X0, Y0}, QuadPoint{X1, Y1}, QuadPoint{X2, Y2}, QuadPoint{X3, Y3}};
    // A record line alone is drawn as recorded, whatever settings new elements take.
    m_placement.appearance = TAppearance{};
    LoadElementPicture(Path);
    Elementbernehmen1Click();
}

void TForm_Schauplatz::Projektladen1Click() {
    if (CommandRefused() || !ConfirmLosingChanges()) return;
    const std::string path = m_host.openFileDialog(projectDialog(kOpenProjectTitle));
    if (!path.empty()) LoadProject(path);
}

void TForm_Schauplatz::Projektspeichern1Click() {
    if (CommandRefused()) return;
    SaveProject(ProjectFile);
}

// Errors of the save are not caught here: like "Projekt &speichern", a failed save reaches
// the general error handling instead of passing for a saved project.
void TForm_Schauplatz::Projektspeichernals1Click() {
    if (CommandRefused()) return;
    const std::string path = m_host.saveFileDialog(projectDialog(kSaveProjectTitle));
    if (!path.empty()) SaveProject(path);
}

} // namespace schauplatz
