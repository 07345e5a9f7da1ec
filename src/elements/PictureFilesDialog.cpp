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
        {"heic", "HEIC-Grafikdatei"},
        {"heif", "HEIF-Grafikdatei"},
        {"avif", "AVIF-Grafikdatei"},
        {"webp", "WebP-Grafikdatei"},
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

std::vector<FileFilterEntry> PictureSaveFilterEntries() {
    return {{"Bitmaps", {"*.bmp"}},
            {"Portable Network Graphics", {"*.png"}},
            {"JPEG-Grafikdatei", {"*.jpg", "*.jpeg"}}};
}

std::string PictureSaveFilter() {
    std::vector<std::string> entries;
    for (const FileFilterEntry& entry : PictureSaveFilterEntries()) {
        const std::string patterns = join(entry.patterns, ";");
        entries.push_back(entry.description + " (" + patterns + ")|" + patterns);
    }
    return join(entries, "|");
}

int PictureSaveFilterIndex(std::string_view chosenFilter) {
    const std::vector<FileFilterEntry> entries = PictureSaveFilterEntries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FileFilterEntry& entry = entries[i];
        const std::string classic = entry.description + " (" + join(entry.patterns, ";") + ")";
        if (chosenFilter == entry.description || chosenFilter == DialogFilterText(entry) ||
            chosenFilter == classic)
            return static_cast<int>(i);
    }
    return -1;
}

PictureSaveTarget ChoosePictureSaveTarget(const std::string& path, int filterIndex) {
    static constexpr PictureFileType kTypes[] = {PictureFileType::Bmp, PictureFileType::Png,
                                                 PictureFileType::Jpeg};
    static constexpr const char* kExtensions[] = {".bmp", ".png", ".jpg"};
    const std::size_t chosen =
        filterIndex >= 0 && filterIndex < 3 ? static_cast<std::size_t>(filterIndex) : 0;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart || dot == nameStart)
        return {kTypes[chosen], path + kExtensions[chosen]};
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (extension == "bmp") return {PictureFileType::Bmp, path};
    if (extension == "png") return {PictureFileType::Png, path};
    if (extension == "jpg" || extension == "jpeg") return {PictureFileType::Jpeg, path};
    return {kTypes[chosen], path};
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
