// The window among the desktop's windows: the file argument and dropped
// files, which open pictures as the open command does; the status panels at
// the window's size; message boxes centred over the window; the file dialog
// in Japanese.
#include <algorithm>
#include <functional>

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFrame>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include "app/application.h"
#include "app/status_panels.h"
#include "gui_test_support.h"
#include "view/image_frame.h"

namespace korvanti::testing {
namespace {

const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
const QString kReadFailure = QStringLiteral("読み込みに失敗しました。");

TEST(CommandLine, ReadsOneFileHelpAndVersion)
{
    const QString program = QStringLiteral("korvanti");
    const QString here = QDir::current().absoluteFilePath(QStringLiteral("a.bmp"));
    struct Case {
        QStringList arguments;
        QString file;
        std::optional<int> exit_status;
        QString output_part;
    };
    const Case cases[] = {
        {{program}, {}, std::nullopt, {}},
        {{program, QStringLiteral("a.bmp")}, here, std::nullopt, {}},
        {{program, QStringLiteral("/p/a.bmp"), QStringLiteral("/p/b.bmp")}, QStringLiteral("/p/a.bmp"), std::nullopt, {}},
        {{program, QStringLiteral("--"), QStringLiteral("/p/-x.bmp")}, QStringLiteral("/p/-x.bmp"), std::nullopt, {}},
        {{program, QStringLiteral("--version")}, {}, 0, QStringLiteral("korvanti 1.0.0\n")},
        {{program, QStringLiteral("--help")}, {}, 0, QStringLiteral("[FILE]")},
        {{program, QStringLiteral("--frame"), QStringLiteral("a.bmp")}, {}, 2, QStringLiteral("frame")},
        {{program, QStringLiteral("--bogus")}, {}, 2, QStringLiteral("'bogus'")},
        {{program, QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("a.bmp")}, here, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        const CommandLine line = ReadCommandLine(c.arguments);
        const std::string name = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(line.file, c.file) << name;
        EXPECT_EQ(line.exit_status, c.exit_status) << name;
        EXPECT_TRUE(line.output.contains(c.output_part)) << name << ": " << line.output.toStdString();
        if (c.exit_status == 2) {
            EXPECT_TRUE(line.output.startsWith(QStringLiteral("korvanti: "))) << name;
            EXPECT_TRUE(line.output.endsWith(QStringLiteral("\nTry 'korvanti --help'.\n"))) << name;
        }
    }
}

class Desktop : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
};

// Every way a picture comes in goes through the same checks and boxes.
TEST_F(Desktop, DialogArgumentAndDropOpenWithTheSameChecksBoxesCaptionAndPanels)
{
    const QString refused = MakeBitmap(QStringLiteral("deep.bmp"), 3, 3, 32);
    const QString missing = QDir(folder->path()).absoluteFilePath(QStringLiteral("missing.bmp"));
    for (const auto& [entry, open] : OpenWays()) {
        SCOPED_TRACE(entry);
        // A name of its own, so that what an earlier entry opened does not count.
        const QString name = QLatin1String(entry) + QStringLiteral(".bmp");
        const QString good = MakeBitmap(name, 4, 2);
        boxes->shown.clear();
        open(good);
        EXPECT_EQ(Caption(), good + kSuffix);
        EXPECT_EQ(window->StatusText(0), QStringLiteral("ファイル名：　") + name);
        EXPECT_EQ(window->StatusText(1), QStringLiteral("解像度：　4 * 2"));
        EXPECT_EQ(window->StatusText(3), QStringLiteral("ファイル形式：ビットマップ(24Bit)"));
        EXPECT_TRUE(Action("toolsMenu")->isEnabled());
        EXPECT_TRUE(boxes->shown.empty());
        for (const QString& bad : {refused, missing}) {
            boxes->shown.clear();
            open(bad);
            ASSERT_EQ(boxes->shown.size(), 1u) << bad.toStdString();
            EXPECT_EQ(boxes->shown[0].text, kReadFailure);
            EXPECT_EQ(boxes->shown[0].caption, QStringLiteral("書き込みエラー"));
            EXPECT_EQ(boxes->shown[0].style, kStyleOk);
            EXPECT_EQ(Caption(), good + kSuffix);
        }
    }
}

TEST_F(Desktop, DropsAnywhereOnTheWindowOpenTheFirstFileAfterThePromptButNotDuringARun)
{
    const QString first = MakeBitmap(QStringLiteral("first.bmp"), 5, 5);
    const QString second = MakeBitmap(QStringLiteral("second.bmp"), 6, 6);
    QWidget* targets[] = {window->image_frame()->viewport(), Find<QWidget>("quickAccessBar"), Find<QStatusBar>("statusBar")};
    for (QWidget* target : targets) {
        window->ClosePicture();
        EXPECT_TRUE(DropOn(target, Files({first, second}))) << target->objectName().toStdString();
        EXPECT_EQ(Caption(), first + kSuffix) << target->objectName().toStdString();
    }
    // Nothing but files is taken.
    EXPECT_FALSE(DropOn(window->image_frame()->viewport(), {QUrl(QStringLiteral("https://www.example.org/a.bmp"))}));

    // With unsaved changes the prompt comes first; Cancel keeps the picture.
    const QString edited = MakeBitmap(QStringLiteral("edited.bmp"), 6, 5);
    Open(edited);
    Apply("sharpen");
    boxes->answers = {kAnswerCancel};
    EXPECT_TRUE(DropOn(window->image_frame()->viewport(), Files({second})));
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].style, kStyleYesNoCancel);
    EXPECT_EQ(Caption(), edited + QStringLiteral(" * ") + kSuffix);

