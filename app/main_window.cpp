// The main window put together: menus, the hidden tool bar, the quick access
// bar beside the image view, the status bar, size and position.
#include "app/main_window.h"

#include <cstdlib>

#include <QAction>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QToolBar>

#include "app/about_box.h"
#include "app/file_drop.h"
#include "app/quick_access_bar.h"
#include "app/status_panels.h"
#include "view/image_frame.h"

namespace korvanti {
namespace {

constexpr int kClientWidth = 696;
constexpr int kClientHeight = 435;

} // namespace

MainWindow::MainWindow(std::unique_ptr<FileDialogs> dialogs)
    : exit_process([](int status) { std::_Exit(status); }),
      open_url([](const QUrl& url) { QDesktopServices::openUrl(url); }),
      scratch_path(DefaultScratchPath()),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtFileDialogs>())
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kStartCaption);
    setFont(WindowFont(12));

    BuildMenus();
    BuildToolBar();
    auto* central = new QWidget(this);
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    quick_access_bar_ = new QuickAccessBar;
    layout->addWidget(quick_access_bar_);
    image_frame_ = new ImageFrame(central);
    layout->addWidget(image_frame_, 1);
    setCentralWidget(central);
    status_panels_ = new StatusPanels(this);
    setStatusBar(status_panels_);
    ConnectQuickAccessBar();
    UpdateActions();

    // The client area is measured below the menu bar.
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    move(0, 103);

    AddDesktopHabits();
    RebuildRecentFilesMenu();
    RestoreLayout();

    about_box_ = std::make_unique<AboutBox>(this);
    new FileDropTarget(
        this, [this] { return !context_.Running(); }, [this](const QString& path) { OpenDroppedFile(path); });
}

MainWindow::~MainWindow() = default;

// The tool bar: hidden, and nothing ever shows it.
void MainWindow::BuildToolBar()
{
    tool_bar_ = new QToolBar(this);
    tool_bar_->setObjectName(QStringLiteral("toolBar"));
    tool_bar_->setFixedHeight(29);
    tool_bar_->setMovable(false);
    tool_bar_->toggleViewAction()->setEnabled(false);
    QAction* save = tool_bar_->addAction(QStringLiteral("Save"));
    save->setObjectName(QStringLiteral("saveToolButton"));
    save->setVisible(false);
    tool_bar_->addSeparator();
    tool_bar_->addAction(QString());
    tool_bar_->addSeparator();
    for (int i = 0; i < 3; ++i)
        tool_bar_->addAction(QString());
    addToolBar(Qt::TopToolBarArea, tool_bar_);
    tool_bar_->hide();
}

void MainWindow::ConnectQuickAccessBar()
{
    connect(quick_access_bar_->close_button(), &QPushButton::clicked, this, &MainWindow::HideQuickAccessBar);
    connect(quick_access_bar_->zoom_box_close_button(), &QPushButton::clicked, this, &MainWindow::HideZoomBox);
    connect(quick_access_bar_->zoom_slider(), &QSlider::valueChanged, this, &MainWindow::ZoomToSlider);
    connect(quick_access_bar_->progress_box_close_button(), &QPushButton::clicked, this,
            &MainWindow::HideProgressBox);
    connect(quick_access_bar_->cancel_button(), &QPushButton::clicked, this, &MainWindow::CancelEffect);
}

QMenu* MainWindow::createPopupMenu()
{
    return nullptr; // nothing ever shows the tool bar
}

ImageControl* MainWindow::image_control() const { return image_frame_->image_control(); }

void MainWindow::SetStatusText(int panel, const QString& text) { status_panels_->SetText(panel, text); }

QString MainWindow::StatusText(int panel) const { return status_panels_->Text(panel); }

} // namespace korvanti
