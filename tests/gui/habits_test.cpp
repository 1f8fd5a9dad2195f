// What a desktop user expects beside the menus: the standard shortcuts, Esc
// for Cancel, Ctrl + wheel and pinch zoom, the clipboard, the recent files
// and the layout kept from one start to the next.
#include <tuple>

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

#include "app/picture_files.h"
#include "app/quick_access_bar.h"
#include "app/settings.h"
#include "app/status_panels.h"
#include "gui_test_support.h"
#include "view/image_control.h"
#include "view/image_frame.h"
#include "view/zoom.h"

namespace korvanti::testing {
namespace {

const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");

class Habits : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Show();
    }
    void Show(bool restart = false)
    {
        if (restart)
            StartWindow();
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // The names of the actions fn triggers, in order.
    std::vector<std::string> Triggered(const std::function<void()>& fn)
    {
        std::vector<std::string> fired;
        std::vector<QMetaObject::Connection> connections;
        for (QAction* action : window->findChildren<QAction*>())
            connections.push_back(QObject::connect(action, &QAction::triggered, [&fired, action] {
                fired.push_back(action->objectName().toStdString());
            }));
        fn();
        for (const auto& connection : connections)
            QObject::disconnect(connection);
        return fired;
    }
    std::vector<std::string> Press(const QKeySequence& keys)
    {
        return Triggered([&] { QTest::keySequence(window.get(), keys); });
    }
    void Wheel(int delta, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QWidget* view = window->image_frame()->viewport();
        const QPointF at(10, 10);
        QWheelEvent wheel(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &wheel);
    }
    int ShownWidth() const { return window->image_control()->width(); }
    QStringList RecentItems() const
    {
        QStringList items;
        for (QAction* item : Find<QMenu>("recentFilesMenu")->actions())
            items << item->text() + QLatin1Char('|') + item->toolTip();
        return items;
    }
};

// Each shortcut runs its menu command, obeying its enabled state, and the
// menu shows the first of its keys.
TEST_F(Habits, ShortcutsRunTheirMenuCommands)
{
    const QString path = MakeBitmap(QStringLiteral("keys.bmp"), 8, 6);
    Open(path);
    Apply("sharpen"); // edited, undo enabled
    // Keys, command, the keys the menu shows; in an order that keeps the
    // picture open to the end.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"Ctrl+C", "copyAction", "Ctrl+C"},         {"Ctrl+V", "pasteAction", "Ctrl+V"},
        {"Ctrl++", "zoomInAction", "Ctrl++"},       {"Ctrl+=", "zoomInAction", "Ctrl++"},
        {"Ctrl+-", "zoomOutAction", "Ctrl+-"},      {"Ctrl+0", "normalSizeAction", "Ctrl+0"},
        {"Ctrl+Z", "undoAction", "Ctrl+Z"},         {"Ctrl+Y", "redoAction", "Ctrl+Y"},
        {"Ctrl+Z", "undoAction", "Ctrl+Z"},         {"Ctrl+Shift+Z", "redoAction", "Ctrl+Y"},
        {"Ctrl+Shift+S", "saveAsAction", "Ctrl+Shift+S"}, {"Ctrl+S", "saveAction", "Ctrl+S"},
        {"Ctrl+O", "openAction", "Ctrl+O"},         {"F1", "helpAction", "F1"},
        {"Ctrl+Q", "quitAction", "Ctrl+Q"},         {"Ctrl+W", "closeAction", "Ctrl+W"},
    };
    for (const auto& [keys, action, shown] : cases) {
        EXPECT_EQ(Press(QKeySequence(QLatin1String(keys))), std::vector<std::string>{action}) << keys;
        EXPECT_EQ(Action(action)->shortcut().toString(QKeySequence::PortableText), QLatin1String(shown)) << keys;
    }
    // What some of them did: save as, open (and the fixture's open), quit, close.
    EXPECT_EQ(dialogs->save_initial_names.size(), 1u);
    EXPECT_EQ(dialogs->open_shown, 2);
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti ver 1.0.0"));
    // A disabled command's keys do nothing.
    EXPECT_TRUE(Press(QKeySequence(QStringLiteral("Ctrl+S"))).empty());
}

