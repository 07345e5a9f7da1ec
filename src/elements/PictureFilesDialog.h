#pragma once

// The texts of the picture dialogs, built from the table of picture formats
// the program reads. The window's dialogs (in the platform layer) show them.

#include <string>
#include <string_view>
#include <vector>

namespace schauplatz {

struct PictureFormat {
    std::string_view extension;   // without the dot, lower case
    std::string_view description; // as the dialogs show it
};

// The formats of the general picture loader, in the order the dialogs list them.
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

// A filter entry as toolkit dialogs expect it: "Alle (*.png *.jpg ...)",
// patterns inside the parentheses separated by spaces.
std::string DialogFilterText(const FileFilterEntry& entry);
// All entries of a filter in that form, joined by ";;".
std::string DialogFilterText(const std::vector<FileFilterEntry>& entries);

inline constexpr std::string_view kPictureDialogTitle = "Bild Laden";
inline constexpr std::string_view kBitmapDefaultExtension = "bmp";

} // namespace schauplatz
