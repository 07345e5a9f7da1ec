#include "MainUnit/MainUnit.h"

#include "project/ProjectNames.h"
#include "support/U_SYSTOOLS.h"
#include "support/u_logfile.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace schauplatz {

namespace {
constexpr const char* kCaptionTemplate = "Velora Bildkomposition 2021 [%s]";
constexpr const char* kSaveChangesQuestion =
    "Das Projekt wurde geändert. Sollen die Änderungen gespeichert werden?";
constexpr long double kStippleStep = 0.05L;
// Idle passes (one a frame, about 16 ms) without a drag step after which the smooth rendering
// replaces the stand-in while the corner is still held: about 50 ms.
constexpr int kRestingIdlePasses = 3;
} // namespace

TForm_Schauplatz::TForm_Schauplatz(FormHost& host, std::string programFolder)
    : m_host(host), m_programFolder(IncludeTrailingPathDelimiter(std::move(programFolder))) {
    buildMenus();
    setUpPictures();
}

// The designed display settings of the window's pictures. All of them show
// their picture with nearest-neighbour sampling.
void TForm_Schauplatz::setUpPictures() {
    struct Design {
        TCustomImage32* view;
        TBitmapAlign align;
        TScaleMode scaleMode;
        TRepaintMode repaintMode;
        TDrawMode drawMode;
        TControlColor color;
    };
    const Design designs[] = {
        {&ImageSelectedDoor, baCenter, smOptimal, rmOptimizer, dmBlend, kSysAppWorkSpace},
        {&ImageFassade, baCenter, smOptimal, rmOptimizer, dmBlend, kControlBlack},
        {&ImageHintergrund, baCenter, smOptimal, rmFull, dmOpaque, kControlBlack},
        {&ImageUndo, baCenter, smOptimal, rmOptimizer, dmBlend, kControlBlack},
        {&ImageCombined, baCenter, smOptimal, rmOptimizer, dmBlend, kControlBlack},
        {&WorkingPlaceImage, baTopLeft, smOptimalScaled, rmOptimizer, dmTransparent,
         kSysAppWorkSpace},
    };
    for (const Design& design : designs) {
        design.view->SetBitmapAlign(design.align);
        design.view->SetScaleMode(design.scaleMode);
        design.view->SetScale(1.0f);
        design.view->SetRepaintMode(design.repaintMode);
        design.view->SetColor(design.color);
        design.view->Bitmap().SetResamplerClassName("TNearestResampler");
        design.view->Bitmap().SetDrawMode(design.drawMode);
    }
    WorkingPlaceImage.Bitmap().SetCombineMode(cmMerge);

    // The background the window is designed with.
    const BuiltinPicture& builtin = BuiltinBackground();
    TBitmap32& background = ImageHintergrund.Bitmap();
    background.SetSize(builtin.width, builtin.height);
    std::copy(builtin.pixels.begin(), builtin.pixels.end(), background.Bits());
    background.Changed();
    // The composition starts on the same picture, which names no file.
    auto facade = std::make_shared<TBitmap32>();
    facade->Assign(&background);
    m_composition.SetFacade("", std::move(facade));

    ImageFassade.OnDblClick = [this](TCustomPaintBox32*) { ImageFassadeDblClick(); };
}

TForm_Schauplatz::~TForm_Schauplatz() = default;

void TForm_Schauplatz::FormCreate() {
    ElementFile.clear();
    ResetProject();
    Zoom = 1.0f;
    ActiveVertex = -1;
    ShowFrame = true;
    SizeWorkspace();
    // Each running instance stages projects in a work folder of its own.
    WorkFolder = ProjectFolders().WorkFolder();
    // The desktop may remember the folder chosen in an earlier run.
    PatternFolder = m_host.startPatternFolder(m_programFolder + "Muster/Haustüren");
    FillElementList(PatternFolder);
    // The default facade is optional: without it the built-in picture stays.
    const std::string defaultFacade = m_programFolder + "Muster/Fassade/Fassade.jpg";
    std::error_code missing;
    if (std::filesystem::exists(defaultFacade, missing))
        LoadFacade(defaultFacade);
    else
        ImageFassade.Bitmap().Assign(&ImageHintergrund.Bitmap());
    // New elements take the settings last chosen, also in an earlier run.
    m_placement.lastUsed = ClampAppearance(m_host.startAppearance());
    m_placement.appearance = m_placement.lastUsed;
    PlaceElementDefault();
    markElementOffered();
    Transformation = std::make_unique<TProjectiveTransformation>();
    SetUpWorkspaceStages();
    RenderElement();
    facadeShown();
    m_host.installIdleHandler();
    m_host.acceptDroppedFiles(true);
    // The default facade is no change of the user's.
    markSaved();
}

