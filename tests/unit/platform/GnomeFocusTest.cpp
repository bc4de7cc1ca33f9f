#include "platform/gnome/GnomeFocus.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{

const QString editor = QStringLiteral(":1.20");
const QString browser = QStringLiteral(":1.30");
const QString window = QStringLiteral("/org/a11y/atspi/accessible/8");

} // namespace

TEST(GnomeFocusTest, TheTargetStaysTheSameWindowOnlyWhileNothingSaysTheFocusLeftIt)
{
    using Step = std::function<void(GnomeFocus&)>;
    const struct
    {
        const char* what;
        Step target;
        Step meanwhile;
        bool same;
    } cases[] = {
        {"nothing happened", [](GnomeFocus&) {}, [](GnomeFocus&) {}, true},
        {"another program's X11 window was active", [](GnomeFocus&) {},
         [](GnomeFocus& focus) { focus.foreignX11WindowActivated(); }, false},
        {"an accessible window came and went", [](GnomeFocus&) {},
         [](GnomeFocus& focus) {
             focus.accessibleActivated(browser, window);
             focus.accessibleDeactivated(browser, window);
         },
         false},
        {"an accessible target, back after another window",
         [](GnomeFocus& focus) { focus.accessibleActivated(editor, window); },
         [](GnomeFocus& focus) {
             focus.accessibleDeactivated(editor, window);
             focus.accessibleActivated(browser, window);
             focus.accessibleDeactivated(browser, window);
             focus.foreignX11WindowActivated();
             focus.accessibleActivated(editor, window);
         },
         true},
        {"an accessible target deactivated", [](GnomeFocus& focus) { focus.accessibleActivated(editor, window); },
         [](GnomeFocus& focus) { focus.accessibleDeactivated(editor, window); }, false},
        {"an accessible target, another one's deactivation",
         [](GnomeFocus& focus) { focus.accessibleActivated(editor, window); },
         [](GnomeFocus& focus) { focus.accessibleDeactivated(browser, window); }, true},
        {"an accessible target whose program left",
         [](GnomeFocus& focus) { focus.accessibleActivated(editor, window); },
         [](GnomeFocus& focus) { focus.programGone(editor); }, false},
    };
    for (const auto& expected : cases) {
        GnomeFocus focus;
        expected.target(focus);
        const ActiveWindow::WindowId target = focus.window();
        expected.meanwhile(focus);
        EXPECT_TRUE(ActiveWindow::isNative(focus.window())) << expected.what;
        EXPECT_EQ(focus.window() == target, expected.same) << expected.what;
    }
}
