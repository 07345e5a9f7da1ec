#pragma once

// What the main window needs from the desktop it runs on. TForm_Schauplatz is
// platform-free; it reaches dialogs, the clipboard, the event loop and the
// screen only through this interface. The Qt layer implements it for the real
// window; a host without a desktop (a test, a benchmark) gives neutral answers.

#include "MainUnit/HelpPage.h"
#include "raster/Appearance.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace schauplatz {

// The window's parts that can be asked to repaint.
enum class FormComponent {
    ImageSelectedDoor,
    ImageFassade,
    ImageHintergrund,
    ImageUndo,
    ImageCombined,
    WorkingPlaceImage,
    ElementListBox1,
};

// One file dialog as the window describes it. Filter uses the classic
// "Description|*.ext;*.ext|Description|*.ext" form; the host translates it.
struct FileDialogRequest {
    std::string title;
    std::string filter;
    std::string initialFolder;
    std::string fileName;   // offered file name, may be empty
    std::string defaultExt; // appended when the user types none, without "."
    // When set, a save dialog stores here the filter entry the user chose, as the toolkit
    // names it (the picture save dialog decides the file type by it).
    std::string* chosenFilter = nullptr;
};

// A picture handed to the clipboard: 32-bit ARGB pixels, top-down rows.
struct ClipboardPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// The answers to "Das Projekt wurde geändert. Sollen die Änderungen gespeichert werden?".
enum class RestoreAnswer { Restore, Discard, Later };
enum class SaveChangesAnswer { Save, Discard, Cancel };

// The dialog "Darstellung": the settings of the element being placed, edited with a live
// preview. Every change is handed to preview at once; the button "Automatisch an Fassade
// anpassen" asks autoMatch for the suggestion from the settings shown.
struct AppearanceDialogRequest {
    TAppearance initial;
    std::function<void(const TAppearance&)> preview;
    std::function<TAppearance(const TAppearance&)> autoMatch;
};

class FormHost {
public:
    virtual ~FormHost() = default;

    // Dialogs return the chosen path, or "" when the user cancelled.
    virtual std::string openFileDialog(const FileDialogRequest& request) = 0;
    virtual std::string saveFileDialog(const FileDialogRequest& request) = 0;
    virtual std::string selectFolderDialog(const std::string& title,
                                           const std::string& initialFolder) = 0;

    virtual void setClipboardPicture(const ClipboardPicture& picture) = 0;

    // Handles the events that are waiting, then returns (long archive work
    // keeps the window painting this way).
    virtual void processMessages() = 0;

    // A modal message window with one OK button; the zip component shows its
    // own errors this way.
    virtual void showMessage(const std::string& title, const std::string& text) = 0;

    // Paints the component at once. A repaint that may wait is queued by the component
    // itself (its Invalidate goes to its own view host).
    virtual void repaint(FormComponent component) = 0;

    // The window caption changed.
    virtual void captionChanged(const std::string& caption) = 0;
    // A checked state in one of the window's menus changed outside a click.
    virtual void menuStateChanged() = 0;

    // From now on AppEventsIdle runs whenever the event queue runs empty.
    virtual void installIdleHandler() = 0;
    // Whether files dropped on the window reach FormDropFiles.
    virtual void acceptDroppedFiles(bool accept) = 0;
    // The scroll box's ranges follow the workspace bitmap's size.
    virtual void workspaceSizeChanged(int /*width*/, int /*height*/) {}
    // A save or load that runs longer than half a second shows its progress: fraction 0..1,
    // text naming the operation. progressEnded hides it again.
    // A cancellable one (a load) offers "Abbrechen"; progressCancelled then tells whether the
    // user chose it since the progress was shown.
    virtual void progressChanged(const std::string& /*text*/, double /*fraction*/,
                                 bool /*cancellable*/) {}
    virtual bool progressCancelled() { return false; }
    virtual void progressEnded() {}
    // "Ecken eingeben…": the eight coordinates x0, y0, ..., x3, y3 offered for editing; the
    // edited values, or none when the user cancelled.
    virtual std::optional<std::array<std::int32_t, 8>>
    cornerDialog(const std::array<std::int32_t, 8>& /*corners*/) {
        return std::nullopt;
    }
    // The question before changes would be lost, with the buttons "Speichern", "Verwerfen"
    // and "Abbrechen". A host without a user discards.
    virtual SaveChangesAnswer askSaveChanges(const std::string& /*question*/) {
        return SaveChangesAnswer::Discard;
    }
    // The question at start whether work left by a crash is restored: "Wiederherstellen"
    // (the default button) or "Verwerfen"; Later when the question ended without an answer
    // (the session ends meanwhile), so the copy stays for the next start.
    virtual RestoreAnswer askRestore(const std::string& /*question*/) {
        return RestoreAnswer::Later;
    }

    // Desktop integration; the defaults serve hosts without a desktop (tests, the renderer).
    // The pattern folder the window starts with: designed, or a folder the desktop kept from
    // an earlier run that still exists.
    virtual std::string startPatternFolder(const std::string& designed) { return designed; }
    // A page of the "&Hilfe" menu in a window of its own.
    virtual void showHelp(const HelpPage& page) { showMessage(page.title, page.plainText()); }
    // "Darstellung": the settings chosen with OK, or nullopt for "Abbrechen" (the window then
    // puts back the settings it had). A host without a user keeps them.
    virtual std::optional<TAppearance> editAppearance(const AppearanceDialogRequest& /*request*/) {
        return std::nullopt;
    }
    // The settings new elements start with (those last used in an earlier run), and the
    // settings last chosen, to be kept for the next run.
    virtual TAppearance startAppearance() { return {}; }
    virtual void appearanceChosen(const TAppearance& /*settings*/) {}
    // The libraries the program runs on, with version and licence, for the about page.
    virtual std::vector<LibraryNotice> usedLibraries() { return {}; }
};

} // namespace schauplatz
