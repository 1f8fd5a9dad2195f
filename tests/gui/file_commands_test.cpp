// Open, save under a new name, save over the file, close, quit, and the
// unsaved-changes prompt on each of its paths.
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSlider>

#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
const QString kUnsavedText = QStringLiteral("保存していないファイルがあります。上書き保存しますか？");
const QString kUnsavedCaption = QStringLiteral("ファイルの未保存");
const QString kWriteFailure = QStringLiteral("書き込みに失敗しました。読取専用の場合、上書きできません。");
const QString kErrorCaption = QStringLiteral("書き込みエラー");
// What an open picture enables and a close disables.
const char* const kPictureActions[] = {"saveAsAction", "saveAction",       "toolsMenu",
                                       "closeAction",  "actualSizeAction", "fitToWindowAction",
                                       "zoomInAction", "normalSizeAction", "zoomOutAction"};

using FileCommands = WindowTest;

TEST_F(FileCommands, OpenShowsThePictureAndEnablesItsCommands)
{
    const QString path = MakeBitmap(QStringLiteral("a.bmp"), 4, 2);
    Open(path);
    EXPECT_EQ(Caption(), path + kSuffix);
    EXPECT_EQ(window->StatusText(0), QStringLiteral("ファイル名：　a.bmp"));
    EXPECT_EQ(window->StatusText(1), QStringLiteral("解像度：　4 * 2"));
    EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル：未編集"));
    EXPECT_EQ(window->StatusText(3), QStringLiteral("ファイル形式：ビットマップ(24Bit)"));
    EXPECT_EQ(window->StatusText(4), QStringLiteral("拡大率："));
    EXPECT_EQ(window->document().edit_count, 1);
    for (const char* name : kPictureActions)
        EXPECT_TRUE(Action(name)->isEnabled()) << name;
    EXPECT_TRUE(Find<QSlider>("zoomSlider")->isEnabled());
    EXPECT_FALSE(Action("undoAction")->isEnabled());
    EXPECT_FALSE(Action("redoAction")->isEnabled());
    EXPECT_TRUE(boxes->shown.empty());

    // The view shows the file's own pixels, decoded from memory.
    const QImage shown = window->image_control()->Picture();
    ASSERT_EQ(shown.size(), QSize(4, 2));
    EXPECT_EQ(shown, QImage(path));
    EXPECT_EQ(window->image_control()->size(), QSize(4, 2));
}

TEST_F(FileCommands, RefusedFileShowsTheReadFailureAndChangesNothing)
{
    const QString good = MakeBitmap(QStringLiteral("good.bmp"), 3, 3);
    Open(good);
    Open(MakeBitmap(QStringLiteral("deep.bmp"), 3, 3, 32));
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, QStringLiteral("読み込みに失敗しました。"));
    EXPECT_EQ(boxes->shown[0].caption, kErrorCaption);
    EXPECT_EQ(boxes->shown[0].style, kStyleOk);
    EXPECT_EQ(Caption(), good + kSuffix);
    EXPECT_EQ(window->StatusText(0), QStringLiteral("ファイル名：　good.bmp"));
    EXPECT_EQ(QFile::decodeName(window->document().bitmap.GetFileName().c_str()), good);
}

TEST_F(FileCommands, CancelledOpenIsSilent)
{
    window->OpenPicture(); // the dialog answers with an empty name
    EXPECT_EQ(dialogs->open_shown, 1);
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti Ver 1.0.0"));
    EXPECT_EQ(window->document().edit_count, 0);
    EXPECT_FALSE(Action("toolsMenu")->isEnabled());
}

TEST_F(FileCommands, OpenWithUnsavedChangesAndCancelShowsNoDialog)
{
    OpenEdited();
    ASSERT_EQ(window->document().edit_count, 2);
    boxes->answers = {kAnswerCancel};
    window->OpenPicture();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, kUnsavedText);
    EXPECT_EQ(boxes->shown[0].caption, kUnsavedCaption);
    EXPECT_EQ(boxes->shown[0].style, kStyleYesNoCancel);
    EXPECT_EQ(dialogs->open_shown, 1);
    EXPECT_EQ(window->document().edit_count, 2);
}

