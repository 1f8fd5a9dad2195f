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

using FileCommands = WindowTest;

TEST_F(FileCommands, OpenShowsThePictureAndEnablesItsCommands)
{
    const QString path = MakeBitmap(QStringLiteral("a.bmp"), 4, 2);
    Open(path);
    EXPECT_EQ(Caption(), path + kSuffix);
    EXPECT_EQ(window->PanelText(0), QStringLiteral("ファイル名：　a.bmp"));
    EXPECT_EQ(window->PanelText(1), QStringLiteral("解像度：　4 * 2"));
    EXPECT_EQ(window->PanelText(2), QStringLiteral("ファイル：未編集"));
    EXPECT_EQ(window->PanelText(3), QStringLiteral("ファイル形式：ビットマップ(24Bit)"));
    EXPECT_EQ(window->PanelText(4), QStringLiteral("拡大率："));
    EXPECT_EQ(window->document().edit_count, 1);
    for (const char* name : {"S1", "O1", "T1", "C1", "G4", "T2", "N25U1", "H4", "N25U2"})
        EXPECT_TRUE(Item(name)->isEnabled()) << name;
    EXPECT_TRUE(Find<QSlider>("TrackBar1")->isEnabled());
    EXPECT_FALSE(Item("U1")->isEnabled());
    EXPECT_FALSE(Item("S9")->isEnabled());
    EXPECT_TRUE(boxes->shown.empty());

    // The view shows the file's own pixels, decoded from memory.
    const QImage shown = window->Image1()->Picture();
    ASSERT_EQ(shown.size(), QSize(4, 2));
    EXPECT_EQ(shown, QImage(path));
    EXPECT_EQ(window->Image1()->size(), QSize(4, 2));
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
    EXPECT_EQ(window->PanelText(0), QStringLiteral("ファイル名：　good.bmp"));
    EXPECT_EQ(QFile::decodeName(window->document().bitmap.GetFileName().c_str()), good);
}

TEST_F(FileCommands, CancelledOrUnreadableOpenIsSilent)
{
    window->L1Click(); // the dialog answers with an empty name
    Open(QDir(folder->path()).absoluteFilePath(QStringLiteral("missing.bmp")));
    EXPECT_EQ(dialogs->open_shown, 2);
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti Ver 1.0.0"));
    EXPECT_EQ(window->document().edit_count, 0);
    EXPECT_FALSE(Item("T1")->isEnabled());
}

TEST_F(FileCommands, OpenWithUnsavedChangesAndCancelShowsNoDialog)
{
    OpenEdited();
    ASSERT_EQ(window->document().edit_count, 2);
    boxes->answers = {kAnswerCancel};
    window->L1Click();
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
    window->S1Click();
    window->S1Click();
    window->S1Click();
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
    window->N9Click();
    const QString saved = QDir(folder->path()).absoluteFilePath(QStringLiteral("b.bmp"));
    dialogs->save_answers = {saved};
    window->S1Click();
    EXPECT_EQ(Caption(), saved + kSuffix);
    EXPECT_EQ(window->PanelText(0), QStringLiteral("ファイル名：　b.bmp"));
    EXPECT_EQ(window->PanelText(1), QStringLiteral("解像度：　6 * 5"));
    EXPECT_EQ(window->PanelText(2), QStringLiteral("ファイル：未編集"));
    EXPECT_EQ(window->document().edit_count, 1);
    EXPECT_EQ(ReadFile(saved), ToByteArray(window->document().file_bytes));

    // Save over the file now writes b.bmp, and the caption is its path alone.
    window->N9Click();
    window->O1Click();
    EXPECT_EQ(Caption(), saved);
    EXPECT_EQ(window->PanelText(2), QStringLiteral("ファイル：未編集"));
    EXPECT_EQ(ReadFile(saved), ToByteArray(window->document().file_bytes));
    EXPECT_NE(ReadFile(original), ReadFile(saved));
}

TEST_F(FileCommands, CancelledSaveAsWritesNothing)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 4, 2));
    const QString first = QDir(folder->path()).absoluteFilePath(QStringLiteral("first.bmp"));
    dialogs->save_answers = {first, std::nullopt};
    window->S1Click();
    window->N9Click();
    const QByteArray before = ReadFile(first);
    window->S1Click();
    EXPECT_EQ(ReadFile(first), before);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_TRUE(boxes->shown.empty());
}

