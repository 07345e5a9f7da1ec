#include "MainUnit/HelpPage.h"

#include <map>

namespace schauplatz {

namespace {

// The names Qt's German key texts give the named keys, so the help and the menus agree;
// the others (F1, Esc, Tab, Return) are the same in both languages.
std::string germanKeyName(const std::string& named) {
    static const std::map<std::string, std::string> kNames = {
        {"PgUp", "Bild aufwärts"},
        {"PgDown", "Bild abwärts"},
        {"Del", "Entf"},
        {"Ins", "Einfg"},
        {"Home", "Pos1"},
        {"End", "Ende"},
        {"Up", "Hoch"},
        {"Down", "Herunter"},
        {"Left", "Links"},
        {"Right", "Rechts"},
        {"Space", "Leertaste"},
        {"Backspace", "Rücktaste"},
    };
    const auto found = kNames.find(named);
    return found == kNames.end() ? named : found->second;
}

// "„Element übernehmen“ (Strg+U)": an item as the workflow text names it, with its key when
// the key reaches it; "" when the table has no such item.
std::string itemWithKey(const std::vector<Menu>& menus, const std::string& name) {
    const auto pos = FindMenuItem(menus, name);
    if (!pos) return {};
    const MenuItem& item =
        menus[static_cast<std::size_t>(pos->menu)].items[static_cast<std::size_t>(pos->item)];
    std::string text = "„" + PlainCaption(item.caption) + "“";
    if (ReachedByShortCut(menus, *pos)) text += " (" + GermanKeyText(item.shortCut) + ")";
    return text;
}

// The workflow, one step a line; "{Name}" stands for the menu item of that form name.
const char* const kWorkflow[] = {
    "Eine Fassade laden: {FassadeLaden1} im Menü „Fassade“ oder ein Doppelklick auf das Bild "
    "„Fassade (original)“. {NeuesProjekt1} beginnt ein neues Projekt und fragt gleich nach der "
    "Fassade.",
    "Ein Element wählen: Doppelklick auf ein Bild der Elementliste links, oder das Bild "
    "anklicken und die Eingabetaste drücken. Ein anderes Musterverzeichnis öffnet {Muster1}.",
    "Das Element einpassen: die vier Eckpunkte des Rahmens auf die Ecken der Öffnung ziehen; "
    "wird innerhalb des Rahmens gezogen, verschiebt sich das ganze Element. {rspeigeln1} "
    "spiegelt es, {Vertexanaus1} blendet den Rahmen aus und wieder ein.",
    "Genau einpassen: {GanzesBild1} zeigt die ganze Fassade, {Vergrern1} und {Verkleinern1} "
    "ändern die Ansicht, eine Lupe zeigt die gezogene Ecke vergrößert. Ein Klick auf eine Ecke "
    "oder die Tabulatortaste wählt sie, die Pfeiltasten verschieben sie um ein Bildpixel (mit "
    "Umschalt um zehn); {Eckeneingeben1} nimmt die Ecken als Zahlen.",
    "Ecken finden lassen: mit {Einrasten1} springt eine gezogene Ecke auf die nächste Ecke oder "
    "Kante der Fassade (Alt gedrückt halten: frei ziehen). Strg+Klick in eine Tür- oder "
    "Fensteröffnung passt das Element in sie ein; Esc gleich danach nimmt das zurück.",
    "Das Element übernehmen: {Elementbernehmen1} fügt es in das Bild ein, {Schrittzurck1} nimmt "
    "die letzte Übernahme zurück.",
    "Das Element wie eingebaut zeigen: {Darstellung1} glättet vor dem Übernehmen Kanten und "
    "Verkleinerung, passt Helligkeit, Kontrast und Farbtemperatur (auch automatisch an die "
    "Fassade) und die Deckkraft an und legt einen Schatten in die Laibung. Neue Elemente "
    "erhalten die zuletzt gewählte Darstellung.",
    "Das Ergebnis sichern: {Projektspeichern1} oder {Projektspeichernals1} speichert die "
    "Komposition als Projektdatei (.vbk), {Bildspeichern1} das Bild als BMP-Datei; "
    "{InZwischenablagekopieren1} legt das Bild in die Zwischenablage.",
    "Ein Projekt wieder öffnen: {Projektladen1}, die .vbk-Datei auf das Fenster ziehen oder sie "
    "beim Start angeben (schauplatz PROJEKT.vbk). Bilder, die auf das Fenster gezogen werden, "
    "werden zum Element.",
};

const std::pair<const char*, const char*> kWorkspaceKeys[] = {
    {"Tab oder Umschalt+Tab", "Arbeitsfläche › nächste oder vorige Ecke, dann das ganze Element"},
    {"Pfeiltasten", "Arbeitsfläche › die gewählte Ecke um ein Bildpixel verschieben"},
    {"Umschalt+Pfeiltasten", "Arbeitsfläche › die gewählte Ecke um zehn Bildpixel verschieben"},
    {"Esc", "Arbeitsfläche › eine Einpassung zurücknehmen, sonst die Wahl aufheben, wenn "
            "keine Bearbeitung abzubrechen ist"},
    {"Strg+Klick", "Arbeitsfläche › das Element in die Tür- oder Fensteröffnung einpassen"},
    {"Alt beim Ziehen einer Ecke", "Arbeitsfläche › nicht einrasten"},
    {"Strg+Mausrad", "Arbeitsfläche › vergrößern oder verkleinern an der Mausposition"},
    {"Mittlere Maustaste oder Leertaste mit linker Maustaste",
     "Arbeitsfläche › die Ansicht verschieben"},
};

std::string fillItems(const std::vector<Menu>& menus, std::string text) {
    for (std::size_t open = text.find('{'); open != std::string::npos; open = text.find('{')) {
        const std::size_t close = text.find('}', open);
        if (close == std::string::npos) break;
        text.replace(open, close - open + 1,
                     itemWithKey(menus, text.substr(open + 1, close - open - 1)));
    }
    return text;
}

HelpSection workflowSection(const std::vector<Menu>& menus) {
    HelpSection section;
    section.heading = "So entsteht eine Bildkomposition";
    int number = 0;
    for (const char* step : kWorkflow)
        section.paragraphs.push_back(std::to_string(++number) + ". " + fillItems(menus, step));
    return section;
}

HelpSection shortCutSection(const std::vector<Menu>& menus) {
    HelpSection section;
    section.heading = "Tastenkürzel";
    for (int m = 0; m < static_cast<int>(menus.size()); ++m) {
        const Menu& menu = menus[static_cast<std::size_t>(m)];
        if (!menu.visible) continue;
        for (int i = 0; i < static_cast<int>(menu.items.size()); ++i) {
            const MenuItem& item = menu.items[static_cast<std::size_t>(i)];
            if (item.separator || !ReachedByShortCut(menus, {m, i})) continue;
            std::string keys = GermanKeyText(item.shortCut);
            for (const ShortCut& more : item.moreShortCuts)
                if (FindShortCutTarget(menus, more) == MenuPosition{m, i})
                    keys += " oder " + GermanKeyText(more);
            section.rows.emplace_back(keys, PlainCaption(menu.caption) + " › " +
                                                PlainCaption(item.caption));
        }
    }
    // The keys and buttons of the workspace that no menu item carries.
    for (const auto& [keys, action] : kWorkspaceKeys)
        section.rows.emplace_back(keys, action);
    section.rows.emplace_back("Eingabetaste", "Elementliste › das markierte Bild wird zum Element");
    return section;
}

HelpSection logSection(const std::string& logFile) {
    HelpSection section;
    section.heading = "Protokoll";
    if (logFile.empty()) {
        section.paragraphs.push_back(
            "Es wird kein Protokoll geschrieben: weder der Programmordner noch der Ordner "
            "~/.local/state/schauplatz/log/ ist beschreibbar.");
    } else {
        section.paragraphs.push_back("Das Programm schreibt sein Protokoll (eine Datei je Monat) "
                                     "nach " +
                                     logFile + ".");
        section.paragraphs.push_back("Nach einem Absturz liegt dort auch ein Fehlerbericht "
                                     "(absturz-….txt).");
    }
    return section;
}

} // namespace

std::string GermanKeyText(const ShortCut& key) {
    if (key.empty()) return {};
    std::string result;
    if (key.ctrl) result += "Strg+";
    if (key.alt) result += "Alt+";
    if (key.shift) result += "Umschalt+";
    if (key.key != 0)
        result += key.key;
    else
        result += germanKeyName(key.named);
    return result;
}

std::string PlainCaption(const std::string& caption) {
    std::string plain;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            // "&&" is a literal "&"; a single "&" only marks the mnemonic letter.
            if (i + 1 < caption.size() && caption[i + 1] == '&') plain += caption[++i];
            continue;
        }
        plain += caption[i];
    }
    const auto first = plain.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return plain.substr(first, plain.find_last_not_of(' ') - first + 1);
}

