#pragma once

// TForm_Schauplatz: the main window without its platform. It holds the
// editing state, the record lists, the menu tables and every handler; the
// host (FormHost) supplies dialogs, clipboard, event processing and repaints.
//
// Life cycle: construct -> FormCreate -> FormShow (first showing) -> commands,
// mouse, idle -> FormDestroy -> destruct.

#include "MainUnit/BuiltinBackground.h"
#include "MainUnit/FormHost.h"
#include "MainUnit/FormPlacementState.h"
#include "MainUnit/FormSnapState.h"
#include "MainUnit/FormViewState.h"
#include "MainUnit/FormWorkspaceView.h"
#include "MainUnit/MenuTable.h"
#include "MainUnit/WorkspaceScreen.h"
#include "ZAMBasicImage/ZAMBasicImage.h"
#include "composition/TComposition.h"
#include "elements/ElementListBox.h"
#include "project/TRecoveryStore.h"
#include "project/TZipArchive.h"
#include "raster/Transformation.h"
#include "raster/view/Image32.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace schauplatz {

class TForm_Schauplatz {
public:
    // programFolder: the folder of the running program, ending in "/"; the
    // pattern folder and the default facade are found beside it.
    TForm_Schauplatz(FormHost& host, std::string programFolder);
    ~TForm_Schauplatz();
    TForm_Schauplatz(const TForm_Schauplatz&) = delete;
    TForm_Schauplatz& operator=(const TForm_Schauplatz&) = delete;

    // --- Life cycle -------------------------------------------------------
    void FormCreate();
    void FormShow(); // every showing; the caption is set from the first one on
    void FormDestroy();

    // --- State record (public so the platform layer and tests can read it) --
    std::string ElementFile;
    std::string ProjectFile;
    std::string CaptionTemplate;
    std::string WorkFolder;
    std::int32_t ActiveVertex = -1;
    std::int32_t LastMouseX = 0;
    std::int32_t LastMouseY = 0;
    float Zoom = 1.0f;
    float StippleCounter = 0.0f;
    std::string PatternFolder;
    bool ShowFrame = true;
    // Maps the element picture onto the quad; exists from FormCreate to FormDestroy.
    std::unique_ptr<TProjectiveTransformation> Transformation;
    std::array<QuadPoint, 4> Vertices{}; // top left, top right, bottom right, bottom left

    // --- Pictures: each view owns its bitmap; the window owns the views -----
    TImage32 ImageSelectedDoor;          // the element picture
    TZAMBasicImage ImageFassade;         // the facade as loaded
    TZAMBasicImage ImageHintergrund;     // the background: facade with accepted elements
    TZAMBasicImage ImageUndo;            // the background before the last acceptance
    TZAMBasicImage ImageCombined;        // the preview
    TWorkspaceImage32 WorkingPlaceImage; // the workspace: only the element in perspective
    // The pattern folder's pictures as a column of thumbnails.
    TElementListBox ElementListBox1;
    // The project archive component (save and load).
    TZipArchive ZipArchive1;

    // Record lists: line 0 the facade path, then one line per placed element.
    std::vector<std::string> ProjectData;
    std::vector<std::string> LoadStore;

    // The project as a document: facade, placed elements, the background they give and the
    // history of changes. ProjectData, ImageHintergrund and ImageUndo follow it.
    const TComposition& Composition() const { return m_composition; }

    // The window caption ("" until the first showing).
    const std::string& Caption() const { return m_caption; }
    const std::string& ProgramFolderPath() const { return m_programFolder; }
    // The picture the background starts with.
    const BuiltinPicture& BuiltinPictureData() const { return BuiltinBackground(); }

    // --- Menus ------------------------------------------------------------
    const std::vector<Menu>& MainMenu1() const { return m_mainMenu; }
    const Menu& PopupMenuElement() const { return m_popupElement; }
    const Menu& PopupMenuFassade() const { return m_popupFassade; }
    // The item by form name in any of the window's menus; throws
    // std::out_of_range for an unknown name.
    MenuItem& Item(const std::string& name);
    const MenuItem& Item(const std::string& name) const;
    // A click on a menu item: a toggle flips Checked, then its handler runs.
    void ClickMenuItem(const std::string& name);
    // Told the item name of every click, after a toggle flipped and before
    // the handler runs (diagnostics and tests).
    std::function<void(const std::string&)> OnMenuItemClick;
    // A key press: runs the item the shortcut reaches; false when none.
    bool ShortCutPressed(const ShortCut& key);