    // While an effect runs nothing is taken.
    bool taken = true;
    RunWatched("sharpen", [&](int pump) {
        if (pump == 1)
            taken = DropOn(window->image_frame()->viewport(), Files({first}));
    });
    QCoreApplication::processEvents();
    EXPECT_FALSE(taken);
    EXPECT_EQ(Caption(), edited + QStringLiteral(" * ") + kSuffix);
    EXPECT_EQ(boxes->shown.size(), 1u);
}

// ---- Status panels ---------------------------------------------------------

TEST_F(Desktop, TheClientAreaHasItsDesignSizeAndEveryStatusPanelShowsItsWholeText)
{
    ASSERT_EQ(window->width(), 696);
    ASSERT_EQ(window->height() - window->menuBar()->height(), 435);
    EXPECT_EQ(window->pos(), QPoint(0, 103));
    EXPECT_EQ(Find<QFrame>("quickAccessBar")->width(), 105);
    EXPECT_EQ(Find<QFrame>("quickAccessTitle")->height(), 17);
    EXPECT_EQ(Find<QFrame>("zoomBox")->height(), 80);
    EXPECT_EQ(Find<QFrame>("progressBox")->height(), 80);
    struct Case {
        int panel;
        QString text;
    };
    // Each text in turn, beside the latest text of every other panel; the
    // seventh row leaves a 99999 x 99999 picture, edited, in screen mode.
    const Case cases[] = {
        {2, QStringLiteral("ファイル：編集済み")},
        {3, QStringLiteral("ファイル形式：ビットマップ(24Bit)")},
        {0, QStringLiteral("ファイル名：　photo-0001-edited.bmp")},
        {0, QStringLiteral("ファイル名：　sample.bmp")},
        {1, QStringLiteral("解像度：　99999 * 99999")},
        {4, QStringLiteral("拡大率：原寸大表示")},
        {4, QStringLiteral("拡大率：スクリーン表示")},
        {1, QStringLiteral("解像度：　4000 * 3000")},
        {1, QStringLiteral("解像度：　1001 * 667")},
        {4, QStringLiteral("拡大率：1677721500%")}, // the largest view of a 1-pixel picture
    };
    const int design_widths[] = {150, 120, 100, 174, 50};
    StatusPanels* panels = window->status_panels();
    const QRect bar = panels->rect();
    // At start: each panel's heading at its design width; the last one takes the rest.
    const char* const headings[] = {"ファイル名：", "解像度：", "編集：", "ファイル形式：", "拡大率："};
    for (int index = 0; index < 5; ++index) {
        EXPECT_EQ(panels->Text(index), QString::fromUtf8(headings[index])) << index;
        EXPECT_NEAR(panels->Panel(index)->width(), index == kZoomPanel ? 696 - 544 : design_widths[index],
                    index == kZoomPanel ? 8 : 0)
            << index;
    }
    for (const Case& c : cases) {
        panels->SetText(c.panel, c.text);
        QCoreApplication::processEvents();
        for (int index = 0; index < 5; ++index) {
            PanelLabel* panel = panels->Panel(index);
            const QRect area = QRect(panel->mapTo(window->statusBar(), QPoint(0, 0)), panel->size());
            const std::string when = c.text.toStdString() + ", panel " + std::to_string(index);
            EXPECT_TRUE(bar.contains(area)) << when;
            EXPECT_GE(panel->contentsRect().width() - panel->indent(),
                      panel->fontMetrics().horizontalAdvance(panels->Text(index)))
                << when;
            EXPECT_GE(panel->width(), design_widths[index]) << when;
        }
    }
}

// ---- Boxes -------------------------------------------------------------------

