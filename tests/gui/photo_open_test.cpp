// Photos opened in the window by the dialog, the file argument and a drop:
// every type with its panels, and bad files of every type refused with the
// read failure box, its cause under the text, and the window left whole.
#include <QStatusBar>
#include <QTest>

#include "gui_test_support.h"
#include "photo_samples.h"
#include "view/image_control.h"
#include "view/image_frame.h"

namespace korvanti::testing {
namespace {

using codecs::Format;

const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");
// Any cause that quotes a decoder's reason: the words are the library's.
const QString kDecoderReason = QStringLiteral("壊れています（…）");

enum class Condition { Good, Truncated, Corrupt, TooLarge };

struct BadFile {
    Condition condition;
    QString cause; // kDecoderReason: "壊れています（" + the reason + "）"
};

// What each type's bad files are refused with.
QString CauseFor(Format format, Condition condition)
{
    const bool bmp = format == Format::Bmp;
    switch (condition) {
    case Condition::Truncated:
        return bmp ? QStringLiteral("ファイルが途中で切れています（176 バイト不足）") : kDecoderReason;
    case Condition::Corrupt:
        return bmp ? QStringLiteral("ヘッダーが壊れています") : kDecoderReason;
    case Condition::TooLarge:
        return QStringLiteral("画像が大きすぎます");
    default:
        return {};
    }
}

// The sample of format in that condition: cut to a third (a BMP loses its
// last rows; a TIFF cut later keeps its directory and loses only its
// profile), its bytes after the signature overwritten, or (a BMP) a header
// claiming 40000 x 40000 pixels; a photo is too large for the window given
// a smaller limit than its picture.
Bytes FileFor(Format format, Condition condition)
{
    Bytes file = SampleFile(format);
    if (condition == Condition::Truncated)
        file.resize(format == Format::Bmp ? file.size() - 176 : file.size() / 3);
    if (condition == Condition::Corrupt)
        std::fill(file.begin() + (format == Format::Bmp ? 2 : 16), file.end(), 0xA5);
    if (condition == Condition::TooLarge && format == Format::Bmp) {
        Put32(file, 18, 40000);
        Put32(file, 22, 40000);
    }
    return file;
}

class PhotoOpening : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    QString Write(const QString& name, const Bytes& bytes)
    {
        const QString path = QDir(folder->path()).absoluteFilePath(name);
        WriteFile(path.toStdString(), bytes);
        return path;
    }

    // What a refused file must leave as it was.
    QStringList State() const
    {
        QStringList texts{Caption(), ToByteArray(window->document().file_bytes).toHex()};
        for (int panel = 0; panel < 5; ++panel)
            texts << window->StatusText(panel);
        return texts;
    }
};

TEST_F(PhotoOpening, EveryTypeOpensByDialogArgumentAndDropAndBadFilesAreRefusedWithTheirCause)
{
    const Condition bad[] = {Condition::Truncated, Condition::Corrupt, Condition::TooLarge};
    for (const auto& [entry, open] : OpenWays()) {
        for (const PhotoSample& sample : kPhotoSamples) {
            SCOPED_TRACE(std::string(entry) + " " + sample.name.toStdString());
            const QString good = Write(QLatin1String(entry) + sample.name, SampleFile(sample.format));
            window->largest_picture = kLargestBitmap;
            boxes->shown.clear();
            open(good);
            EXPECT_TRUE(boxes->shown.empty());
            EXPECT_EQ(Caption(), good + kSuffix);
            EXPECT_EQ(window->StatusText(0), QStringLiteral("ファイル名：　") + QLatin1String(entry) + sample.name);
            EXPECT_EQ(window->StatusText(1), QStringLiteral("解像度：　%1 * %2").arg(sample.width).arg(sample.height));
            EXPECT_EQ(window->StatusText(3), sample.panel);
            EXPECT_EQ(window->image_control()->Picture(), PictureOf(window->document()));
            const QStringList opened = State();
            for (const Condition condition : bad) {
                SCOPED_TRACE(static_cast<int>(condition));
                // A photo's decoder is given less room than its picture needs.
                window->largest_picture = condition == Condition::TooLarge ? 100 : kLargestBitmap;
                boxes->shown.clear();
                open(Write(QStringLiteral("bad-") + sample.name, FileFor(sample.format, condition)));
                ASSERT_EQ(boxes->shown.size(), 1u);
                const ShownBox& box = boxes->shown[0];
                EXPECT_EQ(box.text, QStringLiteral("読み込みに失敗しました。"));
                EXPECT_EQ(box.caption, QStringLiteral("書き込みエラー"));
                EXPECT_EQ(box.style, kStyleOk);
                const QString cause = CauseFor(sample.format, condition);
                // The reason is one line of the library's words, quoted.
                if (cause == kDecoderReason)
                    EXPECT_TRUE(box.detail.startsWith(QStringLiteral("壊れています（")) && box.detail.endsWith(QStringLiteral("）")) &&
                                box.detail.size() > 9 && !box.detail.contains(QLatin1Char('\n')))
                        << box.detail.toStdString();
                else
                    EXPECT_EQ(box.detail, cause);
                EXPECT_EQ(State(), opened);
            }
        }
    }
}

// The causes of files that are no picture of a type read.
TEST_F(PhotoOpening, FilesNotReadAtAllNameTheirCause)
{
    const QString locked = Write(QStringLiteral("locked.png"), SampleFile(Format::Png));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    const bool root = QFileInfo(locked).isReadable();
    const std::pair<QString, QString> cases[] = {
        {QDir(folder->path()).absoluteFilePath(QStringLiteral("missing.jpg")), QStringLiteral("ファイルが見つかりません")},
        {folder->path(), QStringLiteral("フォルダです")},
        {Write(QStringLiteral("empty.jpg"), {}), QStringLiteral("空のファイルです")},
        {Write(QStringLiteral("text.jpg"), {'h', 'e', 'l', 'l', 'o', '\n'}), QStringLiteral("画像ファイルではありません")},
        {MakeBitmap(QStringLiteral("deep.bmp"), 3, 3, 32), QStringLiteral("32ビットのビットマップには対応していません（24ビットのみ）")},
        {locked, root ? QString() : QStringLiteral("ファイルを読む権限がありません")},
    };
    for (const auto& [path, cause] : cases) {
        if (cause.isEmpty())
            continue; // root reads every file
        boxes->shown.clear();
        Open(path);
        ASSERT_EQ(boxes->shown.size(), 1u) << path.toStdString();
        EXPECT_EQ(boxes->shown[0].detail, cause) << path.toStdString();
    }
}

} // namespace
} // namespace korvanti::testing
