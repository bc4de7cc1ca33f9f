#include <QByteArray>

namespace
{

// Widgets and the clipboard without any display: nothing these tests do may reach a real desktop (not even
// the test rig's, which other tests use at the same time).
const bool offscreen = [] {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    return true;
}();

} // namespace