TEST_F(Desktop, EveryBoxOpensCentredOverTheMainWindow)
{
    // Another window is active, as the file dialog was a moment before.
    QWidget other;
    other.setGeometry(600, 0, 100, 80);
    other.show();
    QApplication::setActiveWindow(&other);
    SetMessageBoxHandler(nullptr); // the real boxes; the fixture puts its own back
    for (BoxStyle style : {kStyleOk, kStyleYesNo, kStyleYesNoCancel}) {
        QWidget* owner = nullptr;
        QPoint centre;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            owner = box->parentWidget();
            centre = box->frameGeometry().center();
            box->close();
        });
        MessageBox(QStringLiteral("書き込みに失敗しました。"), QStringLiteral("書き込みエラー"), style);
        EXPECT_EQ(owner, window.get()) << style;
        EXPECT_LE((centre - window->frameGeometry().center()).manhattanLength(), 2) << style;
    }
}

// Esc on the Yes/No prompt at quit closes it unanswered (as its close box
// does): the window and the edits stay.
TEST_F(Desktop, EscOnTheQuitPromptKeepsTheWindowAndTheEdits)
{
    const QString path = MakeBitmap(QStringLiteral("e.bmp"), 5, 4);
    Open(path);
    Apply("sharpen");
    const Bytes edited = window->document().file_bytes;
    SetMessageBoxHandler(nullptr); // the real boxes; the fixture puts its own back
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    window->Quit();
    EXPECT_TRUE(exits.empty());
    EXPECT_EQ(window->document().file_bytes, edited);
    EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
}

// ---- File dialog -------------------------------------------------------------

// Qt's list already fits its columns to their contents offscreen; what it
// gets wrong without the program's help is the dates' and types' language.
TEST(FileDialog, DatesAndTypesInJapanese)
{
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).absoluteFilePath(QStringLiteral("a.bmp"));
    WriteBitmap(path, 4, 4);
    QDir(folder.path()).mkdir(QStringLiteral("sub"));
    QString date;
    QString folder_type;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* list = dialog->findChild<QTreeView*>();
        const QModelIndex folder_index = list->rootIndex();
        // The folder is read in the background; folders come first.
        ASSERT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(folder_index) == 2; }, 5000));
        folder_type = list->model()->index(0, 2, folder_index).data().toString();
        date = list->model()->index(1, 3, folder_index).data().toString();
        dialog->reject();
    });
    // The dialog opens in the current folder.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    QtFileDialogs().OpenFileName(nullptr);
    QDir::setCurrent(previous);
    EXPECT_EQ(date, QLocale(QLocale::Japanese, QLocale::Japan).toString(QFileInfo(path).lastModified(), QLocale::ShortFormat));
    EXPECT_EQ(folder_type, QStringLiteral("フォルダ"));
}

// The open dialog lists every type the program reads, first together, then
// one by one, in any letter case; the save dialog starts with the filter it
// is given and says which one was chosen.
TEST(FileDialog, OpenListsEveryTypeAndSaveTellsTheFilterChosen)
{
    QTemporaryDir folder;
    for (const char* name : {"a.bmp", "b.JPG", "c.heif", "d.Tiff", "e.txt"})
        WriteFile(QDir(folder.path()).absoluteFilePath(QLatin1String(name)).toStdString(), {});
    QStringList shown_filters;
    QStringList listed;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; i < types->count(); ++i)
            shown_filters << types->itemText(i);
        // The folder is read in the background.
        dialog->setDirectory(folder.path());
        auto* list = dialog->findChild<QTreeView*>();
        (void)QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) >= 4; }, 5000);
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
            listed << list->model()->index(row, 0, list->rootIndex()).data().toString();
        dialog->reject();
    });
    QtFileDialogs().OpenFileName(nullptr);
    EXPECT_EQ(shown_filters,
              (QStringList{QStringLiteral("画像ファイル (*.bmp *.jpg *.jpeg *.png *.webp *.tif *.tiff *.heic *.heif *.avif)"),
                           QStringLiteral("Bitmap(*.bmp)"), QStringLiteral("JPEG (*.jpg *.jpeg)"), QStringLiteral("PNG (*.png)"),
                           QStringLiteral("WebP (*.webp)"), QStringLiteral("TIFF (*.tif *.tiff)"),
                           QStringLiteral("HEIC (*.heic *.heif)"), QStringLiteral("AVIF (*.avif)")}));
    listed.sort();
    EXPECT_EQ(listed.join(QLatin1Char(' ')).toStdString(), "a.bmp b.JPG c.heif d.Tiff");

    QString started_with;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        started_with = types->currentText();
        dialog->setDirectory(folder.path());
        types->setCurrentIndex(1); // JPEG
        dialog->selectFile(QStringLiteral("x"));
        static_cast<QDialog*>(dialog)->accept(); // as the Save button does
    });
    const std::optional<ChosenFile> chosen = QtFileDialogs().SaveFileName(nullptr, QString(), codecs::Format::Png);
    EXPECT_EQ(started_with, QStringLiteral("PNG (*.png)"));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->path, QDir(folder.path()).absoluteFilePath(QStringLiteral("x")));
    EXPECT_EQ(chosen->filter, codecs::Format::Jpeg);
}

} // namespace
} // namespace korvanti::testing
