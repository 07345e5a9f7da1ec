#include "platform/MainWindow.h"

#include "platform/GuardedCall.h"
#include "platform/HelpWindow.h"
#include "platform/IdlePump.h"
#include "platform/QtFormHost.h"
#include "platform/Settings.h"
#include "platform/WorkspaceStatusBar.h"
#include "platform/elementlist/ElementListWidget.h"
#include "platform/view/PaintBoxHost.h"
#include "platform/view/WorkspaceScrollArea.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSlider>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace schauplatz {

namespace {

// Design sizes of the window, in pixels.
constexpr int kDesignWidth = 1113;
constexpr int kDesignHeight = 848;
constexpr int kElementListWidth = 193;
constexpr int kElementListMargin = 3;
constexpr int kSidePanelWidth = 178;
constexpr int kSidePictureHeight = 118;
constexpr int kLabelHeight = 13;
constexpr int kSelectedDoorMargin = 5;
constexpr int kPanel2Height = 96;
constexpr int kProjectDataWidth = 464;
constexpr int kPanel3Height = 20;
constexpr int kDashStride = 4;

// System colours fixed to the classic defaults so pixels match on any theme.
const QColor kButtonFace(0xF0, 0xF0, 0xF0);

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QLabel* panelLabel(QWidget* parent, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setFixedHeight(kLabelHeight);
    return label;
}

// The widget's context menu request shows menu at the pointer (while context lives).
void popUpOnRequest(QWidget* widget, QMenu* menu, QObject* context) {
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, context,
                     [widget, menu](const QPoint& at) { menu->popup(widget->mapToGlobal(at)); });
}

// The record lists' panel (hidden).
QFrame* recordListPanel(QWidget* parent) {
    auto* panel2 = new QFrame(parent);
    panel2->setObjectName("Panel2");
    panel2->setFixedHeight(kPanel2Height);
    auto* panel2Layout = new QHBoxLayout(panel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    auto* projectData = new QPlainTextEdit(panel2);
    projectData->setObjectName("ProjectData");
    projectData->setReadOnly(true);
    projectData->setFixedWidth(kProjectDataWidth);
    auto* loadStore = new QPlainTextEdit(panel2);
    loadStore->setObjectName("LoadStore");
    loadStore->setReadOnly(true);
    panel2Layout->addWidget(projectData);
    panel2Layout->addWidget(loadStore, 1);
    panel2->hide();
    return panel2;
}

// The opacity slider's panel (hidden).
QFrame* opacityPanel(QWidget* parent) {
    auto* panel3 = new QFrame(parent);
    panel3->setObjectName("Panel3");
    panel3->setFixedHeight(kPanel3Height);
    auto* opacityLabel = new QLabel("  Opacity:", panel3);
    opacityLabel->move(0, 3);
    auto* opacity = new QSlider(Qt::Horizontal, panel3);
    opacity->setObjectName("OpacityBar");
    opacity->setRange(0, 255);
    opacity->setValue(255);
    opacity->setGeometry(72, 3, 213, 16);
    panel3->hide();
    return panel3;
}

} // namespace

MainWindow::MainWindow(const std::string& programFolder, QWidget* parent)
    : MainWindow(programFolder, nullptr, parent) {}

MainWindow::MainWindow(const std::string& programFolder, std::unique_ptr<Settings> settings,
                       QWidget* parent)
    : QMainWindow(parent), m_host(std::make_unique<Host>(*this)),
      m_form(std::make_unique<TForm_Schauplatz>(*m_host, programFolder)),
      m_settings(settings ? std::move(settings) : std::make_unique<Settings>()) {
    setObjectName("Form_Schauplatz");
    QFont font = this->font();
    font.setFamilies({"Tahoma", "DejaVu Sans", "Liberation Sans", "Arial"});
    font.setPixelSize(11);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kButtonFace);
    setPalette(palette);
    resize(kDesignWidth, kDesignHeight);

    // Mouse, paint and resize calls into the views are handlers too.
    PaintBoxHost::setDispatchGuard([](const std::function<void()>& call) { runGuarded(call); });
    m_idle = new IdlePump([this] { m_form->AppEventsIdle(); }, this);
    // Without the marching frame there is nothing to do while idle: the pump rests.
    m_idle->setWanted([this] { return m_form->IdleWanted(); });
    m_idle->setPassesPerWake(kDashStride);
    buildLayout();
    buildMenuBar();
    setErrorDialogParent(this);

    // Creation runs once every component exists, as the form expects.
    runGuarded([this] { m_form->FormCreate(); });
}