bool TForm_Schauplatz::Modified() const {
    return m_composition.StateId() != m_placement.savedState;
}

void TForm_Schauplatz::markSaved() {
    m_placement.savedState = m_composition.StateId();
    UpdateCaption();
}

bool TForm_Schauplatz::ConfirmLosingChanges() {
    if (!Modified()) return true;
    switch (m_host.askSaveChanges(kSaveChangesQuestion)) {
    case SaveChangesAnswer::Save:
        // A save that is cancelled or fails cancels the command (a failure reaches the error
        // handling with its reason).
        return SaveProject(ProjectFile);
    case SaveChangesAnswer::Discard:
        return true;
    case SaveChangesAnswer::Cancel:
        break;
    }
    return false;
}

bool TForm_Schauplatz::FormCloseQuery() {
    if (ProjectBusy()) return false;
    return ConfirmLosingChanges();
}

void TForm_Schauplatz::FormShow() {
    CaptionTemplate = kCaptionTemplate;
    UpdateCaption();
}

void TForm_Schauplatz::FormDestroy() {
    // The frame layer goes with the workspace view's layer list. The recovery store writes
    // what waits, then keeps or removes the copy.
    Transformation.reset();
    m_recovery.reset();
}

// The caption ends in " *" while the project holds changes that were not saved.
void TForm_Schauplatz::UpdateCaption() {
    std::string caption = CaptionTemplate;
    if (const auto at = caption.find("%s"); at != std::string::npos)
        caption.replace(at, 2, ProjectFile);
    if (!caption.empty() && Modified()) caption += " *";
    updateRecovery();
    if (caption == m_caption) return;
    m_caption = std::move(caption);
    m_host.captionChanged(m_caption);
}

// A new project keeps the picture the background shows as the facade of a new record list
// (it names no file until it is stored), with a new history.
void TForm_Schauplatz::ResetProject() {
    ProjectFile = kNewProjectName;
    if (Editing()) m_composition.CancelEdit();
    auto facade = std::make_shared<TBitmap32>();
    facade->Assign(&m_composition.Background());
    m_composition.SetFacade("", std::move(facade));
    // A new project has nothing to lose yet.
    m_placement.savedState = m_composition.StateId();
    ShowComposition();
}

void TForm_Schauplatz::AppEventsIdle() {
    startFacadeFeatures();
    // The smooth rendering replaces the stand-in once the mouse rests, also on a held corner.
    if (m_placement.smoothPending &&
        (ActiveVertex < 0 || ++m_placement.restingPasses >= kRestingIdlePasses))
        FinishSmoothRendering();
    if (ActiveVertex >= 0 || !ShowFrame) return;
    // The step is applied in extended precision and the result kept as single.
    StippleCounter = static_cast<float>(static_cast<long double>(StippleCounter) - kStippleStep);
    // Only the frame moved: the view redraws the frame alone, the preview is built
    // again only when its pictures changed.
    WorkingPlaceImage.InvalidateOverlay();
    UpdatePreview();
}

// --- Menus -------------------------------------------------------------------

MenuItem* TForm_Schauplatz::findItem(const std::string& name) {
    if (auto pos = FindMenuItem(m_mainMenu, name))
        return &m_mainMenu[static_cast<std::size_t>(pos->menu)]
                    .items[static_cast<std::size_t>(pos->item)];
    for (Menu* popup : {&m_popupElement, &m_popupFassade})
        for (MenuItem& item : popup->items)
            if (!item.name.empty() && item.name == name) return &item;
    return nullptr;
}

MenuItem& TForm_Schauplatz::Item(const std::string& name) {
    if (MenuItem* item = findItem(name)) return *item;
    throw std::out_of_range("Unbekannter Menüpunkt: " + name);
}

const MenuItem& TForm_Schauplatz::Item(const std::string& name) const {
    return const_cast<TForm_Schauplatz*>(this)->Item(name);
}

void TForm_Schauplatz::ClickMenuItem(const std::string& name) {
    MenuItem& item = Item(name);
    if (!item.enabled) return;
    if (item.toggle) item.checked = !item.checked;
    if (OnMenuItemClick) OnMenuItemClick(item.name);
    if (item.handler) (this->*item.handler)();
}

