// The window's picture commands: the facade, the element from a file, the composite as a
// BMP file and the background on the clipboard.

#include "MainUnit/MainUnit.h"

#include "elements/PictureFiles.h"
#include "elements/PictureFilesDialog.h"

namespace schauplatz {

namespace {

constexpr int kFacadeMaxWidth = 1920;
constexpr int kFacadeMaxHeight = 1080;

} // namespace

void TForm_Schauplatz::LoadFacade(const std::string& path) {
    Zoom = 1.0f;
    ReadPictureFile(ImageFassade.Bitmap(), path);
    ImageFassade.FitToSize(kFacadeMaxWidth, kFacadeMaxHeight);
    ImageFassade.Invalidate();
    ImageHintergrund.Bitmap().Assign(&ImageFassade.Bitmap());
    ++m_placement.backgroundGeneration;
    SizeWorkspace();
    WorkingPlaceImage.Invalidate();
    ProjectData.clear();
    ProjectData.push_back(path);
    // The undo picture belongs to the previous facade.
    DiscardUndo();
    ViewPictureLoaded();
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
    if (ProjectBusy()) return;
    const std::string path = askForPicture(m_host, m_placement.lastPictureFile);
    if (!path.empty()) LoadFacade(path);
}

void TForm_Schauplatz::BildvomElementladen1Click() {
    if (ProjectBusy()) return;
    const std::string path = askForPicture(m_host, m_placement.lastPictureFile);
    if (!path.empty()) LoadElementPicture(path);
}

void TForm_Schauplatz::Bildspeichern1Click() {
    FileDialogRequest request;
    request.filter = BitmapSaveFilter();
    request.defaultExt = std::string(kBitmapDefaultExtension);
    const std::string path = m_host.saveFileDialog(request);
    if (path.empty()) return;
    WriteBitmapFile(ImageCombined.Bitmap(), path);
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
