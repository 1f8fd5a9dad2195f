// The File menu: open, save as, save, close and quit, and the
// unsaved-changes prompt they share with the window's close box.
#include <QCloseEvent>
#include <QLabel>
#include <QSlider>

#include "app/file_texts.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/picture_files.h"
#include "app/quick_access_bar.h"
#include "app/settings.h"
#include "app/status_panels.h"
#include "view/image_control.h"
#include "view/image_frame.h"

namespace korvanti {
namespace {

const QString kReadFailure = QStringLiteral("読み込みに失敗しました。");
const QString kWriteFailure = QStringLiteral("書き込みに失敗しました。読取専用の場合、上書きできません。");
const QString kFileErrorCaption = QStringLiteral("書き込みエラー");
const QString kUnsavedText = QStringLiteral("保存していないファイルがあります。上書き保存しますか？");
const QString kUnsavedCaption = QStringLiteral("ファイルの未保存");

// The first four status panels after a close.
const std::array<QString, 4> kClosedStatusTexts = {QStringLiteral("ファイル名："), QStringLiteral("解像度："),
                                                   QStringLiteral("ファイル："), QStringLiteral("ファイル形式：")};

} // namespace

void MainWindow::OpenPicture()
{
    if (!ConfirmReplace())
        return;
    OpenPictureFile(dialogs_->OpenFileName(this));
}

void MainWindow::OpenDroppedFile(const QString& path)
{
    if (!ConfirmReplace())
        return;
    OpenPictureFile(path);
}

void MainWindow::OpenPictureFile(const QString& path)
{
    // The file is read aside and only then takes the document's place, so
    // that any failure leaves the window, the document and the view as they
    // were.
    Document incoming;
    incoming.keep_undo = false;
    codecs::PhotoTraits traits;
    codecs::DecodeOptions options;
    options.limit = largest_picture;
    // An empty name is a cancelled dialog; any file named but not read
    // (refused, missing, unreadable) gets the read failure box.
    const FileProblem problem = codecs::LoadPictureFile(incoming, LocalPath(path), traits, options);
    const bool shown = problem.ok() && TakePicture(incoming, std::move(traits));
    if (!shown && !path.isEmpty())
        ShowReadFailure(problem.ok() ? FileProblem(FileProblemKind::OutOfMemory) : problem);
    if (!shown)
        return;
    RememberRecentFile(PictureName());
}

bool MainWindow::TakePicture(Document& incoming, codecs::PhotoTraits traits)
{
    const QImage picture = make_picture(incoming, QImage());
    if (picture.isNull())
        return false;
    // The document takes the picture alone: the undo copy and the planes
    // are made by the first effect (ApplyEffect), so that an open holds the
    // picture once, beside the view's copy.
    scratch_writer_.WaitUntilTaken(); // the picture is about to change
    doc_.keep_undo = false;
    const bool adopted = doc_.AdoptBitmap(std::move(incoming.file_bytes), incoming.bitmap.GetFileName()).ok();
    doc_.keep_undo = true;
    if (!adopted)
        return false;
    traits_ = std::move(traits);
    doc_.edit_count = 1;
    // The undo buffers now belong to the new picture.
    doc_.ForgetUndo();
    has_picture_ = true;
    zoom_enabled_ = true;
    UpdateActions();
    image_control()->SetPicture(picture);
    // The picture is shown at its own size, as the zoom box and panel say,
    // even where the previous picture was zoomed; fit to window stays.
    if (!image_frame_->ClientAligned() && (quick_access_bar_->zoom_slider()->value() != 100 ||
                                           image_control()->size() != QSize(PictureWidth(), PictureHeight())))
        NormalSize();
    const QString name = PictureName();
    setWindowTitle(name + kRunningSuffix);
    ShowFileName(name);
    SetStatusText(kResolutionPanel, QStringLiteral("解像度：　%1 * %2").arg(PictureWidth()).arg(PictureHeight()));
    SetStatusText(kEditStatePanel, EditStateText(doc_.edit_count));
    SetStatusText(kFormatPanel, FormatPanelText(traits_.format));
    return true;
}

QString MainWindow::PictureName() const
{
    const std::string& file = doc_.bitmap.GetFileName();
    return file.empty() ? kUntitledName : DisplayPath(file);
}

void MainWindow::SavePictureAs()
{
    SaveUnderChosenName(last_save_name_, codecs::CanWrite(traits_.format) ? traits_.format : codecs::Format::Jpeg);
}

bool MainWindow::SaveAsJpeg()
{
    const QString path = DisplayPath(doc_.bitmap.GetFileName());
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const bool has_extension = dot > path.lastIndexOf(QLatin1Char('/')) + 1;
    return SaveUnderChosenName((has_extension ? path.left(dot) : path) + QStringLiteral(".jpg"), codecs::Format::Jpeg);
}

bool MainWindow::SaveUnderChosenName(const QString& initial_name, codecs::Format initial_filter)
{
    const std::optional<ChosenFile> chosen = dialogs_->SaveFileName(this, initial_name, initial_filter);
    if (!chosen)
        return false;
    last_save_name_ = chosen->path;
    QString name = chosen->path;
    // A name without an extension the program writes takes the filter's.
    codecs::Format format = WrittenTypeOfName(name);
    if (format == codecs::Format::Unknown) {
        format = chosen->filter;
        if (!name.isEmpty())
            name += QString::fromUtf8(codecs::ExtensionOf(format));
    }
    const FileProblem problem = WritePicture(LocalPath(name), format);
    if (!problem.ok() && problem.kind != FileProblemKind::EmptyPath)
        ShowWriteFailure();
    if (!problem.ok())
        return false;
    doc_.edit_count = 1;
    doc_.bitmap.SetFileName(LocalPath(name));
    setWindowTitle(name + kRunningSuffix);
    ShowFileName(name);
    SetStatusText(kEditStatePanel, EditStateText(doc_.edit_count));
    RememberRecentFile(name);
    return true;
}

FileProblem MainWindow::WritePicture(const std::string& path, codecs::Format format)
{
    // A lossless WebP stays lossless; other pictures become lossy ones.
    const codecs::EncodeSettings settings{codecs::kDefaultQuality, format == codecs::Format::Webp && traits_.lossless};
    FileProblem problem = codecs::SavePictureFile(doc_, path, format, settings, traits_.icc, traits_.exif);
    if (!problem.ok())
        return problem;
    traits_.format = format;
    traits_.lossless = settings.lossless;
    SetStatusText(kFormatPanel, FormatPanelText(format));
    return problem;
}

void MainWindow::SavePicture()
{
    // A pasted picture has no file yet: saving it asks for a name; one of a
    // type not written is saved as a JPEG under a name chosen.
    if (doc_.bitmap.GetFileName().empty())
        return SavePictureAs();
    if (!codecs::CanWrite(traits_.format)) {
        SaveAsJpeg();
        return;
    }
    const FileProblem problem = WritePicture(doc_.bitmap.GetFileName(), traits_.format);
    if (!problem.ok() && problem.kind != FileProblemKind::EmptyPath)
        ShowWriteFailure();
    if (!problem.ok())
        return;
    doc_.edit_count = 1;
    setWindowTitle(DisplayPath(doc_.bitmap.GetFileName()));
    SetStatusText(kEditStatePanel, EditStateText(doc_.edit_count));
    RememberRecentFile(PictureName());
}

void MainWindow::ClosePicture()
{
    if (!ConfirmReplace())
        return;
    for (size_t i = 0; i < kClosedStatusTexts.size(); ++i)
        SetStatusText(static_cast<int>(i), kClosedStatusTexts[i]);
    doc_.edit_count = 0;
    setWindowTitle(kClosedCaption);
    image_control()->ClearPicture();
    image_control()->SetShownSize(0, 0);
    // The undo buffers belonged to the picture that is gone.
    doc_.ForgetUndo();
    has_picture_ = false;
    zoom_enabled_ = false;
    UpdateActions();
    quick_access_bar_->zoom_slider()->setValue(100);
    quick_access_bar_->zoom_label()->setText(QStringLiteral("100%"));
}

void MainWindow::Quit() { RequestQuit(); }

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The close request never completes: either the process ends inside
    // QuitAfterPrompt or the window stays.
    event->ignore();
    RequestQuit();
}