TEST_F(Habits, DuringARunThePictureCommandsKeysAreRefusedAndEscCancels)
{
    const QString path = MakeBitmap(QStringLiteral("run.bmp"), 9, 8);
    const int cancel_at = 3; // of the six rows sharpen visits
    int cancelled_pumps = 0;
    const Bytes cancelled = CoreResult(path.toStdString(), {"sharpen"}, cancel_at, &cancelled_pumps);
    Open(path);
    QGuiApplication::clipboard()->setText(QStringLiteral("text"));
    std::vector<std::string> fired;
    RunWatched("sharpen", [&](int pump) {
        if (pump == 1) {
            for (const char* keys : {"Ctrl+S", "Ctrl+Shift+S", "Ctrl+O", "Ctrl+W", "Ctrl+C", "Ctrl+V"}) {
                const auto one = Press(QKeySequence(QLatin1String(keys)));
                fired.insert(fired.end(), one.begin(), one.end());
            }
        }
        if (pump == cancel_at)
            QTest::keyClick(window.get(), Qt::Key_Escape);
    });
    // The keys reached their commands, which refused.
    EXPECT_EQ(fired.size(), 5u); // paste is disabled: the clipboard holds text
    EXPECT_TRUE(dialogs->save_initial_names.empty());
    EXPECT_EQ(dialogs->open_shown, 1); // the fixture's own open
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("text"));
    EXPECT_EQ(Caption(), path + kSuffix);
    // Esc is the Cancel button at the same pump.
    EXPECT_EQ(pumps, cancelled_pumps);
    EXPECT_EQ(window->document().file_bytes, cancelled);
    // Outside a run it does nothing.
    const Bytes before = window->document().file_bytes;
    EXPECT_EQ(Press(QKeySequence(Qt::Key_Escape)), std::vector<std::string>{"cancelRunAction"});
    EXPECT_EQ(window->document().file_bytes, before);
}

// The wheel and the pinch run the zoom commands, whose steps are the zoom
// table's (view_test.cpp).
TEST_F(Habits, CtrlWheelAndPinchStepTheZoomWhereTheZoomCommandsAreEnabled)
{
    Open(MakeBitmap(QStringLiteral("wheel.bmp"), 40, 900));
    const std::vector<std::string> in{"zoomInAction"}, out{"zoomOutAction"}, none;
    struct Case {
        int delta;
        Qt::KeyboardModifiers modifiers;
        std::vector<std::string> commands;
    };
    // Half a notch waits for the other half.
    const Case cases[] = {{120, Qt::ControlModifier, in},   {240, Qt::ControlModifier, {in[0], in[0]}},
                          {-120, Qt::ControlModifier, out}, {60, Qt::ControlModifier, none},
                          {60, Qt::ControlModifier, in},    {120, Qt::NoModifier, none},
                          {-30, Qt::ControlModifier, none}, {-90, Qt::ControlModifier, out}};
    for (const Case& c : cases)
        EXPECT_EQ(Triggered([&] { Wheel(c.delta, c.modifiers); }), c.commands) << c.delta;
    // The zoom out's limit: nothing left to show, and no step beyond.
    Wheel(-120 * 30);
    EXPECT_EQ(ShownWidth(), 0);
    EXPECT_EQ(window->StatusText(kZoomPanel), QStringLiteral("拡大率：0%"));
    Wheel(120);
    EXPECT_EQ(ShownWidth(), 0);
    // The wheel alone scrolls.
    window->NormalSize();
    Wheel(-120, Qt::NoModifier);
    EXPECT_GT(window->image_frame()->verticalScrollBar()->value(), 0);
    EXPECT_EQ(ShownWidth(), 40);
    // A pinch: a quarter of scale is a step.
    const auto pinch = [&](qreal value) {
        const QPointF at(5, 5);
        QNativeGestureEvent event(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, at, at, at,
                                  value, QPointF(), 1);
        QCoreApplication::sendEvent(window->image_control(), &event);
    };
    EXPECT_EQ(Triggered([&] { pinch(0.125), pinch(0.125), pinch(-0.25); }), std::vector<std::string>({in[0], out[0]}));
    // Fit to window disables the zoom commands, and the wheel with them.
    window->FitToWindow();
    const int fitted = ShownWidth();
    EXPECT_TRUE(Triggered([&] { Wheel(240), pinch(0.5); }).empty());
    EXPECT_EQ(ShownWidth(), fitted);
}

TEST_F(Habits, CopyThenPasteGivesTheSamePictureAsAnUntitledEditedOne)
{
    EXPECT_FALSE(Action("copyAction")->isEnabled()); // nothing to copy yet
    const QString path = MakeBitmap(QStringLiteral("copy.bmp"), 7, 5);
    Open(path);
    const QImage original = window->image_control()->Picture();
    window->ZoomIn(); // the copy is the picture's pixels, not the view
    QGuiApplication::clipboard()->setText(QStringLiteral("text"));
    EXPECT_FALSE(Action("pasteAction")->isEnabled());
    Action("copyAction")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image(), original);
    ASSERT_TRUE(Action("pasteAction")->isEnabled());
    Action("pasteAction")->trigger();
    EXPECT_TRUE(boxes->shown.empty()); // nothing was edited
    EXPECT_EQ(window->image_control()->Picture(), original);
    EXPECT_EQ(Caption(), QStringLiteral("無題") + kSuffix);
    for (const auto& [panel, text] : {std::pair(0, "ファイル名：　無題"), std::pair(2, "ファイル：編集済み"),
                                      std::pair(3, "ファイル形式：ビットマップ(24Bit)")})
        EXPECT_EQ(window->StatusText(panel), QString::fromUtf8(text));
    EXPECT_EQ(window->document().edit_count, 2);
    // Saving it asks for a name, and the file holds the pixels.
    const QString saved = QDir(folder->path()).absoluteFilePath(QStringLiteral("pasted.bmp"));
    dialogs->save_answers = {saved};
    Action("saveAction")->trigger();
    EXPECT_EQ(dialogs->save_initial_names.size(), 1u);
    EXPECT_EQ(Caption(), saved + kSuffix);
    EXPECT_EQ(QImage(saved).convertToFormat(QImage::Format_RGB32), original);
    EXPECT_EQ(ReadFile(saved.toStdString()), window->document().file_bytes);
}