MainWindow::~MainWindow() {
    m_idle->stop();
    runGuarded([this] { m_form->FormDestroy(); });
    // The view hosts point at the form's pictures: they go before the form.
    m_components.clear();
    delete takeCentralWidget();
}

QWidget* MainWindow::component(FormComponent which) const {
    const auto found = m_components.find(which);
    return found == m_components.end() ? nullptr : found->second;
}

QAction* MainWindow::action(const QString& itemName) const {
    const auto found = m_actions.find(itemName.toStdString());
    return found == m_actions.end() ? nullptr : found->second;
}

QMenu* MainWindow::menu(const QString& menuName) const {
    return findChild<QMenu*>(menuName);
}

void MainWindow::buildLayout() {
    auto* central = new QWidget(this);
    auto* rows = new QVBoxLayout(central);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    auto* listColumn = new QVBoxLayout;
    listColumn->setContentsMargins(kElementListMargin, kElementListMargin, kElementListMargin,
                                   kElementListMargin);
    auto* list = new ElementListWidget(m_form->ElementListBox1, central);
    list->setObjectName("ElementListBox1");
    list->setFixedWidth(kElementListWidth);
    list->OnItemDblClick = [this](int index) {
        runGuarded([this, index] { m_form->ElementListBox1ItemDblClick(index); });
    };
    listColumn->addWidget(list);
    m_components[FormComponent::ElementListBox1] = list;
    columns->addLayout(listColumn);

    columns->addWidget(buildSidePanel());

    // The workspace at its view scale; the marching frame and a dragged element change small
    // parts, only those reach the screen.
    m_scrollBox = new WorkspaceScrollArea(*m_form, central);
    m_scrollBox->setObjectName("ScrollBox1");
    m_scrollBox->viewport()->setObjectName("WorkingPlaceImage");
    m_scrollBox->Dispatch = [](const std::function<void()>& call) { runGuarded(call); };
    m_scrollBox->OnStatusChanged = [this] { updateStatus(); };
    // The dashes move a tenth of a pixel per idle pass; the pump runs four passes per wake
    // and the view shows the fourth: the dashes keep their speed at a quarter of the repaints.
    m_form->WorkingPlaceImage.SetDashStride(kDashStride);
    m_components[FormComponent::WorkingPlaceImage] = m_scrollBox->viewport();
    columns->addWidget(m_scrollBox, 1);
    rows->addLayout(columns, 1);

    // Two bottom panels that exist for the record lists and the opacity
    // slider and stay hidden for the whole run.
    rows->addWidget(recordListPanel(central));
    rows->addWidget(opacityPanel(central));

    setCentralWidget(central);
    m_statusBar = new WorkspaceStatusBar(this);
    setStatusBar(m_statusBar);
}

void MainWindow::updateStatus() {
    if (m_statusBar) m_statusBar->showStatus(m_form->ViewStatus());
}

QWidget* MainWindow::buildSidePanel() {
    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFixedWidth(kSidePanelWidth);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    layout->addWidget(panelLabel(panel, "Ausgewähltes Element"));
    auto* doorBox = new QVBoxLayout;
    doorBox->setContentsMargins(kSelectedDoorMargin, kSelectedDoorMargin, kSelectedDoorMargin,
                                kSelectedDoorMargin);
    auto* door = new PaintBoxHost(m_form->ImageSelectedDoor, panel);
    door->setObjectName("ImageSelectedDoor");
    doorBox->addWidget(door);
    layout->addLayout(doorBox, 1);
    m_components[FormComponent::ImageSelectedDoor] = door;

    struct Lower {
        const char* label;
        const char* name;
        FormComponent component;
        TCustomImage32& view;
    };
    const Lower lower[] = {
        {"Fassade (original)", "ImageFassade", FormComponent::ImageFassade, m_form->ImageFassade},
        {"Aktuell", "ImageHintergrund", FormComponent::ImageHintergrund, m_form->ImageHintergrund},
        {"Undo", "ImageUndo", FormComponent::ImageUndo, m_form->ImageUndo},
        {"Vorschau", "ImageCombined", FormComponent::ImageCombined, m_form->ImageCombined},
    };
    for (const Lower& entry : lower) {
        layout->addWidget(panelLabel(panel, entry.label));
        auto* picture = new PaintBoxHost(entry.view, panel);
        picture->setObjectName(entry.name);
        picture->setFixedHeight(kSidePictureHeight);
        layout->addWidget(picture);
        m_components[entry.component] = picture;
    }

    // Context menus and the double click on the facade.
    m_popupElement = buildContextMenu(m_form->PopupMenuElement());
    m_popupFassade = buildContextMenu(m_form->PopupMenuFassade());
    popUpOnRequest(door, m_popupElement, this);
    popUpOnRequest(m_components[FormComponent::ImageFassade], m_popupFassade, this);
    return panel;
}

