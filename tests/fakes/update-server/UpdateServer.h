#pragma once

#include "support/LocalHttpServer.h"

#include <QMap>

// A loopback update server: each path answers what was put there; any other path answers 404.
class UpdateServer
{
public:
    UpdateServer();

    void put(const QString& path, const HttpResponse& response);
    void putFile(const QString& path, const QByteArray& body, const QByteArray& type = "application/gzip");
    QUrl url(const QString& path) const { return server_.url(path); }
    // How many requests asked for the path.
    int requestCount(const QString& path) const;
    int totalRequests() const { return static_cast<int>(server_.requests().size()); }

private:
    LocalHttpServer server_;
    QMap<QByteArray, HttpResponse> routes_;
};