    // --- Operations ---------------------------------------------------------
    void UpdateCaption();
    void ResetProject();
    void LoadElementPicture(const std::string& path);
    void RenderElement();
    void UpdateTransformation();
    void PlaceElementDefault();
    void SizeWorkspace();
    void RefreshWorkspace();
    void CombineHintergrundAndOverlay();
    void FillElementList(const std::string& folder);
    void LoadFacade(const std::string& path);
    // A picture the user chose as facade or element (dialog, list, drop): read as the user
    // sees it (photos upright, today's formats, an element's transparency) and kept in the
    // picture store when its file would not rebuild it. An unusable picture keeps the current
    // one and, unless quiet, says why in a message. False when it was not used.
    bool EnterFacade(const std::string& path);
    bool EnterElement(const std::string& path, bool quiet);
    // Stage list and frame layer of the workspace view (start-up, once).
    void SetUpWorkspaceStages();
    // The idle pass's preview: built only when the background or the workspace bitmap
    // changed since the last build.
    void UpdatePreview();
    // Shows what the composition changed: the background's changed areas, the record list,
    // the undo picture and the menu items that depend on the history.
    void ShowComposition();
    // The element being placed as the composition keeps it: its path for the record line,
    // its picture (shared while it is unchanged) and the quad.
    TPlacedElement CurrentElement();
    // Whether the project differs from what was last saved or loaded (the caption then ends
    // in " *").
    bool Modified() const;
    // Asked before changes would be lost (closing, a new project, another project or
    // facade): true when the command may go on, after saving when the user chose so.
    bool ConfirmLosingChanges();
    // Crash recovery: from now on a copy of unsaved work is kept in folder (the user's
    // private recovery folder); OfferRecovery asks whether copies left by instances that
    // ended without cleaning up are restored. KeepRecoveryAtExit: the session ends with the
    // work unsaved, its copy stays for the next start.
    void EnableRecovery(const std::string& folder);
    void OfferRecovery();
    void KeepRecoveryAtExit();
    TRecoveryStore* Recovery() { return m_recovery.get(); }
    // The window is about to close: false keeps it open (the user cancelled, or the save the
    // user asked for failed).
    bool FormCloseQuery();
    // Whether the element being placed was moved or changed since it was last offered at its
    // default place (the saved picture shows it only then).
    bool ElementTouched() const;
    // True while an element taken up by a double click is being edited.
    bool Editing() const { return m_composition.TakenUp().has_value(); }
    // Takes up the topmost placed element drawn at (X, Y), in picture pixels; false when none
    // is drawn there.
    bool TakeUpElementAt(int X, int Y);
    // Commands that change the project or the composite are refused (do nothing) while an
    // archive operation runs or a corner or the quad is being dragged.
    bool CommandRefused() const;
    // The instance's folders (work folder and picture store), made on first use.
    TProjectFolders& ProjectFolders();
    // Project files: save under Name ("Neues Projekt.vbk" asks for a name), load and rebuild,
    // replay one accepted element. True while an archive operation runs: the commands that
    // change the project or its pictures then do nothing.
    // True when the project file was written.
    bool SaveProject(const std::string& Name);
    // True when the project was loaded; a load that fails changes nothing (and throws, or
    // showed the archive's message).
    bool LoadProject(const std::string& FileName);
    void ReplayElement(const std::string& Path, std::int32_t X0, std::int32_t Y0, std::int32_t X1,
                       std::int32_t Y1, std::int32_t X2, std::int32_t Y2, std::int32_t X3,
                       std::int32_t Y3);
    bool ProjectBusy() const;

    // --- Handlers -----------------------------------------------------------
    void NeuesProjekt1Click();
    void Projektladen1Click();
    void Projektspeichern1Click();
    void Projektspeichernals1Click();
    void InZwischenablagekopieren1Click();
    void Bildspeichern1Click();
    void FassadeLaden1Click();
    void Fassadenachlinksdrehen1Click();
    void Fassadenachrechtsdrehen1Click();
    void Muster1Click();
    void NeuesElementpositionieren1Click();
    void Elementbernehmen1Click();
    void Schrittzurck1Click();
    void Schrittvor1Click();
    void Bearbeitungabbrechen1Click();
    void Elemententfernen1Click();
    void Nachvorne1Click();
    void Nachhinten1Click();
    // "Darstellung…" (Ctrl+D): the appearance dialog for the element being placed
    // (FormAppearance.cpp).
    void Darstellung1Click();
    void Vertexanaus1Click();
    void rspeigeln1Click();
    void kleinerClick();
    void groesserClick();
    void ResetzoomClick();
    void BildvomElementladen1Click();
    void ImageFassadeDblClick();
    void ElementListBox1ItemDblClick(int index);
    void FormDropFiles(const std::vector<std::string>& paths);
    // "&Hilfe": the operating help (F1) and the about page (FormHelp.cpp).
    void Bedienung1Click();
    void berVeloraBildkomposition1Click();
    // Projects from outside the window (FormOpenFiles.cpp). OpenProjectFile loads a project
    // as "Projekt laden" does and tells whether it was loaded; OpenStartProject is the
    // command line's: a project that cannot be loaded leaves a new, empty project.
    // DropFiles: a dropped project file is loaded, dropped pictures go to FormDropFiles.
    bool OpenProjectFile(const std::string& path);
    void OpenStartProject(const std::string& path);
    void DropFiles(const std::vector<std::string>& paths);
    // The application's idle handler: runs when the event queue ran empty.
    void AppEventsIdle();
    // Workspace view: mouse (client pixels = workspace pixels), paint stages, frame layer.
    void RubberLayerMouseDown(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                              int Y, TCustomLayer* Layer);
    void RubberLayerMouseMove(TCustomImage32* Sender, TShiftState Shift, int X, int Y,
                              TCustomLayer* Layer);
    void RubberLayerMouseUp(TCustomImage32* Sender, TMouseButton Button, TShiftState Shift, int X,
                            int Y, TCustomLayer* Layer);
    void WorkingPlaceImagePaintStage(TCustomImage32* Sender, TBitmap32& Buffer, unsigned StageNum);
    void PaintFrameLayer(TCustomLayer& Sender, TBitmap32& Buffer);
    // The settings the element being placed is drawn with; SetElementAppearance draws it
    // anew with them (the dialog's live preview).
    const TAppearance& ElementAppearance() const { return m_placement.appearance; }
    void SetElementAppearance(const TAppearance& settings);
    // The smooth rendering replaces the stand-in drawn while a corner moved (the mouse was
    // released, or rested); nothing when none is waiting.
    void FinishSmoothRendering();
    // True while the workspace shows the stand-in without smoothing.
    bool SmoothRenderingPending() const { return m_placement.smoothPending; }
    // The opacity slider moved to Position (0..255).
    void OpacityChange(int Position);

