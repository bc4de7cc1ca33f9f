#include "platform/gnome/GnomeFocus.h"

namespace
{

QString keyOf(const QString& program, const QString& path)
{
    return program + QLatin1Char(' ') + path;
}

} // namespace

GnomeFocus::GnomeFocus()
{
    focusMayHaveMoved();
}

ActiveWindow::WindowId GnomeFocus::window()
{
    const std::lock_guard lock(mutex_);
    return current_;
}

void GnomeFocus::foreignX11WindowActivated()
{
    const std::lock_guard lock(mutex_);
    focusMayHaveMoved();
}

void GnomeFocus::accessibleActivated(const QString& program, const QString& path)
{
    const std::lock_guard lock(mutex_);
    accessible_ = keyOf(program, path);
    auto known = accessibleWindows_.constFind(accessible_);
    if (known == accessibleWindows_.cend())
        known = accessibleWindows_.insert(accessible_, ActiveWindow::nativeWindowBit | ++lastIdentifier_);
    current_ = known.value();
}

void GnomeFocus::accessibleDeactivated(const QString& program, const QString& path)
{
    const std::lock_guard lock(mutex_);
    if (accessible_ == keyOf(program, path))
        focusMayHaveMoved();
}

void GnomeFocus::programGone(const QString& program)
{
    const std::lock_guard lock(mutex_);
    const QString prefix = program + QLatin1Char(' ');
    accessibleWindows_.removeIf([&prefix](const auto& entry) { return entry.key().startsWith(prefix); });
    programNames_.remove(program);
    if (accessible_.startsWith(prefix))
        focusMayHaveMoved();
}

void GnomeFocus::programNamed(const QString& program, const QString& name)
{
    const std::lock_guard lock(mutex_);
    programNames_.insert(program, name);
}

QString GnomeFocus::focusedProgramName()
{
    const std::lock_guard lock(mutex_);
    return accessible_.isEmpty() ? QString() : programNames_.value(accessible_.section(QLatin1Char(' '), 0, 0));
}

void GnomeFocus::focusMayHaveMoved()
{
    accessible_.clear();
    current_ = ActiveWindow::nativeWindowBit | ++lastIdentifier_;
}
