#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace larkfold::test {

// A web server on 127.0.0.1 answering every GET with one body (an appcast), over plain
// HTTP/1.1, one request per connection. Runs on the main thread's event loop.
class FakeAppcastServer {
public:
    FakeAppcastServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                serve(socket);
        });
    }

    bool isListening() const { return m_server.isListening(); }
    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(m_server.serverPort()));
    }
    void setFeed(QByteArray body, int status = 200)
    {
        m_body = std::move(body);
        m_status = status;
    }
    int requestCount() const { return m_requests; }
    // Stops listening: the address no longer answers.
    void close() { m_server.close(); }

private:
    void serve(QTcpSocket* socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            m_requests += socket->readAll().contains("\r\n\r\n") ? 1 : 0;
            const QByteArray reason = m_status == 200 ? "OK" : "Error";
            socket->write("HTTP/1.1 " + QByteArray::number(m_status) + ' ' + reason + "\r\n"
                          "Content-Type: application/rss+xml\r\nConnection: close\r\nContent-Length: "
                          + QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
            socket->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    QByteArray m_body;
    int m_status = 200;
    int m_requests = 0;
};

} // namespace larkfold::test