TEST_F(FileCommands, SavingOverAReadOnlyFileFails)
{
    const QString path = OpenEdited();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    const QString caption = Caption();
    window->O1Click();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, kWriteFailure);
    EXPECT_EQ(boxes->shown[0].caption, kErrorCaption);
    EXPECT_EQ(boxes->shown[0].style, kStyleOk);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_EQ(Caption(), caption);
    // Quitting still asks.
    window->Q1Click();
    EXPECT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[1].text, kUnsavedText);
}

TEST_F(FileCommands, SaveAsIntoAMissingFolderFails)
{
    OpenEdited();
    dialogs->save_answers = {QDir(folder->path()).absoluteFilePath(QStringLiteral("no/such/x.bmp"))};
    window->S1Click();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, kWriteFailure);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_EQ(window->PanelText(0), QStringLiteral("ファイル名：　edited.bmp"));
}

TEST_F(FileCommands, CloseEmptiesTheWindow)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 40, 20));
    window->N25U1Click();
    window->C1Click();
    EXPECT_EQ(Caption(), QStringLiteral("Korvanti ver 1.0.0"));
    EXPECT_EQ(window->PanelText(0), QStringLiteral("ファイル名："));
    EXPECT_EQ(window->PanelText(1), QStringLiteral("解像度："));
    EXPECT_EQ(window->PanelText(2), QStringLiteral("ファイル："));
    EXPECT_EQ(window->PanelText(3), QStringLiteral("ファイル形式："));
    EXPECT_EQ(Find<QLabel>("Label3")->text(), QStringLiteral("100%"));
    EXPECT_FALSE(Find<QSlider>("TrackBar1")->isEnabled());
    EXPECT_EQ(Find<QSlider>("TrackBar1")->value(), 100);
    EXPECT_TRUE(window->Image1()->Picture().isNull());
    for (const char* name : {"S1", "O1", "T1", "C1", "G4", "T2", "N25U1", "H4", "N25U2"})
        EXPECT_FALSE(Item(name)->isEnabled()) << name;
    EXPECT_EQ(window->document().edit_count, 0);
    window->Q1Click();
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(FileCommands, OpenAndCloseForgetUndoAndRedo)
{
    OpenEdited();
    EXPECT_TRUE(Item("U1")->isEnabled());
    window->U1Click();
    EXPECT_TRUE(Item("S9")->isEnabled());
    boxes->answers = {kAnswerNo};
    window->C1Click();
    EXPECT_FALSE(Item("U1")->isEnabled());
    EXPECT_FALSE(Item("S9")->isEnabled());

    Open(MakeBitmap(QStringLiteral("b.bmp"), 5, 5));
    window->N9Click();
    boxes->answers = {kAnswerNo};
    Open(MakeBitmap(QStringLiteral("c.bmp"), 5, 5));
    EXPECT_FALSE(Item("U1")->isEnabled());
    EXPECT_FALSE(Item("S9")->isEnabled());
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
    window->C1Click();
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[1].text, kWriteFailure);
    EXPECT_EQ(window->document().edit_count, 2);
    EXPECT_NE(Caption(), QStringLiteral("Korvanti ver 1.0.0"));

    boxes->answers = {kAnswerYes};
    window->Q1Click();
    EXPECT_EQ(boxes->shown.size(), 4u);
    EXPECT_EQ(boxes->shown[2].style, kStyleYesNo);
    EXPECT_EQ(boxes->shown[3].text, kWriteFailure);
    EXPECT_TRUE(exits.empty());
}

TEST_F(FileCommands, QuitWithoutEditsEndsAtOnce)
{
    window->Q1Click();
    Open(MakeBitmap(QStringLiteral("a.bmp"), 4, 2));
    window->Q1Click();
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(exits, (std::vector<int>{0, 0}));
}

TEST_F(FileCommands, QuitAfterAnEditAsksYesOrNo)
{
    const QString path = OpenEdited();
    const QByteArray on_disk = ReadFile(path);
    boxes->answers = {kAnswerNo};
    window->Q1Click();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, kUnsavedText);
    EXPECT_EQ(boxes->shown[0].caption, kUnsavedCaption);
    EXPECT_EQ(boxes->shown[0].style, kStyleYesNo);
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(ReadFile(path), on_disk);

    boxes->answers = {kAnswerYes};
    window->Q1Click();
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
