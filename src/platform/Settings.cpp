#include "platform/Settings.h"

#include "elements/PictureFilesDialog.h"
#include "project/ProjectNames.h"
#include "support/FileSystem.h"
#include "support/u_logfile.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace schauplatz {

namespace {

constexpr const char* kFileHeader =
    "# Schauplatz: zuletzt benutzte Ordner (vom Programm geschrieben)";
constexpr std::size_t kMaxValueLength = 4096;

const char* keyOf(DialogKind kind) {
    switch (kind) {
    case DialogKind::PictureOpen:
        return "ordner.bild-laden";
    case DialogKind::PictureSave:
        return "ordner.bild-speichern";
    case DialogKind::ProjectOpen:
        return "ordner.projekt-laden";
    case DialogKind::ProjectSave:
        return "ordner.projekt-speichern";
    case DialogKind::PatternFolder:
        return "musterverzeichnis";
    }
    return "";
}

bool absolutePath(const std::string& text) {
    return !text.empty() && text.front() == '/';
}

bool wellFormedKey(const std::string& key) {
    if (key.empty() || key.size() > 64) return false;
    for (const char c : key)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            return false;
    return true;
}

// A value is one line of valid UTF-8 without control characters.
bool wellFormedValue(const std::string& value) {
    if (value.empty() || value.size() > kMaxValueLength) return false;
    for (std::size_t i = 0; i < value.size();) {
        const auto byte = static_cast<unsigned char>(value[i]);
        if (byte < 0x20 || byte == 0x7F) return false;
        std::size_t length = 1;
        if (byte >= 0xF0 && byte <= 0xF4)
            length = 4;
        else if (byte >= 0xE0)
            length = 3;
        else if (byte >= 0xC2 && byte <= 0xDF)
            length = 2;
        else if (byte >= 0x80)
            return false; // a continuation byte or an overlong lead
        if (i + length > value.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(value[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

bool isKnownKey(const std::string& key) {
    for (DialogKind kind :
         {DialogKind::PictureOpen, DialogKind::PictureSave, DialogKind::ProjectOpen,
          DialogKind::ProjectSave, DialogKind::PatternFolder})
        if (key == keyOf(kind)) return true;
    return false;
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

bool isFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

// An absolute folder from the environment variable, or "".
std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

} // namespace

std::string Settings::userSettingsFile() {
    std::string base = absoluteEnv("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = absoluteEnv("HOME");
        if (home.empty()) return {};
        base = withSlash(home) + ".config";
    }
    return withSlash(base) + "schauplatz/schauplatz.conf";
}

Settings::Settings(std::string file) : m_file(std::move(file)) {
    read();
}

void Settings::read() {
    if (m_file.empty()) return;
    struct stat info {};
    if (::stat(m_file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > kMaxFileSize)
        return;
    std::ifstream in(m_file, std::ios::binary);
    if (!in) return;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (!wellFormedKey(key) || !wellFormedValue(value)) continue;
        if (isKnownKey(key) && !absolutePath(value)) continue;
        m_values[key] = value;
    }
}

void Settings::write() const {
    if (m_file.empty()) return;
    try {
        fileSystem().makeDirectories(FolderOf(m_file));
        writeFileAtomically(m_file, [this](WritableFile& out) {
            std::string text = std::string(kFileHeader) + "\n";
            for (const auto& [key, value] : m_values)
                text += key + "=" + value + "\n";
            out.write(text);
        });
    } catch (const std::exception& error) {
        WriteLog(std::string("Einstellungen nicht gespeichert: ") + error.what(), 1);
    }
}

std::optional<std::string> Settings::value(DialogKind kind) const {
    const auto found = m_values.find(keyOf(kind));
    if (found == m_values.end()) return std::nullopt;
    return found->second;
}

std::string Settings::folder(DialogKind kind) const {
    const auto remembered = value(kind);
    if (!remembered || !isFolder(*remembered)) return {};
    return withSlash(*remembered);
}

void Settings::rememberFolder(DialogKind kind, const std::string& folder) {
    const std::string value = withSlash(folder);
    if (!absolutePath(value) || !wellFormedValue(value)) return;
    auto& slot = m_values[keyOf(kind)];
    if (slot == value) return;
    slot = value;
    write();
}

namespace {

constexpr const char* kSmoothKey = "darstellung.glaetten";
constexpr const char* kSideKey = "darstellung.schattenseite";

// The numeric settings with their keys.
struct NumberKey {
    const char* key;
    std::int32_t TAppearance::*field;
};
constexpr NumberKey kNumberKeys[] = {
    {"darstellung.helligkeit", &TAppearance::Brightness},
    {"darstellung.kontrast", &TAppearance::Contrast},
    {"darstellung.farbtemperatur", &TAppearance::Temperature},
    {"darstellung.deckkraft", &TAppearance::Opacity},
    {"darstellung.schatten-tiefe", &TAppearance::ShadowDepth},
    {"darstellung.schatten-staerke", &TAppearance::ShadowDarkness},
};

std::optional<std::int32_t> wholeNumber(const std::string& text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end) return std::nullopt;
    return value;
}

} // namespace

TAppearance Settings::appearance() const {
    TAppearance a;
    const auto valueOf = [this](const char* key) -> const std::string* {
        const auto found = m_values.find(key);
        return found == m_values.end() ? nullptr : &found->second;
    };
    if (const std::string* smooth = valueOf(kSmoothKey)) a.Smooth = *smooth == "ja";
    if (const std::string* side = valueOf(kSideKey))
        a.ShadowSide = *side == "rechts" ? TShadowSide::Right : TShadowSide::Left;
    for (const NumberKey& number : kNumberKeys)
        if (const std::string* text = valueOf(number.key))
            if (const auto value = wholeNumber(*text)) a.*number.field = *value;
    return ClampAppearance(a);
}

void Settings::rememberAppearance(const TAppearance& given) {
    const TAppearance a = ClampAppearance(given);
    std::map<std::string, std::string> values = m_values;
    values[kSmoothKey] = a.Smooth ? "ja" : "nein";
    values[kSideKey] = a.ShadowSide == TShadowSide::Right ? "rechts" : "links";
    for (const NumberKey& number : kNumberKeys)
        values[number.key] = std::to_string(a.*number.field);
    if (values == m_values) return;
    m_values = std::move(values);
    write();
}

FileDialogRequest WithRememberedFolder(FileDialogRequest request, DialogKind kind,
                                       const Settings& settings) {
    const bool offersPlace =
        !request.initialFolder.empty() || request.fileName.find('/') != std::string::npos;
    if (offersPlace) return request;
    request.initialFolder = settings.folder(kind);
    return request;
}

std::optional<DialogKind> DialogKindOf(const FileDialogRequest& request, bool save) {
    if (!save && request.title == kPictureDialogTitle) return DialogKind::PictureOpen;
    if (!save && request.title == kOpenProjectTitle) return DialogKind::ProjectOpen;
    if (save && request.title == kSaveProjectTitle) return DialogKind::ProjectSave;
    // The picture save dialog is the one save dialog the window gives no title.
    if (save && (request.title.empty() || request.title == kPictureSaveTitle))
        return DialogKind::PictureSave;
    return std::nullopt;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace schauplatz
