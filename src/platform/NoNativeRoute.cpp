#include "platform/NoNativeRoute.h"

NoNativeRoute& NoNativeRoute::shared()
{
    static NoNativeRoute route;
    return route;
}