TEST_F(FileCommands, SaveAsAppendsTheExtensionExactly)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 4, 2));
    const QDir dir(folder->path());
    dialogs->save_answers = {dir.absoluteFilePath(QStringLiteral("b")), dir.absoluteFilePath(QStringLiteral("c.BMP")),
                             dir.absoluteFilePath(QStringLiteral("d.bmp"))};
    window->SavePictureAs();
    window->SavePictureAs();
    window->SavePictureAs();
    EXPECT_TRUE(QFileInfo::exists(dir.absoluteFilePath(QStringLiteral("b.bmp"))));
    EXPECT_TRUE(QFileInfo::exists(dir.absoluteFilePath(QStringLiteral("c.BMP.bmp"))));
    EXPECT_TRUE(QFileInfo::exists(dir.absoluteFilePath(QStringLiteral("d.bmp"))));
    EXPECT_FALSE(QFileInfo::exists(dir.absoluteFilePath(QStringLiteral("d.bmp.bmp"))));
    // The dialog opens with the name chosen the time before.
    ASSERT_EQ(dialogs->save_initial_names.size(), 3u);
    EXPECT_EQ(dialogs->save_initial_names[0], QString());
    EXPECT_EQ(dialogs->save_initial_names[1], dir.absoluteFilePath(QStringLiteral("b")));
    EXPECT_EQ(dialogs->save_initial_names[2], dir.absoluteFilePath(QStringLiteral("c.BMP")));
}

TEST_F(FileCommands, SaveAsMakesTheNewFileTheDocument)
{
    const QString original = MakeBitmap(QStringLiteral("a.bmp"), 6, 5);
    Open(original);
    Apply("sharpen");
    const QString saved = QDir(folder->path()).absoluteFilePath(QStringLiteral("b.bmp"));
    dialogs->save_answers = {saved};
    window->SavePictureAs();
    EXPECT_EQ(Caption(), saved + kSuffix);
    EXPECT_EQ(window->StatusText(0), QStringLiteral("ファイル名：　b.bmp"));
    EXPECT_EQ(window->StatusText(1), QStringLiteral("解像度：　6 * 5"));
    EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル：未編集"));
    EXPECT_EQ(window->document().edit_count, 1);
    EXPECT_EQ(ReadFile(saved), ToByteArray(window->document().file_bytes));

    // Save over the file now writes b.bmp, and the caption is its path alone.
    Apply("sharpen");
    window->SavePicture();
    EXPECT_EQ(Caption(), saved);
    EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル：未編集"));
    EXPECT_EQ(ReadFile(saved), ToByteArray(window->document().file_bytes));
    EXPECT_NE(ReadFile(original), ReadFile(saved));
}

TEST_F(FileCommands, CancelledSaveAsWritesNothing)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 4, 2));
    const QString first = QDir(folder->path()).absoluteFilePath(QStringLiteral("first.bmp"));
    dialogs->save_answers = {first, std::nullopt};
    window->SavePictureAs();
    Apply("sharpen");
    const QByteArray before = ReadFile(first);
    window->SavePictureAs();
    EXPECT_EQ(ReadFile(first), before);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_TRUE(boxes->shown.empty());
}

TEST_F(FileCommands, SavingOverAReadOnlyFileFails)
{
    const QString path = OpenEdited();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    const QString caption = Caption();
    window->SavePicture();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, kWriteFailure);
    EXPECT_EQ(boxes->shown[0].caption, kErrorCaption);
    EXPECT_EQ(boxes->shown[0].style, kStyleOk);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_EQ(Caption(), caption);
    // Quitting still asks.
    window->Quit();
    EXPECT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[1].text, kUnsavedText);
}

TEST_F(FileCommands, SaveAsIntoAMissingFolderFails)
{
    OpenEdited();
    dialogs->save_answers = {QDir(folder->path()).absoluteFilePath(QStringLiteral("no/such/x.bmp"))};
    window->SavePictureAs();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, kWriteFailure);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_EQ(window->StatusText(0), QStringLiteral("ファイル名：　edited.bmp"));
}

