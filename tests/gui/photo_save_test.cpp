// Photos saved from the window: 上書き保存 in the picture's own type with its
// colour profile and EXIF block, 名前を付けて保存 by the name's extension or
// the filter chosen, HEIC and AVIF saved as a JPEG under a name chosen, and
// a BMP still written byte for byte.
#include <QFileInfo>

#include "app/settings.h"
#include "codecs/exif.h"
#include "gui_test_support.h"
#include "photo_samples.h"

namespace korvanti::testing {
namespace {

using codecs::Format;

const QString kSuffix = QStringLiteral("  -  Korvanti ver 1.0.0");

// The pixel rows of a BMP file, padding left out.
Bytes PixelsOf(const Bytes& bitmap)
{
    if (bitmap.size() < 54)
        return {};
    const int32_t width = int32_t(bitmap[18] | bitmap[19] << 8);
    const int32_t height = int32_t(bitmap[22] | bitmap[23] << 8);
    Bytes pixels;
    for (int32_t y = 0; y < height; ++y) {
        const auto row = bitmap.begin() + 54 + y * RowStride(width);
        pixels.insert(pixels.end(), row, row + width * 3);
    }
    return pixels;
}

class PhotoSaving : public WindowTest {
protected:
    QString Write(const QString& name, const Bytes& bytes)
    {
        const QString path = QDir(folder->path()).absoluteFilePath(name);
        WriteFile(path.toStdString(), bytes);
        return path;
    }
    QString PathOf(const QString& name) const { return QDir(folder->path()).absoluteFilePath(name); }
    Bytes OnDisk(const QString& name) const { return ReadFile(PathOf(name).toStdString()); }
};

// Saving over the file writes the type it was read as: the pixels come back
// exactly from a lossless type, and a lossy one is the codec's file of them
// at quality 92; the profile (and, where the type holds one, the EXIF
// block, upright) is kept.
TEST_F(PhotoSaving, SaveWritesThePicturesOwnTypeKeepingProfileAndExif)
{
    struct Case {
        QString name;
        Bytes file;
        Format written;
        bool lossy;
        bool lossless; // a WebP written losslessly
        bool keeps_icc;
        bool keeps_exif;
    };
    const Case cases[] = {
        {QStringLiteral("a.jpg"), SampleFile(Format::Jpeg), Format::Jpeg, true, false, true, true},
        {QStringLiteral("a.png"), SampleFile(Format::Png), Format::Png, false, false, true, true},
        {QStringLiteral("a.webp"), SampleFile(Format::Webp), Format::Webp, false, true, true, true},
        {QStringLiteral("lossy.webp"), SampleFile(Format::Webp, true), Format::Webp, true, false, true, true},
        {QStringLiteral("a.tif"), SampleFile(Format::Tiff), Format::Tiff, false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString path = Write(c.name, c.file);
        boxes->shown.clear();
        Open(path);
        Apply("invert");
        window->SavePicture();
        EXPECT_TRUE(boxes->shown.empty());
        EXPECT_TRUE(dialogs->save_initial_names.empty());
        const Bytes saved = OnDisk(c.name);
        ASSERT_EQ(codecs::SniffFormat(saved), c.written);
        const codecs::Decoded back = DecodedFile(saved);
        const Bytes& picture = window->document().file_bytes;
        if (c.lossy) {
            Bytes expected;
            ASSERT_TRUE(codecs::Encode(c.written, {picture.data() + 54, 9, 13, RowStride(9)}, {92, false}, SampleIcc(),
                                       ExifWithOrientation(1), expected)
                            .ok());
            EXPECT_EQ(saved, expected);
        } else {
            EXPECT_EQ(PixelsOf(back.bitmap), PixelsOf(picture));
        }
        EXPECT_EQ(back.lossless, c.lossless);
        EXPECT_EQ(back.icc, c.keeps_icc ? SampleIcc() : Bytes{});
        EXPECT_EQ(back.exif, c.keeps_exif ? ExifWithOrientation(1) : Bytes{});
        EXPECT_EQ(Caption(), path);
        EXPECT_EQ(window->StatusText(2), QStringLiteral("ファイル：未編集"));
        EXPECT_EQ(settings::RecentFiles().value(0), path);
        // Yes at the unsaved-changes prompt writes it the same way.
        Apply("invert");
        const Bytes again = window->document().file_bytes;
        boxes->answers = {kAnswerYes};
        window->ClosePicture();
        const Bytes closed = OnDisk(c.name);
        EXPECT_EQ(codecs::SniffFormat(closed), c.written);
        EXPECT_TRUE(c.lossy || PixelsOf(DecodedFile(closed).bitmap) == PixelsOf(again));
    }
    // A BMP is written exactly as its bytes are held.
    Open(MakeBitmap(QStringLiteral("a.bmp"), 7, 5));
    Apply("invert");
    window->SavePicture();
    EXPECT_EQ(OnDisk(QStringLiteral("a.bmp")), window->document().file_bytes);
}

// 名前を付けて保存: a name with an extension the program writes (in lower
// case) is written in that type; any other name takes the filter's
// extension and type. The type then is the picture's.
TEST_F(PhotoSaving, SaveAsWritesTheNamesTypeElseTheFiltersOne)
{
    struct Case {
        QString answer;
        Format filter;
        QString saved_as;
        Format written;
        QString panel;
    };
    const Case cases[] = {
        {QStringLiteral("b"), Format::Jpeg, QStringLiteral("b.jpg"), Format::Jpeg, QStringLiteral("ファイル形式：JPEG")},
        {QStringLiteral("c"), Format::Bmp, QStringLiteral("c.bmp"), Format::Bmp, QStringLiteral("ファイル形式：ビットマップ(24Bit)")},
        {QStringLiteral("d.png"), Format::Bmp, QStringLiteral("d.png"), Format::Png, QStringLiteral("ファイル形式：PNG")},
        {QStringLiteral("e.webp"), Format::Jpeg, QStringLiteral("e.webp"), Format::Webp, QStringLiteral("ファイル形式：WebP")},
        {QStringLiteral("f.tiff"), Format::Png, QStringLiteral("f.tiff"), Format::Tiff, QStringLiteral("ファイル形式：TIFF")},
        {QStringLiteral("g.jpeg"), Format::Tiff, QStringLiteral("g.jpeg"), Format::Jpeg, QStringLiteral("ファイル形式：JPEG")},
        {QStringLiteral("h.heic"), Format::Png, QStringLiteral("h.heic.png"), Format::Png, QStringLiteral("ファイル形式：PNG")},
        {QStringLiteral("I.BMP"), Format::Bmp, QStringLiteral("I.BMP.bmp"), Format::Bmp, QStringLiteral("ファイル形式：ビットマップ(24Bit)")},
        {QStringLiteral("j"), Format::Tiff, QStringLiteral("j.tif"), Format::Tiff, QStringLiteral("ファイル形式：TIFF")},
    };
    Open(Write(QStringLiteral("a.jpg"), SampleFile(Format::Jpeg)));
    Apply("invert");
    const Bytes picture = window->document().file_bytes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        const Format previous = window->picture_traits().format;
        dialogs->save_answers = {PathOf(c.answer)};
        dialogs->save_filters = {c.filter};
        window->SavePictureAs();
        // The dialog starts with the filter of the picture's type.
        EXPECT_EQ(dialogs->save_initial_filters.back(), previous);
        const Bytes saved = OnDisk(c.saved_as);
        ASSERT_EQ(codecs::SniffFormat(saved), c.written);
        if (c.written == Format::Bmp) {
            EXPECT_EQ(saved, picture);
        }
        EXPECT_EQ(DecodedFile(saved).exif, c.written == Format::Tiff || c.written == Format::Bmp ? Bytes{} : ExifWithOrientation(1));
        EXPECT_EQ(Caption(), PathOf(c.saved_as) + kSuffix);
        EXPECT_EQ(window->StatusText(3), c.panel);
        EXPECT_EQ(window->picture_traits().format, c.written);
    }
    EXPECT_TRUE(boxes->shown.empty());
}

// HEIC and AVIF are read but not written: 上書き保存, and Yes at the
// unsaved-changes prompt, ask for a name, offering the file's as a JPEG;
// the file read stays as it was, and the JPEG is the picture's file after.
TEST_F(PhotoSaving, HeicAndAvifAreSavedAsAJpegUnderANameChosen)
{
    for (const Format format : {Format::Heic, Format::Avif}) {
        const QString name = format == Format::Heic ? QStringLiteral("p.heic") : QStringLiteral("p.avif");
        SCOPED_TRACE(name.toStdString());
        const Bytes original = SampleFile(format);
        const QString path = Write(name, original);
        const QString as_jpeg = PathOf(QStringLiteral("p.jpg"));
        QFile::remove(as_jpeg);
        // Save: cancelled, then chosen.
        Open(path);
        Apply("invert");
        dialogs->save_initial_names.clear();
        dialogs->save_answers = {std::nullopt, as_jpeg};
        window->SavePicture();
        EXPECT_FALSE(QFileInfo::exists(as_jpeg));
        EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
        window->SavePicture();
        EXPECT_EQ(dialogs->save_initial_names, (std::vector<QString>{as_jpeg, as_jpeg}));
        EXPECT_EQ(dialogs->save_initial_filters.back(), Format::Jpeg);
        EXPECT_EQ(OnDisk(name), original);
        EXPECT_EQ(codecs::SniffFormat(OnDisk(QStringLiteral("p.jpg"))), Format::Jpeg);
        EXPECT_EQ(Caption(), as_jpeg + kSuffix);
        EXPECT_EQ(window->StatusText(3), QStringLiteral("ファイル形式：JPEG"));
        // The prompt's Yes, with the dialog cancelled: the picture stays.
        QFile::remove(as_jpeg);
        Open(path);
        Apply("invert");
        boxes->answers = {kAnswerYes};
        dialogs->save_answers = {std::nullopt};
        window->ClosePicture();
        EXPECT_EQ(dialogs->save_initial_names.back(), as_jpeg);
        EXPECT_FALSE(QFileInfo::exists(as_jpeg));
        EXPECT_EQ(Caption(), path + QStringLiteral(" * ") + kSuffix);
        // Chosen this time: written, and the close goes on.
        boxes->answers = {kAnswerYes};
        dialogs->save_answers = {as_jpeg};
        window->ClosePicture();
        EXPECT_EQ(codecs::SniffFormat(OnDisk(QStringLiteral("p.jpg"))), Format::Jpeg);
        EXPECT_EQ(Caption(), QStringLiteral("Korvanti ver 1.0.0"));
    }
}

} // namespace
} // namespace korvanti::testing
