#include "core/SystemErrors.h"

#include "core/Log.h"

#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>

#include <cerrno>
#include <initializer_list>

namespace
{

QString serverName(const QUrl& url)
{
    return url.host().isEmpty() ? QStringLiteral("сервер") : QStringLiteral("сервер ") + url.host();
}

void logNetwork(const QUrl& url, const QString& technical)
{
    Log::info(QStringLiteral("Сеть: %1 — %2").arg(url.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery), technical));
}

Error proxyError(const QString& detail = QString())
{
    return Error::tolvan(
        SystemErrors::proxyCode,
        QStringLiteral("прокси-сервер не пропускает запрос%1 — проверьте настройки прокси.").arg(detail));
}

// The sentence for a failure below the HTTP level, or for an HTTP-level one that came without a status.
Error transportError(QNetworkReply::NetworkError error, const QUrl& url)
{
    using E = QNetworkReply;
    const QString server = serverName(url);
    switch (error) {
    case E::HostNotFoundError:
        return Error::tolvan(SystemErrors::networkCode,
                             QStringLiteral("%1 не найден — проверьте подключение к интернету.").arg(server));
    case E::ConnectionRefusedError:
        return Error::tolvan(
            SystemErrors::networkCode,
            QStringLiteral("%1 не принимает соединения — проверьте подключение к интернету или повторите позже.")
                .arg(server));
    case E::RemoteHostClosedError:
        return Error::tolvan(SystemErrors::networkCode,
                             QStringLiteral("%1 оборвал соединение — повторите позже.").arg(server));
    // Downloads end a transfer that stalls or runs too long by aborting it.
    case E::TimeoutError:
    case E::OperationCanceledError:
        return Error::tolvan(
            SystemErrors::timeoutCode,
            QStringLiteral("%1 не отвечает — проверьте подключение к интернету и повторите.").arg(server));
    case E::SslHandshakeFailedError:
        return Error::tolvan(SystemErrors::secureConnectionCode,
                             QStringLiteral("не удалось установить защищённое соединение с %1 — проверьте дату и "
                                            "время компьютера и настройки прокси.")
                                 .arg(url.host()));
    case E::TooManyRedirectsError:
    case E::InsecureRedirectError:
        return Error::tolvan(SystemErrors::networkCode,
                             QStringLiteral("%1 перенаправляет запрос по кругу или на небезопасный адрес — повторите "
                                            "позже.")
                                 .arg(server));
    case E::ProxyAuthenticationRequiredError:
        return proxyError(QStringLiteral(" без имени и пароля"));
    case E::ProxyConnectionRefusedError:
    case E::ProxyConnectionClosedError:
    case E::ProxyNotFoundError:
    case E::ProxyTimeoutError:
    case E::UnknownProxyError:
        return proxyError();
    case E::ProtocolUnknownError:
    case E::ProtocolInvalidOperationError:
    case E::ProtocolFailure:
        return Error::tolvan(SystemErrors::networkCode,
                             QStringLiteral("%1 ответил непонятно — повторите позже.").arg(server));
    default:
        break;
    }
    // Errors of the answer's content or of the server without a status.
    if (error >= E::ContentAccessDenied)
        return Error::tolvan(SystemErrors::networkCode,
                             QStringLiteral("%1 ответил ошибкой — повторите позже.").arg(server));
    return Error::tolvan(SystemErrors::networkCode,
                         QStringLiteral("сеть недоступна — проверьте подключение к интернету."));
}

// "%1" is the server, "%2" the status.
QString httpSentence(int status)
{
    if (status == 404 || status == 410)
        return QStringLiteral("%1 не нашёл файл (HTTP %2) — повторите позже или обновите Толван.");
    if (status == 401 || status == 403)
        return QStringLiteral("%1 отказал в доступе (HTTP %2) — повторите позже; если вы выходите в интернет через "
                              "прокси, проверьте его настройки.");
    if (status == 408 || status == 429)
        return QStringLiteral("%1 перегружен (HTTP %2) — повторите через несколько минут.");
    if (status >= 500 && status <= 599)
        return QStringLiteral("%1 временно не работает (HTTP %2) — повторите позже.");
    return QStringLiteral("%1 ответил ошибкой HTTP %2 — повторите позже.");
}