void MainWindow::RequestQuit()
{
    // During a run the document holds an older picture or a half-done
    // pass: the run is cancelled first, and ApplyEffect asks once it is over.
    if (context_.Running()) {
        quit_pending_ = true;
        context_.Cancel();
        return;
    }
    QuitAfterPrompt();
}

void MainWindow::QuitAfterPrompt()
{
    if (doc_.edit_count >= 2) {
        const int answer = MessageBox(kUnsavedText, kUnsavedCaption, kStyleYesNo);
        // Closed unanswered, or Yes with a save that failed: the picture
        // stays, and so does the program.
        if (answer == kAnswerCancel || (answer == kAnswerYes && !SaveOverOwnFile()))
            return;
    }
    SaveLayout();
    settings::Flush();
    WaitForScratchCopy();
    exit_process(0);
}

bool MainWindow::ConfirmReplace()
{
    if (doc_.edit_count < 2)
        return true;
    switch (MessageBox(kUnsavedText, kUnsavedCaption, kStyleYesNoCancel)) {
    case kAnswerYes:
        return SaveOverOwnFile();
    case kAnswerCancel:
        return false;
    default:
        return true;
    }
}

bool MainWindow::SaveOverOwnFile()
{
    if (doc_.bitmap.GetFileName().empty())
        return SaveUnderChosenName(last_save_name_, codecs::Format::Bmp);
    if (!codecs::CanWrite(traits_.format))
        return SaveAsJpeg();
    if (WritePicture(doc_.bitmap.GetFileName(), traits_.format).ok()) {
        RememberRecentFile(PictureName());
        return true;
    }
    ShowWriteFailure();
    return false;
}

void MainWindow::ShowWriteFailure() { MessageBox(kWriteFailure, kFileErrorCaption, kStyleOk); }

void MainWindow::ShowReadFailure(const FileProblem& problem)
{
    MessageBox(kReadFailure, kFileErrorCaption, kStyleOk, CauseOf(problem));
}

void MainWindow::ShowFileName(const QString& path)
{
    SetStatusText(kFileNamePanel, QStringLiteral("ファイル名：　") + path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
}

} // namespace korvanti
