#include "UpdateServer.h"

#include <stdexcept>

UpdateServer::UpdateServer()
    : server_([this](const HttpRequest& request) {
          const auto route = routes_.constFind(request.path);
          return route == routes_.cend() ? HttpResponse::text(404, "not found") : *route;
      })
{
    if (!server_.listen())
        throw std::runtime_error("the update server cannot listen");
}

void UpdateServer::put(const QString& path, const HttpResponse& response)
{
    routes_.insert(QUrl(path).toEncoded(), response);
}

void UpdateServer::putFile(const QString& path, const QByteArray& body, const QByteArray& type)
{
    put(path, HttpResponse::text(200, body, type));
}

int UpdateServer::requestCount(const QString& path) const
{
    const QByteArray encoded = QUrl(path).toEncoded();
    int count = 0;
    for (const HttpRequest& request : server_.requests())
        count += request.path == encoded ? 1 : 0;
    return count;
}
