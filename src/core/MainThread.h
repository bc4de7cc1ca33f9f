#pragma once

#include <QObject>

#include <functional>

// Running work on the application's main thread, the thread that owns the controller, the menu and the
// windows.
namespace MainThread
{
// Queues the function to run on the context object's thread; it never runs once the context is gone.
void post(QObject* context, std::function<void()> function);
// Queues the function to run on the main thread, for work that has no owner to outlive.
void post(std::function<void()> function);
bool isCurrent();
} // namespace MainThread
