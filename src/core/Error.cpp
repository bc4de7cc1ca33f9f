#include "core/Error.h"

#include <utility>

Error::Error(QString domain, int code, QString description)
    : domain_(std::move(domain)), code_(code), description_(std::move(description))
{}

Error Error::tolvan(int code, const QString& message)
{
    return Error(QString::fromLatin1(tolvanDomain), code, message);
}

Error Error::system(const QString& domain, int code, const QString& description)
{
    return Error(domain, code, description);
}