TEST_F(FileCommands, CloseEmptiesTheWindow)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 40, 20));
    window->ZoomIn();
    window->ClosePicture();
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti ver 1.0.0"));
    EXPECT_EQ(window->StatusText(0), QStringLiteral("ファイル名："));
    EXPECT_EQ(window->StatusText(1), QStringLiteral("解像度："));
    EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル："));
    EXPECT_EQ(window->StatusText(3), QStringLiteral("ファイル形式："));
    EXPECT_EQ(Find<QLabel>("zoomLabel")->text(), QStringLiteral("100%"));
    EXPECT_FALSE(Find<QSlider>("zoomSlider")->isEnabled());
    EXPECT_EQ(Find<QSlider>("zoomSlider")->value(), 100);
    EXPECT_TRUE(window->image_control()->Picture().isNull());
    for (const char* name : kPictureActions)
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
    EXPECT_EQ(window->document().edit_count, 0);
    window->Quit();
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(FileCommands, OpenAndCloseForgetUndoAndRedo)
{
    OpenEdited();
    EXPECT_TRUE(Action("undoAction")->isEnabled());
    window->Undo();
    EXPECT_TRUE(Action("redoAction")->isEnabled());
    boxes->answers = {kAnswerNo};
    window->ClosePicture();
    EXPECT_FALSE(Action("undoAction")->isEnabled());
    EXPECT_FALSE(Action("redoAction")->isEnabled());

    Open(MakeBitmap(QStringLiteral("b.bmp"), 5, 5));
    Apply("sharpen");
    boxes->answers = {kAnswerNo};
    Open(MakeBitmap(QStringLiteral("c.bmp"), 5, 5));
    EXPECT_FALSE(Action("undoAction")->isEnabled());
    EXPECT_FALSE(Action("redoAction")->isEnabled());
}

// ---- The unsaved-changes prompt -----------------------------------------

TEST_F(FileCommands, ReplacingAnUneditedPictureAsksNothing)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 4, 2));
    EXPECT_EQ(window->ConfirmUnsaved(kReplacing), kGoOn);
    EXPECT_EQ(window->ConfirmUnsaved(3), -1);
    EXPECT_TRUE(boxes->shown.empty());
}

TEST_F(FileCommands, ReplacingAnswers)
{
    const QString path = OpenEdited();
    const QByteArray on_disk = ReadFile(path);
    boxes->answers = {kAnswerCancel, kAnswerNo};
    EXPECT_EQ(window->ConfirmUnsaved(kReplacing), kCancelled);
    EXPECT_EQ(window->ConfirmUnsaved(kReplacing), kGoOn);
    EXPECT_EQ(ReadFile(path), on_disk);
    boxes->answers = {kAnswerYes};
    EXPECT_EQ(window->ConfirmUnsaved(kReplacing), kGoOn);
    EXPECT_EQ(ReadFile(path), ToByteArray(window->document().file_bytes));
    EXPECT_EQ(window->ConfirmUnsaved(3), -1);
    EXPECT_EQ(boxes->shown.size(), 3u);
    EXPECT_TRUE(exits.empty());
}

TEST_F(FileCommands, FailedSaveInThePromptGivesNothingUp)
{
    const QString path = OpenEdited();
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    boxes->answers = {kAnswerYes};
    window->ClosePicture();
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[1].text, kWriteFailure);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_NE(Caption(), QStringLiteral("Korvanti ver 1.0.0"));

    boxes->answers = {kAnswerYes};
    window->Quit();
    EXPECT_EQ(boxes->shown.size(), 4u);
    EXPECT_EQ(boxes->shown[2].style, kStyleYesNo);
    EXPECT_EQ(boxes->shown[3].text, kWriteFailure);
    EXPECT_TRUE(exits.empty());
}

TEST_F(FileCommands, QuitWithoutEditsEndsAtOnce)
{
    window->Quit();
    Open(MakeBitmap(QStringLiteral("a.bmp"), 4, 2));
    window->Quit();
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(exits, (std::vector<int>{0, 0}));
}

TEST_F(FileCommands, QuitAfterAnEditAsksYesOrNo)
{
    const QString path = OpenEdited();
    const QByteArray on_disk = ReadFile(path);
    boxes->answers = {kAnswerNo};
    window->Quit();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, kUnsavedText);
    EXPECT_EQ(boxes->shown[0].caption, kUnsavedCaption);
    EXPECT_EQ(boxes->shown[0].style, kStyleYesNo);
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(ReadFile(path), on_disk);

    boxes->answers = {kAnswerYes};
    window->Quit();
    EXPECT_EQ(exits, (std::vector<int>{0, 0}));
    EXPECT_EQ(ReadFile(path), ToByteArray(window->document().file_bytes));
}

TEST_F(FileCommands, CloseBoxQuitsLikeTheQuitCommand)
{
    window->show();
    OpenEdited();
    boxes->answers = {kAnswerNo};
    window->close();
    EXPECT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_TRUE(window->isVisible()); // the request itself never completes
}

} // namespace
} // namespace korvanti::testing
