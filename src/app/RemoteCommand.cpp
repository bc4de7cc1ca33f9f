#include "app/RemoteCommand.h"

#include <algorithm>

namespace
{

constexpr RemoteCommand::Entry entries[] = {
    {RemoteCommand::Kind::show, QLatin1String("show"), u""},
    {RemoteCommand::Kind::toggle, QLatin1String("toggle"), u"начать диктовку в запущенном приложении или закончить её"},
    {RemoteCommand::Kind::finish, QLatin1String("finish"),
     u"закончить диктовку в запущенном приложении и вставить текст"},
    {RemoteCommand::Kind::cancel, QLatin1String("cancel"), u"отменить диктовку в запущенном приложении"},
    {RemoteCommand::Kind::learn, QLatin1String("learn"), u"выучить слово, выделенное в активном окне"},
};

} // namespace

namespace RemoteCommand
{

std::span<const Entry> all()
{
    return entries;
}

std::optional<Kind> named(QByteArrayView name)
{
    const auto entry = std::find_if(std::begin(entries), std::end(entries), [name](const Entry& candidate) {
        return name == QByteArrayView(candidate.name.data(), candidate.name.size());
    });
    return entry == std::end(entries) ? std::nullopt : std::optional(entry->kind);
}

QByteArray name(Kind kind)
{
    const auto entry = std::find_if(std::begin(entries), std::end(entries),
                                    [kind](const Entry& candidate) { return candidate.kind == kind; });
    return QByteArray(entry->name.data(), entry->name.size());
}

} // namespace RemoteCommand
