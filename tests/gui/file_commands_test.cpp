// What the model sequence (tests/model) leaves out of the File menu: the
// zoom controls a close puts back.
#include <QLabel>
#include <QSlider>

#include "gui_test_support.h"

namespace korvanti::testing {
namespace {

using FileCommands = WindowTest;

TEST_F(FileCommands, CloseResetsTheZoomControls)
{
    Open(MakeBitmap(QStringLiteral("a.bmp"), 40, 20));
    window->ZoomIn();
    window->ClosePicture();
    EXPECT_EQ(Find<QLabel>("zoomLabel")->text(), QStringLiteral("100%"));
    EXPECT_EQ(Find<QSlider>("zoomSlider")->value(), 100);
    EXPECT_FALSE(Find<QSlider>("zoomSlider")->isEnabled());
}

} // namespace
} // namespace korvanti::testing
