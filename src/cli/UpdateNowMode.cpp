#include "cli/UpdateNowMode.h"

#include "core/Console.h"
#include "update/Updater.h"

#include <QUrl>

namespace UpdateNowMode
{

int run(const QStringList& arguments)
{
    const QUrl feedURL(arguments.at(2), QUrl::StrictMode);
    if (!feedURL.isValid() || feedURL.isRelative()) {
        Console::print(QStringLiteral("некорректный URL фида"));
        return 1;
    }
    return Updater::headlessUpdate(feedURL);
}

} // namespace UpdateNowMode