    // --- View scale, loupe, corner selection and entry (FormViewScale.cpp, FormNudge.cpp) ---
    // The workspace as the window shows it (scale, scrolling, loupe); screen pixels.
    TWorkspaceScreen WorkspaceScreen{WorkingPlaceImage};
    void GanzesBild1Click();
    void Originalgre1Click();
    void Vergrern1Click();
    void Verkleinern1Click();
    void Lupe1Click();
    void Eckeneingeben1Click();
    // Tab (forwards) and Shift+Tab: corner 0, 1, 2, 3, the whole quad, and round again.
    void SelectNextCorner(bool Backwards);
    // The arrow keys: the selected corner or the whole quad by (DX, DY) picture pixels.
    void NudgeSelection(std::int32_t DX, std::int32_t DY);
    // The eight coordinates x0, y0, ..., x3, y3 as one change of the quad.
    void ApplyCornerEntry(const std::array<std::int32_t, 8>& Corners);
    std::int32_t QuadSelection() const { return m_view.Selection; }
    void ClearQuadSelection();
    // A facade or project was loaded, or a new project begun: the view shows it whole when it
    // does not fit, and nothing is selected.
    void ViewPictureLoaded();
    // Whether the idle handler has anything to do (otherwise the program need not wake).
    bool IdleWanted() const;
    TViewStatus ViewStatus() const;

    // --- Assisted placement (FormSnapping.cpp) ----------------------------------------------
    // "Einrasten": a dragged corner snaps onto the facade's corners and edges (not while Alt
    // is held); Ctrl+click on the workspace fits the element into the opening around it.
    void Einrasten1Click();
    // The edges and corners of the facade shown, once the worker found them; null before.
    std::shared_ptr<const placementaid::TFacadeFeatures> FacadeFeatures() const;
    // Waits until the worker is done with the facade shown (asking for it first when the idle
    // pass has not yet); true when its features are ready.
    bool WaitForFacadeFeatures();
    // Escape right after a one-click fit: the quad it replaced comes back. False (nothing
    // changes) when the quad was changed since, or there was no fit.
    bool UndoOpeningFit();

private:
    void buildMenus();
    void updateHistoryItems();
    // The element taken up goes back to the current element's place: offered again at its
    // default place, as after an acceptance.
    void endEdit();
    void showWholeBackground();
    void storeFacadeIfUnnamed();
    void placeCurrentElement();
    void keepElementFile(const std::string& newSet);
    void showFacade(const std::string& path, const TBitmap32& picture);
    void showElementPicture(const std::string& path, const TBitmap32& picture);
    void turnFacade(bool toTheRight);
    void renderQuietly();
    void showWorkspaceBlended(bool blended);
    void markElementOffered();
    void markSaved();
    void updateRecovery();
    bool restore(const TRecoveryCopy& copy);
    std::string recordedElementPath();
    void setUpPictures();
    MenuItem* findItem(const std::string& name);

    FormHost& m_host;
    std::string m_programFolder;
    std::string m_caption;
    std::vector<Menu> m_mainMenu;
    Menu m_popupElement;
    Menu m_popupFassade;
    PlacementState m_placement;
    bool m_projectLoading = false; // a load is replaying its pictures
    TComposition m_composition;
    std::unique_ptr<TRecoveryStore> m_recovery;
    // What the recovery copy was last told: the state, the project's name, and whether it
    // held unsaved work.
    std::tuple<std::uint64_t, std::string, bool> m_recoveryKept{0, "", false};
    FormViewState m_view;
    void setUpWorkspaceScreen();
    // The corner whose grab zone holds the press at picture pixel (X, Y), or -1.
    std::int32_t cornerAt(int X, int Y) const;
    std::array<std::int32_t, 8> cornerValues() const;
    void facadeShown();
    void startFacadeFeatures();
    void beginSnapDrag();
    QuadPoint snappedVertex(TShiftState Shift);
    void endSnapDrag();
    void fitOpeningAt(int X, int Y);
    // Last: the worker is stopped and joined before anything else goes.
    FormSnapState m_snap;
};

} // namespace schauplatz