std::string HelpPage::plainText() const {
    std::string text;
    for (const HelpSection& section : sections) {
        if (!text.empty()) text += '\n';
        if (!section.heading.empty())
            text += section.heading + '\n' + std::string(section.heading.size(), '-') + '\n';
        for (const std::string& paragraph : section.paragraphs)
            text += paragraph + '\n';
        for (const auto& [left, right] : section.rows)
            text += left + ": " + right + '\n';
    }
    return text;
}

HelpPage MakeHelpPage(const std::vector<Menu>& menus, const std::string& logFile) {
    HelpPage page;
    page.title = "Bedienung";
    page.sections = {workflowSection(menus), shortCutSection(menus), logSection(logFile)};
    return page;
}

HelpPage MakeAboutPage(const std::string& version, const std::vector<LibraryNotice>& libraries) {
    HelpPage page;
    page.title = "Über Velora Bildkomposition";
    HelpSection program;
    program.heading = "Velora Bildkomposition 2021";
    program.paragraphs = {
        "Version " + version + " (Schauplatz)",
        "Türen und Fenster perspektivisch in Fassadenfotos einsetzen.",
        "Lizenz des Programms: proprietär. Alle Rechte bei Velora; die Nutzung richtet sich nach "
        "dem Lizenzvertrag mit Velora.",
    };
    page.sections.push_back(std::move(program));
    if (!libraries.empty()) {
        HelpSection used;
        used.heading = "Verwendete Bibliotheken";
        used.paragraphs.push_back("Das Programm verwendet diese freien Bibliotheken unter ihren "
                                  "eigenen Lizenzen:");
        for (const LibraryNotice& library : libraries)
            used.rows.emplace_back(library.version.empty() ? library.name
                                                           : library.name + " " + library.version,
                                   library.licence);
        page.sections.push_back(std::move(used));
    }
    return page;
}

} // namespace schauplatz
