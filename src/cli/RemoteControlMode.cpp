#include "cli/RemoteControlMode.h"

#include "app/InstanceLink.h"
#include "core/Console.h"

namespace RemoteControlMode
{

int run(RemoteCommand::Kind command)
{
    if (InstanceLink::send(command))
        return 0;
    Console::printError(QStringLiteral("Толван не запущен — команду «%1» некому передать. Запустите приложение "
                                       "командой tolvan без аргументов.")
                            .arg(QString::fromLatin1(RemoteCommand::name(command))));
    return 1;
}

} // namespace RemoteControlMode
