#include "MainUnit/MainUnit.h"

#include "support/U_SYSTOOLS.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace schauplatz {

namespace {
constexpr const char* kNewProjectName = "Neues Projekt.vbk";
constexpr const char* kCaptionTemplate = "Velora Bildkomposition 2021 [%s]";
constexpr long double kStippleStep = 0.05L;
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
    PatternFolder = m_programFolder + "Muster/Haustüren";
    FillElementList(PatternFolder);
    // The default facade is optional: without it the built-in picture stays.
    const std::string defaultFacade = m_programFolder + "Muster/Fassade/Fassade.jpg";
    std::error_code missing;
    if (std::filesystem::exists(defaultFacade, missing))
        LoadFacade(defaultFacade);
    else
        ImageFassade.Bitmap().Assign(&ImageHintergrund.Bitmap());
    PlaceElementDefault();
    Transformation = std::make_unique<TProjectiveTransformation>();
    SetUpWorkspaceStages();
    RenderElement();
    m_host.installIdleHandler();
    m_host.acceptDroppedFiles(true);
}

void TForm_Schauplatz::FormShow() {
    CaptionTemplate = kCaptionTemplate;
    UpdateCaption();
}

void TForm_Schauplatz::FormDestroy() {
    // The frame layer goes with the workspace view's layer list; nothing is
    // written here.
    Transformation.reset();
}

void TForm_Schauplatz::UpdateCaption() {
    std::string caption = CaptionTemplate;
    if (const auto at = caption.find("%s"); at != std::string::npos)
        caption.replace(at, 2, ProjectFile);
    if (caption == m_caption) return;
    m_caption = std::move(caption);
    m_host.captionChanged(m_caption);
}

void TForm_Schauplatz::ResetProject() {
    ProjectFile = kNewProjectName;
    ProjectData.clear();
    DiscardUndo();
    UpdateCaption();
}

void TForm_Schauplatz::AppEventsIdle() {
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
    if (ProjectBusy()) return;
    ResetProject();
    ViewPictureLoaded();
    FassadeLaden1Click();
}

void TForm_Schauplatz::ImageFassadeDblClick() {
    FassadeLaden1Click();
}

} // namespace schauplatz
