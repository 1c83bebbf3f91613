#pragma once
// A stand-in for the support relay on loopback: an HTTP server that records
// each raw request head and answers it with canned bytes, optionally late or
// never. For the faults the real relay script cannot show.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <map>

class QTcpSocket;

class ScriptedHttpServer : public QObject {
public:
    QByteArray response;       // sent as is, then the connection is closed
    int delayMs = 0;           // wait this long before answering
    bool silent = false;       // never answer
    QList<QByteArray> requests;

    ScriptedHttpServer();
    QString Domain() const;
    quint16 Port() const { return server_.serverPort(); }
    bool IsListening() const { return server_.isListening(); }

private:
    void Read(QTcpSocket* socket);

    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

// A whole HTTP/1.1 response: the status line, Content-Type text/html, the
// body's Content-Length, `extraHeaders` (each ending in CR LF) and
// "Connection: close".
QByteArray Canned(const QByteArray& statusLine, const QByteArray& body, const QByteArray& extraHeaders = {});

// A loopback port that nothing listens on (it was free a moment ago).
quint16 ClosedLoopbackPort();
