#pragma once

#include <QCoreApplication>
#include <QPointer>

// The one instance of a main-thread object per process: made on first use, owned by the application
// object, so that it goes with it (and is made again should a later application object ask).
template <typename T> T& sharedInstance()
{
    static QPointer<T> instance;
    if (!instance)
        instance = new T(QCoreApplication::instance());
    return *instance;
}
