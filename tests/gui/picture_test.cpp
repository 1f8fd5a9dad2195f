// The picture the view shows: made from the document's rows at any size
// the core accepts, and a picture that cannot be made leaves the window as
// it was.
#include <QMenu>

#include "gui_test_support.h"
#include "view/image_control.h"

namespace korvanti::testing {
namespace {

using ShownPicture = WindowTest;

// Over 33,554,432 pixels, the most Qt's image reader takes by default.
TEST_F(ShownPicture, APictureOverTheImageReadersLimitIsShown)
{
    const int width = 6000, height = 5600;
    const int64_t stride = RowStride(width);
    Bytes big = MakeBmp(Picture(1, 1));
    big.resize(static_cast<size_t>(54 + stride * height));
    Put32(big, 2, static_cast<uint32_t>(big.size()));
    Put32(big, 18, width);
    Put32(big, 22, height);
    Put32(big, 34, static_cast<uint32_t>(stride * height));
    // The bottom row comes first in the file; the last byte ends the top row.
    big[54] = 0x11, big[55] = 0x22, big[56] = 0x33;
    big[static_cast<size_t>(54 + stride * height - 1)] = 0x44;
    const QString path = QDir(folder->path()).absoluteFilePath(QStringLiteral("big.bmp"));
    WriteFile(path.toStdString(), big);
    Open(path);
    EXPECT_TRUE(boxes->shown.empty() && boxes->exceptions.empty());
    const QImage& shown = window->image_control()->Picture();
    ASSERT_EQ(shown.size(), QSize(width, height));
    EXPECT_EQ(shown.pixel(0, height - 1), qRgb(0x33, 0x22, 0x11));
    EXPECT_EQ(shown.pixel(width - 1, 0), qRgb(0x44, 0, 0));
}

// A picture the view cannot get (no memory for it) is reported as a file
// not read, and nothing of the window changes: with no picture open or
// with one.
TEST_F(ShownPicture, APictureThatCannotBeMadeLeavesTheWindowWhole)
{
    const QString refused = MakeBitmap(QStringLiteral("refused.bmp"), 7, 3);
    const auto state = [&] {
        QStringList texts{Caption(), ToByteArray(window->document().file_bytes).toHex(),
                          QString::number(window->image_control()->Picture().cacheKey())};
        for (int panel = 0; panel < 5; ++panel)
            texts << window->StatusText(panel);
        for (const char* name : {"saveAction", "saveAsAction", "closeAction", "toolsMenu", "zoomInAction"})
            texts << QString::number(Action(name)->isEnabled());
        return texts;
    };
    for (const bool with_picture : {false, true}) {
        SCOPED_TRACE(with_picture);
        if (with_picture) {
            window->make_picture = PictureOf;
            Open(MakeBitmap(QStringLiteral("shown.bmp"), 4, 2));
        }
        const QStringList before = state();
        window->make_picture = [](const Document&, QImage) { return QImage(); };
        boxes->shown.clear();
        Open(refused);
        ASSERT_EQ(boxes->shown.size(), 1u);
        EXPECT_EQ(boxes->shown[0].text, QStringLiteral("読み込みに失敗しました。"));
        EXPECT_EQ(state(), before);
    }
}

} // namespace
} // namespace korvanti::testing
