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

TEST(ZoomArithmetic, WorkedValuesAndLimits)
{
    const struct {
        int32_t (*step)(int32_t);
        int32_t from, to;
    } steps[] = {{StepUp, 100, 125},  {StepUp, 125, 156}, {StepDown, 156, 124},
                 {StepDown, 125, 100}, {StepUp, 0, 0},     {StepUp, kLargestViewSize, kLargestViewSize},
                 {StepUp, 2147483647, kLargestViewSize}};
    for (const auto& s : steps)
        EXPECT_EQ(s.step(s.from), s.to) << s.from;
    EXPECT_EQ(ScaledSize(250, 37), 92);
    EXPECT_EQ(ScaledSize(101, 37), 37);
    EXPECT_EQ(ScaledSize(715827882, 500), kLargestViewSize);
    EXPECT_EQ(ZoomPercent(92, 250), 36);
    EXPECT_EQ(ZoomPercent(kLargestViewSize, 1), kLargestViewSize * 100);
    EXPECT_EQ(ZoomPercent(10, 0), 1000);
}

} // namespace
} // namespace korvanti::testing
