#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1String>
#include <QStringView>

#include <optional>
#include <span>

// The commands a running Tolvan takes over its socket, from a second start or from the command line; the
// socket, the command line and the application all work from this one table.
namespace RemoteCommand
{
enum class Kind
{
    show,
    toggle,
    finish,
    cancel,
    learn,
};

struct Entry
{
    Kind kind;
    // On the socket; with "--" before it, the command line's flag.
    QLatin1String name;
    // For `tolvan --help`; empty for a command the command line does not offer.
    QStringView summary;
};

std::span<const Entry> all();
std::optional<Kind> named(QByteArrayView name);
QByteArray name(Kind kind);
} // namespace RemoteCommand