bool TForm_Schauplatz::ShortCutPressed(const ShortCut& key) {
    const MenuPosition pos = FindShortCutTarget(m_mainMenu, key);
    if (!pos.valid()) return false;
    const std::string name = m_mainMenu[static_cast<std::size_t>(pos.menu)]
                                 .items[static_cast<std::size_t>(pos.item)]
                                 .name;
    ClickMenuItem(name);
    return true;
}

// --- Handlers with behaviour of the window itself ------------------------------

void TForm_Schauplatz::Vertexanaus1Click() {
    ShowFrame = Item("Vertexanaus1").checked;
    RenderElement();
}

// A new project forgets the record list, then offers the facade dialog.
void TForm_Schauplatz::NeuesProjekt1Click() {
    if (CommandRefused() || !ConfirmLosingChanges()) return;
    ResetProject();
    ViewPictureLoaded();
    FassadeLaden1Click();
}

void TForm_Schauplatz::ImageFassadeDblClick() {
    FassadeLaden1Click();
}

// --- Crash recovery ------------------------------------------------------------------------

namespace {
constexpr const char* kRecoveryQuestion = "Schauplatz wurde nicht ordnungsgemäß beendet. Soll das "
                                          "nicht gespeicherte Projekt vom %s wiederhergestellt "
                                          "werden?";
constexpr const char* kRecoveryDamaged =
    "Schauplatz wurde nicht ordnungsgemäß beendet. Das nicht gespeicherte Projekt vom %s ist "
    "beschädigt und kann nicht wiederhergestellt werden; es wird verworfen.";
constexpr const char* kRecoveryTitle = "Wiederherstellung";

std::string withTime(const char* text, const std::string& time) {
    std::string result = text;
    result.replace(result.find("%s"), 2, time.empty() ? std::string("unbekannter Zeit") : time);
    return result;
}
} // namespace

void TForm_Schauplatz::EnableRecovery(const std::string& folder) {
    m_recovery = std::make_unique<TRecoveryStore>(folder, ProjectFolders().InstanceFolder() +
                                                              "wiederherstellung/");
    m_recoveryKept = {0, "", false};
    updateRecovery();
}

void TForm_Schauplatz::KeepRecoveryAtExit() {
    if (m_recovery) m_recovery->KeepAtExit();
}

// The newest copy that can be read is offered; a damaged one can only be discarded. Copies
// older than a restored one stay for another start.
void TForm_Schauplatz::OfferRecovery() {
    if (!m_recovery) return;
    for (const TRecoveryCopy& copy : m_recovery->LeftBehind()) {
        if (copy.damaged) {
            m_host.showMessage(kRecoveryTitle, withTime(kRecoveryDamaged, copy.savedAt));
            m_recovery->Forget(copy);
            continue;
        }
        const RestoreAnswer answer = m_host.askRestore(withTime(kRecoveryQuestion, copy.savedAt));
        if (answer == RestoreAnswer::Later) return;
        if (answer == RestoreAnswer::Discard) {
            m_recovery->Forget(copy);
            continue;
        }
        if (restore(copy)) {
            m_recovery->Forget(copy);
            return;
        }
        m_host.showMessage(kRecoveryTitle, withTime(kRecoveryDamaged, copy.savedAt));
        m_recovery->Forget(copy);
    }
}

// The copy loads as a project; it then carries the name it had and counts as unsaved.
bool TForm_Schauplatz::restore(const TRecoveryCopy& copy) {
    try {
        if (!LoadProject(copy.archive)) return false;
    } catch (const std::exception& e) {
        WriteLog(std::string("Wiederherstellung gescheitert: ") + e.what(), 1);
        return false;
    }
    ProjectFile = copy.projectFile;
    m_placement.savedState = 0;
    UpdateCaption();
    return true;
}

// The copy follows the project: kept while it holds unsaved work, removed when there is none.
void TForm_Schauplatz::updateRecovery() {
    if (!m_recovery || !m_recovery->Usable()) return;
    const bool modified = Modified();
    const auto now = std::make_tuple(m_composition.StateId(), ProjectFile, modified);
    if (now == m_recoveryKept) return;
    m_recoveryKept = now;
    if (!modified) {
        m_recovery->Discard();
        return;
    }
    storeFacadeIfUnnamed();
    m_recovery->Keep(TRecoverySnapshot{m_composition.RecordLines(), ProjectFile,
                                       m_composition.AppearanceEntry()});
}

} // namespace schauplatz