void MainWindow::buildMenuBar() {
    for (const Menu& table : m_form->MainMenu1()) {
        QMenu* target = menuBar()->addMenu(qs(table.caption));
        target->setObjectName(qs(table.name));
        addMenuItems(target, table);
        target->menuAction()->setVisible(table.visible);
    }
}

QMenu* MainWindow::buildContextMenu(const Menu& table) {
    auto* popup = new QMenu(this);
    popup->setObjectName(qs(table.name));
    addMenuItems(popup, table);
    return popup;
}

void MainWindow::addMenuItems(QMenu* target, const Menu& table) {
    const auto& menus = m_form->MainMenu1();
    int menuIndex = -1;
    for (int m = 0; m < static_cast<int>(menus.size()); ++m)
        if (&menus[static_cast<std::size_t>(m)] == &table) menuIndex = m;

    for (int i = 0; i < static_cast<int>(table.items.size()); ++i) {
        const MenuItem& item = table.items[static_cast<std::size_t>(i)];
        if (item.separator) {
            target->addSeparator()->setObjectName(qs(item.name));
            continue;
        }
        QAction* action = target->addAction(qs(item.caption));
        action->setObjectName(qs(item.name));
        if (item.toggle) {
            action->setCheckable(true);
            action->setChecked(item.checked);
        }
        if (!item.shortCut.empty()) {
            const QKeySequence key(qs(item.shortCut.text()));
            // Qt fires neither of two actions sharing a key, so only the item
            // the key reaches gets it; the other shows it as text only.
            if (menuIndex >= 0 && ReachedByShortCut(menus, {menuIndex, i})) {
                QList<QKeySequence> keys{key};
                for (const ShortCut& more : item.moreShortCuts)
                    keys.append(QKeySequence(qs(more.text())));
                action->setShortcuts(keys);
                action->setShortcutContext(Qt::WindowShortcut);
            } else {
                action->setText(qs(item.caption) + '\t' + key.toString(QKeySequence::NativeText));
            }
        }
        action->setEnabled(item.enabled);
        const std::string name = item.name;
        connect(action, &QAction::triggered, this, [this, name] { clickItem(name); });
        addAction(action); // keys work while the menu bar is closed
        m_actions[name] = action;
    }
}

void MainWindow::clickItem(const std::string& name) {
    runGuarded([this, &name] { m_form->ClickMenuItem(name); });
    syncMenuState();
    updateStatus();
}

void MainWindow::syncMenuState() {
    for (auto& [name, action] : m_actions) {
        try {
            const MenuItem& item = m_form->Item(name);
            action->setEnabled(item.enabled);
            if (action->isCheckable()) action->setChecked(item.checked);
        } catch (const std::out_of_range&) {
        }
    }
}

// An archive operation keeps the event loop running further down the stack; closing the
// window then would destroy the form under it. A load is cancelled (which changes nothing), a
// save runs to its end; the close is retried until the operation has ended.
void MainWindow::closeEvent(QCloseEvent* event) {
    constexpr int kCloseRetryMs = 50;
    if (m_form->ProjectBusy()) {
        event->ignore();
        m_form->ZipArchive1.RequestCancel();
        if (!m_closePending) {
            m_closePending = true;
            QTimer::singleShot(kCloseRetryMs, this, [this] {
                m_closePending = false;
                close();
            });
        }
        return;
    }
    // At the end of the session (a termination signal) nothing is asked: the recovery copy
    // keeps unsaved work.
    bool mayClose = true;
    if (!m_sessionEnding) {
        mayClose = false;
        runGuarded([this, &mayClose] { mayClose = m_form->FormCloseQuery(); });
    }
    if (!mayClose) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::closeAtSessionEnd() {
    m_sessionEnding = true;
    runGuarded([this] { m_form->KeepRecoveryAtExit(); });
    close();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return;
    runGuarded([this] { m_form->FormShow(); });
    // The keyboard starts at the workspace: Tab picks a corner, the arrow keys move it.
    m_scrollBox->setFocus(Qt::OtherFocusReason);
    updateStatus();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasUrls()) return;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    if (const QMimeData* data = event->mimeData())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    if (paths.empty()) return;
    event->acceptProposedAction();
    // A dropped project is loaded; pictures become the element as before.
    runGuarded([this, &paths] { m_form->DropFiles(paths); });
}

} // namespace schauplatz