TEST_F(Habits, PasteLaysTransparencyOverWhiteAfterThePromptButNotDuringARun)
{
    QImage see_through(2, 1, QImage::Format_ARGB32);
    see_through.setPixel(0, 0, qRgba(255, 0, 0, 128));
    see_through.setPixel(1, 0, qRgba(0, 0, 255, 0));
    QGuiApplication::clipboard()->setImage(see_through);
    const QString path = MakeBitmap(QStringLiteral("edited.bmp"), 6, 6);
    Open(path);
    Apply("sharpen");
    // Refused during a run: no prompt, nothing replaced.
    RunWatched("sharpen", [&](int pump) {
        if (pump == 1)
            Action("pasteAction")->trigger();
    });
    EXPECT_TRUE(boxes->shown.empty());
    // The prompt first: Cancel keeps the edited picture, No gives it up.
    boxes->answers = {kAnswerCancel, kAnswerNo};
    Action("pasteAction")->trigger();
    EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
    Action("pasteAction")->trigger();
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[1].style, kStyleYesNoCancel);
    EXPECT_EQ(Caption(), QStringLiteral("無題") + kSuffix);
    const QImage& shown = window->image_control()->Picture();
    ASSERT_EQ(shown.size(), QSize(2, 1));
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 127, 127));
    EXPECT_EQ(shown.pixel(1, 0), qRgb(255, 255, 255));
}

TEST_F(Habits, RecentFilesKeepTheLastEightNewestFirstAcrossARestart)
{
    QStringList paths;
    for (int i = 1; i <= 9; ++i) {
        paths << MakeBitmap(QStringLiteral("r%1.bmp").arg(i), 2, 2);
        Open(paths.back());
    }
    Open(paths[3]); // opened again: first once more
    const auto expected = [&](const QList<int>& order) {
        QStringList items;
        for (int k = 0; k < order.size(); ++k)
            items << QStringLiteral("&%1 r%2.bmp|").arg(k + 1).arg(order[k] + 1) + paths[order[k]];
        return items << QStringLiteral("|") << QStringLiteral("一覧を消去|一覧を消去");
    };
    EXPECT_EQ(RecentItems(), expected({3, 8, 7, 6, 5, 4, 2, 1}));
    Show(true);
    EXPECT_EQ(RecentItems(), expected({3, 8, 7, 6, 5, 4, 2, 1}));
    // A file that is gone: the read failure box, and off the list.
    QFile::remove(paths[7]);
    Find<QMenu>("recentFilesMenu")->actions()[2]->trigger();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, QStringLiteral("読み込みに失敗しました。"));
    EXPECT_EQ(RecentItems(), expected({3, 8, 6, 5, 4, 2, 1}));
    // One chosen opens; a save puts its file first.
    Find<QMenu>("recentFilesMenu")->actions()[1]->trigger();
    EXPECT_EQ(Caption(), paths[8] + kSuffix);
    const QString saved = QDir(folder->path()).absoluteFilePath(QStringLiteral("s.bmp"));
    dialogs->save_answers = {saved};
    window->SavePictureAs();
    EXPECT_EQ(RecentItems().front(), QStringLiteral("&1 s.bmp|") + saved);
    Action("clearRecentFilesAction")->trigger();
    EXPECT_EQ(RecentItems(), QStringList({QStringLiteral("|"), QStringLiteral("一覧を消去|一覧を消去")}));
    EXPECT_FALSE(Action("clearRecentFilesAction")->isEnabled());
}

TEST_F(Habits, TheLayoutComesBackAtTheNextStartUntilTheSettingsAreReset)
{
    const QRect design = window->geometry();
    window->setGeometry(40, 60, 500, 300);
    const QRect moved = window->geometry();
    Action("statusBarAction")->trigger();
    Action("zoomBoxAction")->trigger();
    window->Quit();
    ASSERT_EQ(exits, std::vector<int>{0});
    Show(true);
    EXPECT_EQ(window->geometry(), moved);
    const std::tuple<const char*, const char*, bool> toggles[] = {{"quickAccessBarAction", "quickAccessBar", true},
                                                                  {"statusBarAction", "statusBar", false},
                                                                  {"progressBoxAction", "progressBox", true},
                                                                  {"zoomBoxAction", "zoomBox", false}};
    for (const auto& [name, area, shown] : toggles) {
        EXPECT_EQ(Action(name)->isChecked(), shown) << name;
        EXPECT_EQ(Find<QWidget>(area)->isVisible(), shown) << area;
    }
    settings::Reset();
    Show(true);
    EXPECT_EQ(window->geometry(), design);
    EXPECT_TRUE(window->statusBar()->isVisible());
}

} // namespace
} // namespace korvanti::testing
