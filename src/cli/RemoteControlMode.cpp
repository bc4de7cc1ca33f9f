#include "cli/RemoteControlMode.h"

#include "app/InstanceLink.h"
#include "core/Console.h"

namespace RemoteControlMode
{

int run(const QStringList& arguments)
{
    const QByteArray command = arguments.at(1).mid(2).toUtf8();
    if (InstanceLink::send(command))
        return 0;
    Console::printError(QStringLiteral("Толван не запущен — команду «%1» некому передать. Запустите приложение "
                                       "командой tolvan без аргументов.")
                            .arg(QString::fromUtf8(command)));
    return 1;
}

} // namespace RemoteControlMode
