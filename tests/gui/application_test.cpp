// The exception report: an exception a handler lets escape is shown and the
// event loop goes on. Also the zoom arithmetic on its own.
#include <stdexcept>

#include <QCoreApplication>
#include <QEvent>

#include "gui_test_support.h"
#include "view/zoom.h"

namespace korvanti::testing {
namespace {

class Thrower : public QObject {
public:
    bool standard = true;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (standard)
            throw std::runtime_error("失敗しました");
        throw 42;
    }
};

TEST(ExceptionReport, EscapedExceptionsAreShownAndTheLoopGoesOn)
{
    ScriptedBoxes boxes;
    Thrower thrower;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&thrower, &event);
    thrower.standard = false;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    ASSERT_EQ(boxes.exceptions.size(), 2u);
    EXPECT_EQ(boxes.exceptions[0], QStringLiteral("失敗しました"));
    EXPECT_EQ(boxes.exceptions[1], QString());
}

// The worked steps are the window's zoom table (view_test.cpp); here the
// limits the window cannot reach.
TEST(ZoomArithmetic, Limits)
{
    EXPECT_EQ(StepUp(0), 0);
    EXPECT_EQ(StepUp(kLargestViewSize), kLargestViewSize);
    EXPECT_EQ(StepUp(2147483647), kLargestViewSize);
    EXPECT_EQ(ScaledSize(715827882, 500), kLargestViewSize);
    EXPECT_EQ(ZoomPercent(kLargestViewSize, 1), kLargestViewSize * 100);
    EXPECT_EQ(ZoomPercent(10, 0), 1000);
}

} // namespace
} // namespace korvanti::testing