bool throughProxy(const QNetworkReply& reply)
{
    QNetworkProxy proxy = reply.manager() ? reply.manager()->proxy() : QNetworkProxy();
    if (proxy.type() == QNetworkProxy::DefaultProxy)
        proxy = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(reply.url())).value(0);
    return proxy.type() != QNetworkProxy::NoProxy && proxy.type() != QNetworkProxy::DefaultProxy;
}

// Through a proxy these are the proxy's failures, whatever Qt calls them (a refused tunnel is an unknown error).
bool isConnectionFailure(QNetworkReply::NetworkError error)
{
    using E = QNetworkReply;
    return error == E::ConnectionRefusedError || error == E::RemoteHostClosedError || error == E::HostNotFoundError ||
           error == E::UnknownNetworkError ||
           (error >= E::ProxyConnectionRefusedError && error <= E::UnknownProxyError);
}

bool reportsOneOf(const QFileDevice& file, std::initializer_list<int> systemErrors)
{
    // The file engines put the system's own text for errno into errorString().
    for (const int systemError : systemErrors) {
        if (file.errorString() == qt_error_string(systemError))
            return true;
    }
    return false;
}

} // namespace

namespace SystemErrors
{

Error ofReply(const QNetworkReply& reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        return ofHttpStatus(status.toInt(), reply.url());
    if (throughProxy(reply) && isConnectionFailure(reply.error())) {
        logNetwork(reply.url(), QStringLiteral("%1 (QNetworkReply %2, через прокси)")
                                    .arg(reply.errorString(), QString::number(static_cast<int>(reply.error()))));
        return proxyError();
    }
    return ofNetwork(reply.error(), reply.url(), reply.errorString());
}

Error ofNetwork(QNetworkReply::NetworkError error, const QUrl& url, const QString& technical)
{
    logNetwork(url, QStringLiteral("%1 (QNetworkReply %2)").arg(technical, QString::number(static_cast<int>(error))));
    return transportError(error, url);
}

Error ofHttpStatus(int status, const QUrl& url)
{
    logNetwork(url, QStringLiteral("HTTP %1").arg(status));
    if (status == 407)
        return proxyError(QStringLiteral(" без имени и пароля (HTTP 407)"));
    return Error::tolvan(status, httpSentence(status).arg(serverName(url)).arg(status));
}

Error ofFile(const QFileDevice& file)
{
    const QString folder = QFileInfo(file.fileName()).absolutePath();
    Log::info(QStringLiteral("Файл %1: %2").arg(file.fileName(), file.errorString()));
    // A write that finds the disk full is a resource error.
    if (file.error() == QFileDevice::ResourceError || reportsOneOf(file, {ENOSPC, EDQUOT}))
        return Error::tolvan(
            noSpaceCode,
            QStringLiteral("на диске не хватает места (папка %1) — освободите место и повторите.").arg(folder));
    if (reportsOneOf(file, {EACCES, EPERM, EROFS}))
        return Error::tolvan(
            noAccessCode,
            QStringLiteral("нет прав на запись в папку %1 — проверьте её владельца и права доступа.").arg(folder));
    return Error::tolvan(fileCode,
                         QStringLiteral("не удалось записать файл в папку %1 — проверьте свободное место на диске и "
                                        "права доступа к папке.")
                             .arg(folder));
}

Error ofFolder(const QString& path)
{
    const QString folder = QDir::cleanPath(QDir(path).absolutePath());
    QFileInfo existing(folder);
    while (!existing.exists() && !existing.isRoot())
        existing = QFileInfo(existing.absolutePath());
    Log::info(QStringLiteral("Не удалось создать папку %1 (ближайшая существующая: %2)")
                  .arg(folder, existing.absoluteFilePath()));
    if (!existing.isDir())
        return Error::tolvan(fileCode, QStringLiteral("не удалось создать папку %1: на её месте лежит файл %2 — "
                                                      "переименуйте или удалите его.")
                                           .arg(folder, existing.absoluteFilePath()));
    if (!existing.isWritable())
        return Error::tolvan(noAccessCode,
                             QStringLiteral("нет прав на запись в папку %1 — проверьте её владельца и права доступа.")
                                 .arg(existing.absoluteFilePath()));
    return Error::tolvan(fileCode, QStringLiteral("не удалось создать папку %1 — проверьте свободное место на диске "
                                                  "и права доступа.")
                                       .arg(folder));
}

} // namespace SystemErrors
