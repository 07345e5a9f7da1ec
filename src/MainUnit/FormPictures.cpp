// The window's picture commands: the facade, the element from a file, the composite as a
// BMP file and the background on the clipboard.

#include "MainUnit/MainUnit.h"

#include "elements/PictureExport.h"
#include "elements/PictureFiles.h"
#include "elements/PictureFilesDialog.h"
#include "elements/StoredPicture.h"

namespace schauplatz {

namespace {

constexpr int kFacadeMaxWidth = 1920;
constexpr int kFacadeMaxHeight = 1080;
// Title of the message that a chosen picture cannot be used.
constexpr const char* kPictureMessageTitle = "Bild Laden";
constexpr const char* kPictureSaveTitle = "Bild speichern";

} // namespace

void TForm_Schauplatz::LoadFacade(const std::string& path) {
    TBitmap32 picture;
    ReadPictureFile(picture, path);
    showFacade(path, picture);
}

// The facade as loaded, reduced to fit 1920 x 1080, starts a new record list and a new
// history; the element being placed is drawn over it at once.
void TForm_Schauplatz::showFacade(const std::string& path, const TBitmap32& picture) {
    Zoom = 1.0f;
    TBitmap32& facade = ImageFassade.Bitmap();
    {
        TUpdateBracket bracket(facade);
        picture.CopyPixelsTo(facade);
    }
    facade.Changed();
    ImageFassade.FitToSize(kFacadeMaxWidth, kFacadeMaxHeight);
    ImageFassade.Invalidate();
    auto fitted = std::make_shared<TBitmap32>();
    fitted->Assign(&facade);
    m_composition.SetFacade(path, std::move(fitted));
    ShowComposition();
    SizeWorkspace();
    ViewPictureLoaded();
    renderQuietly();
}

bool TForm_Schauplatz::EnterFacade(const std::string& path) {
    EnteredPicture entered = EnterPicture(path, PictureRole::Facade, ProjectFolders().PictureSet());
    if (!entered.usable()) {
        m_host.showMessage(kPictureMessageTitle, entered.message);
        return false;
    }
    showFacade(entered.recordPath, entered.picture);
    return true;
}

bool TForm_Schauplatz::EnterElement(const std::string& path, bool quiet) {
    EnteredPicture entered =
        EnterPicture(path, PictureRole::Element, ProjectFolders().PictureSet());
    if (!entered.usable()) {
        if (!quiet) m_host.showMessage(kPictureMessageTitle, entered.message);
        return false;
    }
    showElementPicture(entered.recordPath, entered.picture);
    return true;
}

void TForm_Schauplatz::showElementPicture(const std::string& path, const TBitmap32& picture) {
    TBitmap32& door = ImageSelectedDoor.Bitmap();
    ++m_placement.elementPicture;
    m_placement.mirrored = false;
    {
        TUpdateBracket bracket(door);
        picture.CopyPixelsTo(door);
    }
    door.Changed();
    ImageSelectedDoor.Invalidate();
    m_host.repaint(FormComponent::ImageSelectedDoor);
    ElementFile = path;
    ClearQuadSelection();
    renderQuietly();
}

// Rendering the element never reports (a picture one pixel wide or high draws nothing).
void TForm_Schauplatz::renderQuietly() {
    try {
        RenderElement();
    } catch (const std::exception&) {
    }
}

void TForm_Schauplatz::turnFacade(bool toTheRight) {
    if (CommandRefused() || Editing() || !m_composition.Elements().empty()) return;
    const QuarterTurn turn = toTheRight ? QuarterTurn::Right : QuarterTurn::Left;
    const std::string store = ProjectFolders().PictureSet();
    EnteredPicture entered =
        m_composition.FacadePath().empty()
            ? StorePicture(TurnedPicture(m_composition.Facade(), turn), "Fassade", store)
            : TurnFacade(m_composition.FacadePath(), turn, store);
    if (!entered.usable()) {
        m_host.showMessage(kPictureMessageTitle, entered.message);
        return;
    }
    showFacade(entered.recordPath, entered.picture);
}

void TForm_Schauplatz::Fassadenachlinksdrehen1Click() {
    turnFacade(false);
}

void TForm_Schauplatz::Fassadenachrechtsdrehen1Click() {
    turnFacade(true);
}

// The shared picture dialog: all formats first, the last chosen file offered again. Returns
// the chosen path, or "" when the user cancelled.
static std::string askForPicture(FormHost& host, std::string& lastFile) {
    FileDialogRequest request;
    request.title = std::string(kPictureDialogTitle);
    request.filter = PictureDialogFilter();
    request.fileName = lastFile;
    std::string chosen = host.openFileDialog(request);
    if (!chosen.empty()) lastFile = chosen;
    return chosen;
}

void TForm_Schauplatz::FassadeLaden1Click() {
    if (CommandRefused() || !ConfirmLosingChanges()) return;
    const std::string path = askForPicture(m_host, m_placement.lastPictureFile);
    if (!path.empty()) EnterFacade(path);
}

void TForm_Schauplatz::BildvomElementladen1Click() {
    if (CommandRefused()) return;
    const std::string path = askForPicture(m_host, m_placement.lastPictureFile);
    if (!path.empty()) EnterElement(path, false);
}

// The picture as a BMP (the default, every pixel exactly), a PNG or a JPEG, by the type
// chosen in the dialog or the name's extension. The element being placed is part of it only
// when the user has moved or changed it since it was offered: the copy an acceptance parks
// at its default place is not.
void TForm_Schauplatz::Bildspeichern1Click() {
    FileDialogRequest request;
    request.title = kPictureSaveTitle;
    request.filter = PictureSaveFilter();
    request.defaultExt = std::string(kBitmapDefaultExtension);
    std::string chosenFilter;
    request.chosenFilter = &chosenFilter;
    const std::string path = m_host.saveFileDialog(request);
    if (path.empty()) return;
    const PictureSaveTarget target =
        ChoosePictureSaveTarget(path, PictureSaveFilterIndex(chosenFilter));
    // What the user sees: the element only when it was moved or changed since it was
    // offered, and the preview current even while the frame is hidden.
    if (!ElementTouched()) {
        WritePictureFile(ImageHintergrund.Bitmap(), target.path, target.type);
        return;
    }
    // The picture saved always shows the smooth rendering, never the drag's stand-in.
    FinishSmoothRendering();
    UpdatePreview();
    WritePictureFile(ImageCombined.Bitmap(), target.path, target.type);
}

// Other programs paste the background as the screen shows it: its colour channels, opaque.
void TForm_Schauplatz::InZwischenablagekopieren1Click() {
    const TBitmap32& background = ImageHintergrund.Bitmap();
    ClipboardPicture picture;
    picture.width = background.Width();
    picture.height = background.Height();
    const std::size_t count =
        static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
    picture.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        picture.pixels[i] = background.Bits()[i] | 0xFF000000u;
    m_host.setClipboardPicture(picture);
}

} // namespace schauplatz
