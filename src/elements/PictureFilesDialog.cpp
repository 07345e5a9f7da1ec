#include "elements/PictureFilesDialog.h"

namespace schauplatz {
namespace {

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) joined += separator;
        joined += parts[i];
    }
    return joined;
}

std::string pattern(std::string_view extension) {
    return "*." + std::string(extension);
}

} // namespace

const std::vector<PictureFormat>& PictureFormats() {
    static const std::vector<PictureFormat> formats = {
        {"png", "Portable Network Graphics"},
        {"jpg", "JPEG-Grafikdatei"},
        {"jpeg", "JPEG-Grafikdatei"},
        {"bmp", "Bitmaps"},
        {"ico", "Symbole"},
        {"emf", "Erweiterte Metadateien"},
        {"wmf", "Metadateien"},
    };
    return formats;
}

std::vector<FileFilterEntry> PictureDialogFilterEntries() {
    std::vector<FileFilterEntry> entries;
    FileFilterEntry all{"Alle", {}};
    for (const PictureFormat& format : PictureFormats()) {
        all.patterns.push_back(pattern(format.extension));
    }
    entries.push_back(all);
    for (const PictureFormat& format : PictureFormats()) {
        entries.push_back({std::string(format.description), {pattern(format.extension)}});
    }
    return entries;
}

std::string PictureDialogFilter() {
    // "%s (%s)|%1:s|" for all formats, then "%s (*.%s)|*.%1:s" per format joined by "|".
    const std::vector<FileFilterEntry> entries = PictureDialogFilterEntries();
    const std::string allPatterns = join(entries.front().patterns, ";");
    std::string filter =
        entries.front().description + " (" + allPatterns + ")|" + allPatterns + "|";
    std::vector<std::string> single;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const std::string& patterns = entries[i].patterns.front();
        single.push_back(entries[i].description + " (" + patterns + ")|" + patterns);
    }
    return filter + join(single, "|");
}

std::vector<FileFilterEntry> BitmapSaveFilterEntries() {
    return {{"Bitmaps", {"*.bmp"}}};
}

std::string BitmapSaveFilter() {
    return "Bitmaps (*.bmp)|*.bmp";
}

std::string DialogFilterText(const FileFilterEntry& entry) {
    return entry.description + " (" + join(entry.patterns, " ") + ")";
}

std::string DialogFilterText(const std::vector<FileFilterEntry>& entries) {
    std::vector<std::string> texts;
    for (const FileFilterEntry& entry : entries)
        texts.push_back(DialogFilterText(entry));
    return join(texts, ";;");
}

} // namespace schauplatz
