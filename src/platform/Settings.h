#pragma once

// What the program keeps between runs: the folder each kind of dialog was last confirmed in
// and the pattern folder, as "key=value" lines in the user's configuration folder
// ($XDG_CONFIG_HOME/schauplatz/schauplatz.conf, by default ~/.config/...).
//
// The file is a convenience, never a source of errors: one that is missing, unreadable, too
// large or full of nonsense gives the designed start values, and a folder it names that no
// longer exists is not offered. It is written through the project's atomic write routine,
// and only to the user's configuration folder.

#include "MainUnit/FormHost.h"

#include <map>
#include <optional>
#include <string>

namespace schauplatz {

enum class DialogKind {
    PictureOpen, // "Bild Laden": facade and element pictures
    PictureSave, // the BMP save dialog
    ProjectOpen,
    ProjectSave,
    PatternFolder, // the folder chooser; also the list's folder at the next start
};

class Settings {
public:
    // The user's settings file, or "" when the user has no configuration folder (neither an
    // absolute XDG_CONFIG_HOME nor an absolute HOME): then nothing is kept.
    static std::string userSettingsFile();

    // Reads file; "" keeps the settings in memory only and never writes.
    explicit Settings(std::string file = {});

    const std::string& file() const { return m_file; }

    // The remembered folder of a kind, ending in "/", when it still is a folder; else "".
    std::string folder(DialogKind kind) const;
    // Remembers the folder of a confirmed dialog (a chosen file's folder, or the chosen folder)
    // and writes the file. A relative or empty path is ignored; a failed write is logged and
    // otherwise dropped.
    void rememberFolder(DialogKind kind, const std::string& folder);
    // The appearance settings last chosen ("darstellung.*" keys); a key that is missing or
    // malformed gives its neutral value, a number out of range is clamped.
    TAppearance appearance() const;
    // Remembers them and writes the file (when they differ from those kept).
    void rememberAppearance(const TAppearance& settings);
    // The value as read or remembered, whether or not the folder exists (tests).
    std::optional<std::string> value(DialogKind kind) const;

    // The longest file read; a longer one is ignored whole.
    static constexpr std::size_t kMaxFileSize = 64 * 1024;

private:
    void read();
    void write() const;

    std::string m_file;
    // Known keys with their values, and lines of keys this version does not know (kept, so an
    // older program does not drop what a newer one wrote).
    std::map<std::string, std::string> m_values;
};

// The request a dialog of this kind is shown with: the remembered folder as its start, unless
// the window names a place itself (a start folder, or a file offered with its folder).
FileDialogRequest WithRememberedFolder(FileDialogRequest request, DialogKind kind,
                                       const Settings& settings);

// The title of the BMP save dialog, which the window gives none of its own.
inline constexpr const char* kPictureSaveTitle = "Bild speichern";

// The kind of a file dialog the window asks for, known by its designed title (and, for the
// BMP save dialog, which has none, by its filter); none for a dialog this layer does not know.
std::optional<DialogKind> DialogKindOf(const FileDialogRequest& request, bool save);

// The folder part of a chosen file, with its "/".
std::string FolderOf(const std::string& path);

} // namespace schauplatz
