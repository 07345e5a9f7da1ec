// The window's menu tables, as designed: captions, shortcuts, toggles and the
// member each item runs.

#include "MainUnit/MainUnit.h"

namespace schauplatz {

namespace {

ShortCut ctrl(char key) {
    return {true, false, key};
}
ShortCut ctrlAlt(char key) {
    return {true, true, key};
}
ShortCut ctrlShift(char key) {
    return {true, false, key, true};
}

ShortCut named(const char* key) {
    return ShortCut{false, false, std::string(key)};
}

MenuItem item(std::string name, std::string caption, ShortCut key, MenuHandler handler,
              std::vector<ShortCut> moreKeys = {}) {
    MenuItem result;
    result.name = std::move(name);
    result.caption = std::move(caption);
    result.shortCut = std::move(key);
    result.moreShortCuts = std::move(moreKeys);
    result.handler = handler;
    return result;
}

// Toggles start checked.
MenuItem toggle(std::string name, std::string caption, ShortCut key, MenuHandler handler) {
    MenuItem result = item(std::move(name), std::move(caption), std::move(key), handler);
    result.toggle = true;
    result.checked = true;
    return result;
}

MenuItem separator(std::string name) {
    MenuItem result = item(std::move(name), std::string(1, '-'), {}, nullptr);
    result.separator = true;
    return result;
}

Menu fileMenu() {
    using F = TForm_Schauplatz;
    return Menu{
        "Datei1",
        "&Datei",
        true,
        {
            item("NeuesProjekt1", "&Neues Projekt ", ctrl('N'), &F::NeuesProjekt1Click),
            item("Projektladen1", "Projekt laden", ctrl('O'), &F::Projektladen1Click),
            item("Projektspeichern1", "Projekt &speichern", ctrl('S'), &F::Projektspeichern1Click),
            item("Projektspeichernals1", "Projekt speichern als..", ctrlShift('S'),
                 &F::Projektspeichernals1Click),
            separator("N1"),
            item("InZwischenablagekopieren1", "Bild in Zwischenablage kopieren", ctrl('C'),
                 &F::InZwischenablagekopieren1Click),
            item("Bildspeichern1", "Aktuelles Bild speichern", ctrlAlt('S'),
                 &F::Bildspeichern1Click),
        }};
}

Menu facadeMenu() {
    using F = TForm_Schauplatz;
    return Menu{"Fassade1",
                "&Fassade",
                true,
                {item("FassadeLaden1", "Fassade Laden", ctrlAlt('F'), &F::FassadeLaden1Click),
                 item("Fassadenachlinksdrehen1", "Fassade nach links drehen", ctrlAlt('L'),
                      &F::Fassadenachlinksdrehen1Click),
                 item("Fassadenachrechtsdrehen1", "Fassade nach rechts drehen", ctrlAlt('R'),
                      &F::Fassadenachrechtsdrehen1Click)}};
}

Menu elementMenu() {
    using F = TForm_Schauplatz;
    return Menu{
        "Element1",
        "&Element",
        true,
        {
            item("Muster1", "Türen Musterverzeichnis laden", ctrlAlt('O'), &F::Muster1Click),
            separator("N2"),
            toggle("NeuesElementpositionieren1", "Neues Element positionieren", ctrlShift('N'),
                   &F::NeuesElementpositionieren1Click),
            item("Darstellung1", "Darstellung…", ctrl('D'), &F::Darstellung1Click),
            separator("N3"),
            item("Elementbernehmen1", "Element übernehmen", ctrl('U'), &F::Elementbernehmen1Click),
            item("Schrittzurck1", "Schritt zurück", ctrl('Z'), &F::Schrittzurck1Click),
            item("Schrittvor1", "Schritt vor", ctrl('Y'), &F::Schrittvor1Click,
                 {ShortCut{true, false, 'Z', true}}),
            separator("N5"),
            item("Bearbeitungabbrechen1", "Bearbeitung abbrechen", named("Esc"),
                 &F::Bearbeitungabbrechen1Click),
            item("Elemententfernen1", "Element entfernen", named("Del"),
                 &F::Elemententfernen1Click),
            item("Nachvorne1", "Nach vorne", ShortCut{true, false, std::string("PgUp")},
                 &F::Nachvorne1Click),
            item("Nachhinten1", "Nach hinten", ShortCut{true, false, std::string("PgDown")},
                 &F::Nachhinten1Click),
            // Exact placement.
            separator("NEcken"),
            item("Eckeneingeben1", "Ecken eingeben…", ctrl('K'), &F::Eckeneingeben1Click),
        }};
}

Menu viewMenu() {
    using F = TForm_Schauplatz;
    return Menu{"Ansicht1",
                "&Ansicht",
                true,
                {
                    toggle("Vertexanaus1", "Rahmen an/aus", ctrl('R'), &F::Vertexanaus1Click),
                    separator("N4"),
                    // Spelled right on screen; the form names keep the designed spelling.
                    item("rspeigeln1", "Tür spiegeln", ctrlAlt('M'), &F::rspeigeln1Click),
                    // The view scale and the loupe.
                    separator("NZoom"),
                    item("GanzesBild1", "Ganzes Bild", ctrl('0'), &F::GanzesBild1Click),
                    item("Originalgre1", "Originalgröße", ctrl('1'), &F::Originalgre1Click),
                    // Ctrl+= too, where "+" needs Shift.
                    item("Vergrern1", "Vergrößern", ctrl('+'), &F::Vergrern1Click, {ctrl('=')}),
                    item("Verkleinern1", "Verkleinern", ctrl('-'), &F::Verkleinern1Click),
                    separator("NLupe"),
                    toggle("Lupe1", "Lupe", {}, &F::Lupe1Click),
                    // Corners snap onto the facade's corners and edges (Alt held: not).
                    toggle("Einrasten1", "Einrasten", {}, &F::Einrasten1Click),
                }};
}

// Hidden for the whole run, so the zoom stays 1.0 in practice.
Menu zoomMenu() {
    using F = TForm_Schauplatz;
    return Menu{"Zoom1",
                "&Zoom",
                false,
                {
                    item("kleiner", "kleiner", {}, &F::kleinerClick),
                    item("groesser", "grösser", {}, &F::groesserClick),
                    item("Resetzoom", "1:1", {}, &F::ResetzoomClick),
                }};
}

Menu helpMenu() {
    using F = TForm_Schauplatz;
    return Menu{"Hilfe1",
                "&Hilfe",
                true,
                {
                    item("Bedienung1", "Bedienung", ShortCut{false, false, std::string("F1")},
                         &F::Bedienung1Click),
                    item("berVeloraBildkomposition1", "Über Velora Bildkomposition", {},
                         &F::berVeloraBildkomposition1Click),
                }};
}

} // namespace

void TForm_Schauplatz::buildMenus() {
    using F = TForm_Schauplatz;
    m_mainMenu = {fileMenu(), facadeMenu(), elementMenu(), viewMenu(), zoomMenu(), helpMenu()};
    // Nothing to undo, redo or edit yet.
    for (const char* name : {"Schrittzurck1", "Schrittvor1", "Bearbeitungabbrechen1",
                             "Elemententfernen1", "Nachvorne1", "Nachhinten1"})
        Item(name).enabled = false;
    m_popupElement = Menu{"PopupMenuElement",
                          "",
                          true,
                          {item("BildvomElementladen1", "Bild vom Element laden", {},
                                &F::BildvomElementladen1Click)}};
    m_popupFassade = Menu{"PopupMenuFassade",
                          "",
                          true,
                          {item("FassadeLaden2", "Fassade Laden", {}, &F::FassadeLaden1Click)}};
}

} // namespace schauplatz
