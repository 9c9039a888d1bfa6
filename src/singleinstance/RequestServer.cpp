// The engine's side of a request: read the connect message and the frame, answer, close.
#include "singleinstance/RequestServer.h"

#include "singleinstance/ConnectMessage.h"
#include "singleinstance/RequestFrame.h"

#include "platform/LocalServerName.h"
#include "platform/PeerUser.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

QString EngineServerName(const QString& key) {
    return LocalServerName(key + QStringLiteral("-engine"));
}

RequestServer::RequestServer(QString key, Handler handler, RequestServerLimits limits)
    : m_key(std::move(key)), m_handler(std::move(handler)), m_limits(limits) {}

RequestServer::~RequestServer() {
    // The peers go with the server; none of their handlers may run on a half-destroyed object.
    for (auto peer = m_peers.begin(); peer != m_peers.end(); ++peer) {
        peer.key()->disconnect();
        peer->deadline->disconnect();
    }
    m_peers.clear();
}

bool RequestServer::Listen() {
    const QString name = EngineServerName(m_key);
    QLocalServer::removeServer(name);
    m_server = std::make_unique<QLocalServer>();
    // Only the user: whoever reaches the engine can run tasks.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] { Accept(); });
    return m_server->listen(name);
}

void RequestServer::Accept() {
    while (QLocalSocket* peer = m_server->nextPendingConnection()) {
        if (!IsPeerOfThisUser(peer->socketDescriptor())) {
            peer->abort();
            peer->deleteLater();
            continue;
        }
        if (m_peers.size() >= m_limits.connections) {
            peer->abort();
            peer->deleteLater();
            continue;
        }
        auto* deadline = new QTimer(peer);
        deadline->setSingleShot(true);
        deadline->setInterval(m_limits.requestTime);
        QObject::connect(deadline, &QTimer::timeout, peer, [this, peer] { Drop(peer); });
        deadline->start();
        m_peers.insert(peer, Peer{deadline});
        QObject::connect(peer, &QLocalSocket::disconnected, peer, [this, peer] { Forget(peer); });
        QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] { Read(peer); });
        // A long reply is taken in parts: only a client that stops taking it is dropped.
        QObject::connect(peer, &QLocalSocket::bytesWritten, deadline, qOverload<>(&QTimer::start));
    }
}

void RequestServer::Forget(QLocalSocket* socket) {
    const auto found = m_peers.find(socket);
    if (found == m_peers.end()) {
        return;
    }
    found->deadline->stop();
    m_peers.erase(found);
    socket->deleteLater();
}

// Without waiting for a reply to be written: the client is not taking it.
void RequestServer::Drop(QLocalSocket* socket) {
    Forget(socket);
    socket->disconnect();
    socket->abort();
}

void RequestServer::Read(QLocalSocket* socket) {
    const auto found = m_peers.find(socket);
    if (found == m_peers.end()) {
        return;
    }
    Peer& peer = *found;
    if (peer.stage == Stage::Header) {
        if (socket->bytesAvailable() < ConnectMessage::kHeaderSize) {
            return;
        }
        const auto length = ConnectMessage::DecodeHeader(socket->read(ConnectMessage::kHeaderSize));
        if (!length) {
            socket->disconnectFromServer();
            return;
        }
        peer.bodyLength = *length;
        peer.stage = Stage::Body;
    }
    if (peer.stage == Stage::Body) {
        if (socket->bytesAvailable() < peer.bodyLength) {
            return;
        }
        const auto body = ConnectMessage::DecodeBody(socket->read(peer.bodyLength));
        if (!body || ConnectMessage::KeyText(body->key) != m_key ||
            body->checksum != body->computedChecksum ||
            body->kind != static_cast<quint8>(ConnectionKind::TerminalRequest)) {
            socket->disconnectFromServer();
            return;
        }
        peer.stage = Stage::Request;
    }
    if (peer.stage == Stage::Request) {
        const RequestFrame::Reading reading =
            RequestFrame::Read(socket->peek(RequestFrame::kLengthSize + RequestFrame::kMaximumRequestSize),
                               RequestFrame::kMaximumRequestSize);
        if (reading.tooLong) {
            socket->disconnectFromServer();
            return;
        }
        if (!reading.payload) {
            return;
        }
        socket->read(reading.frameSize);
        peer.stage = Stage::Answered;
        // However long the handler takes, the reply's time starts once it is written.
        QTimer* deadline = peer.deadline;
        deadline->stop();
        // The handler may run an event loop (a message box) in which the peer goes away.
        const QPointer<QLocalSocket> alive(socket);
        const QByteArray reply = m_handler(*reading.payload);
        if (alive) {
            deadline->start();
            socket->write(RequestFrame::Build(reply));
            socket->disconnectFromServer(); // once the reply is written
        }
        return;
    }
    socket->readAll(); // answered: anything more is ignored
}
