#pragma once

// The texts of the picture dialogs, built from the table of picture formats
// the program reads. The window's dialogs (in the platform layer) show them.

#include "elements/PictureExport.h"

#include <string>
#include <string_view>
#include <vector>

namespace schauplatz {

struct PictureFormat {
    std::string_view extension;   // without the dot, lower case
    std::string_view description; // as the dialogs show it
};

// The formats the picture dialog lists, in its order: first those of the general picture
// loader (png, jpg, jpeg, bmp, ico, emf, wmf), then those read when the user loads a
// picture (heic, heif, avif, webp).
const std::vector<PictureFormat>& PictureFormats();

// One entry of a file dialog's filter: a description and its patterns.
struct FileFilterEntry {
    std::string description;           // "Alle", "Portable Network Graphics", ...
    std::vector<std::string> patterns; // "*.png", ...
    bool operator==(const FileFilterEntry&) const = default;
};

// The picture dialog "Bild Laden": first "Alle" with the patterns of every
// format, then one entry per format in table order. The first entry is the
// one selected at first.
std::vector<FileFilterEntry> PictureDialogFilterEntries();

// The same filter in the classic form "Alle (*.png;...)|*.png;...|Portable
// Network Graphics (*.png)|*.png|...", entries and patterns separated by "|".
std::string PictureDialogFilter();

// The BMP save dialog: "Bitmaps" with "*.bmp", default extension "bmp".
std::vector<FileFilterEntry> BitmapSaveFilterEntries();
std::string BitmapSaveFilter(); // "Bitmaps (*.bmp)|*.bmp"

// "Aktuelles Bild speichern": Bitmaps first (the default), then PNG and JPEG. The classic
// form is "Bitmaps (*.bmp)|*.bmp|Portable Network Graphics (*.png)|*.png|
// JPEG-Grafikdatei (*.jpg;*.jpeg)|*.jpg;*.jpeg".
std::vector<FileFilterEntry> PictureSaveFilterEntries();
std::string PictureSaveFilter();

// The entry of the save filter a dialog reports as chosen, given as its description, its
// toolkit text ("Portable Network Graphics (*.png)") or its classic text; -1 when it is
// none of them.
int PictureSaveFilterIndex(std::string_view chosenFilter);

// Where and how "Aktuelles Bild speichern" writes. The name's extension decides when it is
// one of bmp, png, jpg, jpeg (in any case); a name without extension gets the chosen
// entry's (".bmp", ".png", ".jpg") and its type; any other extension keeps the name and
// takes the chosen entry's type. filterIndex is the entry chosen in the dialog (-1 or out
// of range: Bitmaps).
struct PictureSaveTarget {
    PictureFileType type = PictureFileType::Bmp;
    std::string path;
    bool operator==(const PictureSaveTarget&) const = default;
};
PictureSaveTarget ChoosePictureSaveTarget(const std::string& path, int filterIndex);

// A filter entry as toolkit dialogs expect it: "Alle (*.png *.jpg ...)",
// patterns inside the parentheses separated by spaces.
std::string DialogFilterText(const FileFilterEntry& entry);
// All entries of a filter in that form, joined by ";;".
std::string DialogFilterText(const std::vector<FileFilterEntry>& entries);

inline constexpr std::string_view kPictureDialogTitle = "Bild Laden";
inline constexpr std::string_view kBitmapDefaultExtension = "bmp";

} // namespace schauplatz
