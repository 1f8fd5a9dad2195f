// The model sequence's steps for what a desktop user does besides the
// menus: copy and paste, the recent files, zoom by Ctrl + wheel; and the
// save dialog's answers. (Shortcut
// keys stand in for menu items in Trigger, Esc for Cancel in Effect.)
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QWheelEvent>

#include "model_sequence.h"
#include "view/image_control.h"
#include "view/image_frame.h"

namespace korvanti::testing::model {
void Sequence::Copy()
{
    Note("copy");
    Trigger("copyAction");
    clipboard_ = model_.bytes;
    Saw("copy");
}

// As if a 24-bit BMP of the copied pixels had been opened, without a name.
void Sequence::Paste()
{
    Note("paste");
    const bool goes_on = Prompt(false);
    Trigger("pasteAction");
    if (!goes_on)
        return;
    // The clipboard holds the copied picture (CheckWindow sees to that).
    const Bytes& pasted = window_->document().file_bytes;
    Check(window_->image_control()->Picture() == QGuiApplication::clipboard()->image(),
          "the pasted picture differs from the one copied");
    const Geometry g = GeometryOf(pasted);
    model_.open = true;
    model_.path.clear();
    model_.bytes = pasted;
    model_.edit_count = 2;
    model_.undo = model_.redo = false;
    model_.caption = Name() + kSuffix;
    model_.panels = {QStringLiteral("ファイル名：　無題"), QStringLiteral("解像度：　%1 * %2").arg(g.width).arg(g.height),
                     kEdited, QStringLiteral("ファイル形式：ビットマップ(24Bit)")};
    Saw("paste");
}

void Sequence::OpenRecent()
{
    const int index = random_.Below(static_cast<int>(recent_.size()));
    const QString path = recent_[static_cast<size_t>(index)];
    Note("recent file " + std::to_string(index + 1) + " " + Utf8(NameOf(path)));
    const bool goes_on = Prompt(false);
    QAction* item = window_->findChild<QMenu*>(QStringLiteral("recentFilesMenu"))->actions().value(index);
    Check(item != nullptr && item->toolTip() == path, "recent file " + std::to_string(index + 1) + " not in its place");
    if (item != nullptr)
        item->trigger();
    if (!goes_on)
        return;
    Opened(path);
    Saw("recent file opened");
}

void Sequence::ClearRecent()
{
    Note("clear the recent files");
    Trigger("clearRecentFilesAction");
    recent_.clear();
    Saw("recent files cleared");
}

void Sequence::Remember(const QString& path)
{
    recent_.erase(std::remove(recent_.begin(), recent_.end(), path), recent_.end());
    recent_.push_front(path);
    if (recent_.size() > 8)
        recent_.pop_back();
}

// One notch of the wheel with Ctrl: the zoom command's step, once.
void Sequence::WheelZoom()
{
    const bool in = random_.Percent(50);
    Note(in ? "wheel zoom in" : "wheel zoom out");
    int zooms = 0;
    const auto counter =
        QObject::connect(Action(in ? "zoomInAction" : "zoomOutAction"), &QAction::triggered, [&zooms] { ++zooms; });
    QWidget* view = window_->image_frame()->viewport();
    QWheelEvent wheel(QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, in ? 120 : -120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &wheel);
    QObject::disconnect(counter);
    CheckEq(zooms, 1, "zoom commands run by one notch");
    Saw("wheel zoom");
}

// Shared by save as, save of a pasted picture and the prompt's Yes on one.
std::optional<QString> Sequence::ChooseSaveName(const std::string& command)
{
    std::vector<QString> names{QStringLiteral("out1.bmp"), QStringLiteral("out2.bmp"), QStringLiteral("out3.bmp"),
                               QStringLiteral("out4"),     QStringLiteral("Out5.BMP"), QStringLiteral("写真"),
                               QStringLiteral("dir.bmp"),  QStringLiteral("nofolder/x.bmp")};
    // Over the pictures there are, and now and then over a refused file.
    for (const auto& [on_disk, file] : disk_) {
        if (file.picture || random_.Percent(5))
            names.push_back(on_disk);
    }
    expected_save_dialogs_.push_back(model_.save_dialog_name);
    const int choice = random_.Below(100);
    const std::optional<QString> answer = choice < 8    ? std::nullopt
                                          : choice < 11 ? std::optional(QString())
                                                        : std::optional(Path(random_.Pick(names)));
    dialogs_->save_answers.push_back(answer);
    Note(command + " " + (answer ? Show(NameOf(*answer)) : std::string("(dialog cancelled)")));
    if (!answer) {
        Saw(command + ": cancelled");
        return std::nullopt;
    }
    model_.save_dialog_name = *answer;
    if (answer->isEmpty())
        return std::nullopt;
    return answer->endsWith(QLatin1String(".bmp")) ? *answer : *answer + QStringLiteral(".bmp");
}

} // namespace korvanti::testing::model
