// Where the running engine of an installation is asked things: the terminal commands' requests, and a
// window's program asking the background engine for the tasks.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

// The name the engine of the installation with `key` listens under, whichever process runs it.
QString EngineServerName(const QString& key);

// A local server that takes one request per connection: a connect message of kind TerminalRequest with
// the installation's key, then one request frame; it answers with one reply frame and closes. Only the
// user the program runs as is heard. On the thread that made it, in its event loop.
class RequestServer {
public:
    using Handler = std::function<QByteArray(const QByteArray& request)>;

    RequestServer(QString key, Handler handler);
    ~RequestServer();
    RequestServer(const RequestServer&) = delete;
    RequestServer& operator=(const RequestServer&) = delete;

    // Listens under EngineServerName(key). A socket of that name left behind is replaced, so call this
    // only while holding the role the name belongs to. False when it cannot listen.
    bool Listen();

private:
    enum class Stage { Header, Body, Request, Answered };
    struct Peer {
        Stage stage = Stage::Header;
        qint64 bodyLength = 0;
    };

    void Accept();
    void Read(QLocalSocket* socket);

    QString m_key;
    Handler m_handler;
    std::unique_ptr<QLocalServer> m_server;
    QHash<QLocalSocket*, Peer> m_peers;
};
