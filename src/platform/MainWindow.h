#pragma once

// The main window on Qt: builds menus, panels and the scroll box from the
// form's own tables, forwards every user action to TForm_Schauplatz through
// runGuarded, paces its idle handler and implements its host interface.

#include "MainUnit/MainUnit.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QMenu;

namespace schauplatz {

class IdlePump;
class WorkspaceScrollArea;
class WorkspaceStatusBar;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // programFolder: where Muster/ is looked for (the program's own folder
    // unless a test gives another).
    explicit MainWindow(const std::string& programFolder, QWidget* parent = nullptr);
    ~MainWindow() override;

    TForm_Schauplatz& form() { return *m_form; }
    IdlePump& idlePump() { return *m_idle; }
    // The Qt widget that stands for a component of the form.
    QWidget* component(FormComponent which) const;
    QAction* action(const QString& itemName) const;
    QMenu* menu(const QString& menuName) const;

    // Tests answer the file and folder dialogs without showing them: the
    // function gets the dialog's title and returns the chosen path ("" for
    // cancel). An empty function restores the real dialogs.
    using DialogAnswer = std::function<std::string(const std::string& title)>;
    void setDialogAnswerForTesting(DialogAnswer answer) { m_dialogAnswer = std::move(answer); }

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
};

} // namespace schauplatz
