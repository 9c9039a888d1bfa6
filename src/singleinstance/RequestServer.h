// Where the running engine of an installation is asked things: the terminal commands' requests, and a
// window's program asking the background engine for the tasks.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;
class QTimer;

// The name the engine of the installation with `key` listens under, whichever process runs it.
QString EngineServerName(const QString& key);

// What a connection may hold of the process: every connection takes a descriptor, and a client
// that connects and never finishes (or never takes its reply) would keep it for ever.
struct RequestServerLimits {
    // From connecting to the whole request; once answered, the longest the reply may wait for the
    // client to take more of it. A command sends its request at once, so this is generous.
    std::chrono::milliseconds requestTime{5000};
    // Connections held at once; one more is closed as soon as it is accepted.
    int connections = 64;
};

// A local server that takes one request per connection: a connect message of kind TerminalRequest with
// the installation's key, then one request frame; it answers with one reply frame and closes. Only the
// user the program runs as is heard. On the thread that made it, in its event loop.
class RequestServer {
public:
    using Handler = std::function<QByteArray(const QByteArray& request)>;

    RequestServer(QString key, Handler handler, RequestServerLimits limits = {});
    ~RequestServer();
    RequestServer(const RequestServer&) = delete;
    RequestServer& operator=(const RequestServer&) = delete;

    // Listens under EngineServerName(key). A socket of that name left behind is replaced, so call this
    // only while holding the role the name belongs to. False when it cannot listen.
    bool Listen();

private:
    enum class Stage { Header, Body, Request, Answered };
    struct Peer {
        QTimer* deadline = nullptr; // the socket's child
        Stage stage = Stage::Header;
        qint64 bodyLength = 0;
    };

    void Accept();
    void Read(QLocalSocket* socket);
    void Forget(QLocalSocket* socket);
    void Drop(QLocalSocket* socket);

    QString m_key;
    Handler m_handler;
    RequestServerLimits m_limits;
    std::unique_ptr<QLocalServer> m_server;
    QHash<QLocalSocket*, Peer> m_peers;
};
