#pragma once

// The main window on Qt: builds menus, panels and the scroll box from the
// form's own tables, forwards every user action to TForm_Schauplatz through
// runGuarded, paces its idle handler and implements its host interface.

#include "MainUnit/MainUnit.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QMenu;

namespace schauplatz {

class HelpWindow;
class IdlePump;
class WorkspaceScrollArea;
class WorkspaceStatusBar;
class Settings;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // programFolder: where Muster/ is looked for (the program's own folder
    // unless a test gives another).
    explicit MainWindow(const std::string& programFolder, QWidget* parent = nullptr);
    // With the places kept between runs (the last folder of each dialog, the pattern folder);
    // without, nothing is remembered beyond this window.
    MainWindow(const std::string& programFolder, std::unique_ptr<Settings> settings,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The project named on the command line, loaded once the window is up; one that cannot
    // be loaded gives the load's message and leaves a new project.
    void openProjectAtStart(const std::string& path);
    Settings& settings() { return *m_settings; }
    // The window of a "&Hilfe" page, by its title; nullptr before it was first shown.
    HelpWindow* helpWindow(const QString& title) const;

    TForm_Schauplatz& form() { return *m_form; }
    IdlePump& idlePump() { return *m_idle; }
    // The Qt widget that stands for a component of the form.
    QWidget* component(FormComponent which) const;
    QAction* action(const QString& itemName) const;
    QMenu* menu(const QString& menuName) const;

    // The dialog seam: with a function set, the file and folder dialogs are answered by it
    // instead of being shown (a scripted session drives the window so). The function gets the
    // dialog's title and returns the chosen path ("" for cancel). The questions are answered
    // the same way, by a button's text: before unsaved changes would be lost "Speichern",
    // "Verwerfen" or "Abbrechen" ("" discards); at start "Wiederherstellen" (anything else
    // discards). An empty function restores the real dialogs.
    using DialogAnswer = std::function<std::string(const std::string& title)>;
    void setDialogAnswer(DialogAnswer answer) { m_dialogAnswer = std::move(answer); }

    // Closes without asking about unsaved changes (the session ends); their recovery copy
    // stays for the next start.
    void closeAtSessionEnd();
    // Keeps recovery copies of unsaved work in folder, and offers those a crash left there.
    void offerRecovery(const std::string& folder);

protected:
    void showEvent(QShowEvent* event) override;
    // Waits for a running save or load: the window closes once it has ended.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class Host;
    friend class Host;

    void buildLayout();
    QWidget* buildSidePanel();
    void buildMenuBar();
    void addMenuItems(QMenu* target, const Menu& table);
    QMenu* buildContextMenu(const Menu& table);
    void clickItem(const std::string& name);
    void syncMenuState();
    void updateStatus();

    std::unique_ptr<Host> m_host;
    std::unique_ptr<TForm_Schauplatz> m_form;
    IdlePump* m_idle = nullptr;
    std::map<FormComponent, QWidget*> m_components;
    std::map<std::string, QAction*> m_actions;
    WorkspaceScrollArea* m_scrollBox = nullptr;
    WorkspaceStatusBar* m_statusBar = nullptr;
    QMenu* m_popupElement = nullptr;
    QMenu* m_popupFassade = nullptr;
    DialogAnswer m_dialogAnswer;
    bool m_closePending = false;
    bool m_sessionEnding = false;
    std::unique_ptr<Settings> m_settings;
    std::map<QString, HelpWindow*> m_helpWindows; // children of the window
};

} // namespace schauplatz
