// Decides the role of this process through the shared block, runs the primary's local server and
// reads the connect messages of later starts; a secondary announces itself to the primary.
#include "singleinstance/SingleApplicationPrivate.h"

#include "singleinstance/InstanceKey.h"

#include "platform/CurrentUserName.h"
#include "platform/LocalServerName.h"
#include "platform/SharedMemoryBlock.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cstring>

namespace {

constexpr qint64 kInconsistencyGraceMs = 5000;

void LogUnlockFailure(const char* text, const SharedMemoryBlock& memory) {
    qDebug("%s", text);
    qDebug("%s", qUtf8Printable(memory.ErrorString()));
}

} // namespace

SingleApplicationPrivate::SingleApplicationPrivate(SingleApplication* application)
    : QObject(application), q(application) {}

SingleApplicationPrivate::~SingleApplicationPrivate() {
    if (socket != nullptr) {
        socket->close();
        delete socket;
        socket = nullptr;
    }
    if (memory == nullptr) {
        return;
    }
    const bool locked = memory->Lock();
    if (server != nullptr) {
        // The peers go with the server; none of their handlers may run on a half-destroyed guard.
        for (QLocalSocket* peer : connectionMap.keys()) {
            peer->disconnect();
        }
        connectionMap.clear();
        server->close();
        delete server;
        server = nullptr;
        if (locked) {
            releaseBlock();
        }
    }
    if (locked && !memory->Unlock()) {
        LogUnlockFailure("SingleApplication: Unable to unlock memory after release.", *memory);
    }
    memory.reset();
}

void SingleApplicationPrivate::start(SingleApplication::Modes mode, int timeout) {
    options = mode;
    computeInstanceKey();
    randomPause();
    openBlock();

    // A writer that died between two updates leaves the checksum wrong; give it time to be a live
    // writer still busy, then take the block over.
    QElapsedTimer clock;
    clock.start();
    while (!IsInstanceBlockConsistent(*block())) {
        if (clock.elapsed() > kInconsistencyGraceMs) {
            qWarning(
                "SingleApplication: Shared memory block has been in an inconsistent state from more than "
                "5s. Assuming primary instance failure.");
            resetBlock();
        }
        if (!memory->Unlock()) {
            LogUnlockFailure("SingleApplication: Unable to unlock memory for random wait.", *memory);
        }
        randomPause();
        if (!memory->Lock()) {
            qCritical("SingleApplication: Unable to lock memory after random wait.");
            q->abortSafely();
        }
    }

    if (block()->hasPrimary == 0) {
        becomePrimary();
        if (!memory->Unlock()) {
            LogUnlockFailure("SingleApplication: Unable to unlock memory after primary start.", *memory);
        }
        return;
    }

    InstanceBlock* shared = block();
    shared->secondaryCount += 1;
    SealInstanceBlock(*shared);
    instanceNumber = shared->secondaryCount;
    // Announcing under the lock keeps the numbers of concurrent secondaries in the order they arrive.
    if (options.testFlag(SingleApplication::NotifySecondary)) {
        announceToPrimary(ConnectionKind::SecondaryAnnounce, timeout);
    }
    if (!memory->Unlock()) {
        LogUnlockFailure("SingleApplication: Unable to unlock memory after secondary start.", *memory);
    }
}

qint64 SingleApplicationPrivate::primaryProcessId() {
    const bool locked = memory->Lock();
    const qint64 processId = block()->primaryProcessId;
    if (locked) {
        memory->Unlock();
    }
    return processId;
}

void SingleApplicationPrivate::randomPause() {
    const quint64 random = QRandomGenerator::global()->generate();
    QThread::msleep(static_cast<unsigned long>(8 + ((random * 10) >> 32)));
}

void SingleApplicationPrivate::computeInstanceKey() {
    instanceKey = ComputeInstanceKey(InstanceIdentity::OfThisProcess(options), options);
}

InstanceBlock* SingleApplicationPrivate::block() const {
    return static_cast<InstanceBlock*>(memory->Data());
}

void SingleApplicationPrivate::resetBlock() {
    InstanceBlock* shared = block();
    shared->hasPrimary = 0;
    shared->secondaryCount = 0;
    shared->primaryProcessId = -1;
    shared->primaryUserName[0] = '\0';
    SealInstanceBlock(*shared);
}

// Gives up the primary role; the count of secondaries goes on.
void SingleApplicationPrivate::releaseBlock() {
    InstanceBlock* shared = block();
    shared->hasPrimary = 0;
    shared->primaryProcessId = -1;
    shared->primaryUserName[0] = '\0';
    SealInstanceBlock(*shared);
}

// Returns with the block attached and locked, or ends the process.
void SingleApplicationPrivate::openBlock() {
    memory = std::make_unique<SharedMemoryBlock>(instanceKey, static_cast<qsizetype>(sizeof(InstanceBlock)));
    for (int attempt = 1;; ++attempt) {
        if (memory->Create()) {
            if (!memory->Lock()) {
                qCritical("SingleApplication: Unable to lock memory block after create.");
                q->abortSafely();
            }
            resetBlock();
            return;
        }
        if (memory->LastError() != SharedMemoryBlock::Error::AlreadyExists) {
            qCritical("SingleApplication: Unable to create block.");
            q->abortSafely();
        }
        if (memory->Attach()) {
            if (!memory->Lock()) {
                qCritical("SingleApplication: Unable to lock memory block after attach.");
                q->abortSafely();
            }
            return;
        }
        // The last process attached may have ended between the two calls and taken the block with it:
        // then there is nobody to be secondary to, and this start makes the block anew.
        if (memory->LastError() != SharedMemoryBlock::Error::NotFound || attempt == 3) {
            qCritical("SingleApplication: Unable to attach to shared memory block.");
            q->abortSafely();
        }
        randomPause();
    }
}

void SingleApplicationPrivate::becomePrimary() {
    InstanceBlock* shared = block();
    shared->hasPrimary = 1;
    shared->primaryProcessId = QCoreApplication::applicationPid();
    const QByteArray user =
        CurrentUserName().toUtf8().left(static_cast<int>(sizeof(shared->primaryUserName)) - 1);
    std::memcpy(shared->primaryUserName, user.constData(), static_cast<std::size_t>(user.size()));
    shared->primaryUserName[user.size()] = '\0';
    SealInstanceBlock(*shared);
    instanceNumber = 0;

    // A socket file left by a primary that was killed would make listening fail.
    const QString serverName = LocalServerName(instanceKey);
    QLocalServer::removeServer(serverName);
    server = new QLocalServer(this);
    server->setSocketOptions(options.testFlag(SingleApplication::PerUser) ? QLocalServer::UserAccessOption
                                                                          : QLocalServer::WorldAccessOption);
    server->listen(serverName);
    connect(server, &QLocalServer::newConnection, this, &SingleApplicationPrivate::slotConnectionEstablished);
}

bool SingleApplicationPrivate::announceToPrimary(ConnectionKind kind, int timeout) {
    QElapsedTimer clock;
    clock.start();
    // Qt waits forever for a negative time; an overrun budget means no more waiting.
    const auto remaining = [&clock, timeout] {
        return static_cast<int>(std::max<qint64>(0, timeout - clock.elapsed()));
    };
    if (socket == nullptr) {
        socket = new QLocalSocket(this);
    }
    if (socket->state() == QLocalSocket::ConnectedState) {
        return true;
    }
    const QString serverName = LocalServerName(instanceKey);
    for (;;) {
        randomPause();
        if (socket->state() != QLocalSocket::ConnectingState) {
            socket->connectToServer(serverName, QIODevice::ReadWrite);
        }
        if (socket->state() == QLocalSocket::ConnectingState) {
            socket->waitForConnected(remaining());
        }
        if (socket->state() == QLocalSocket::ConnectedState) {
            break;
        }
        if (clock.elapsed() >= timeout) {
            return false;
        }
    }
    const QByteArray body = ConnectMessage::BuildBody(instanceKey, kind, instanceNumber);
    socket->write(ConnectMessage::BuildHeader(body.size()));
    socket->write(body);
    const bool written = socket->waitForBytesWritten(remaining());
    socket->flush();
    return written;
}

void SingleApplicationPrivate::slotConnectionEstablished() {
    while (QLocalSocket* peer = server->nextPendingConnection()) {
        connectionMap.insert(peer, PeerConnection{});
        connect(
            peer, &QLocalSocket::aboutToClose, peer,
            [this, peer] {
                // Only a peer that proved it is a start of this installation may hand over bytes; the
                // primary also closes the peers it refuses, and their leftovers go nowhere.
                const auto found = connectionMap.constFind(peer);
                if (found != connectionMap.constEnd() && found->stage == ConnectionStage::Accepted) {
                    slotClientConnectionClosed(peer, found->instanceId);
                }
            },
            Qt::DirectConnection);
        connect(
            peer, &QLocalSocket::disconnected, peer,
            [this, peer] {
                connectionMap.remove(peer);
                peer->deleteLater();
            },
            Qt::DirectConnection);
        connect(
            peer, &QLocalSocket::readyRead, peer, [this, peer] { readyRead(peer); }, Qt::DirectConnection);
    }
}

void SingleApplicationPrivate::slotDataAvailable(QLocalSocket* peer, quint32 instanceId) {
    emit q->receivedMessage(instanceId, peer->readAll());
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket* peer, quint32 instanceId) {
    if (peer->bytesAvailable() > 0) {
        emit q->receivedMessage(instanceId, peer->readAll());
    }
}

void SingleApplicationPrivate::readyRead(QLocalSocket* peer) {
    const auto found = connectionMap.constFind(peer);
    if (found == connectionMap.constEnd()) {
        return;
    }
    switch (found->stage) {
    case ConnectionStage::AwaitHeader:
        readConnectHeader(peer);
        break;
    case ConnectionStage::AwaitBody:
        readConnectBody(peer);
        break;
    case ConnectionStage::Accepted:
        slotDataAvailable(peer, found->instanceId);
        break;
    }
}

void SingleApplicationPrivate::readConnectHeader(QLocalSocket* peer) {
    if (peer->bytesAvailable() < ConnectMessage::kHeaderSize) {
        return;
    }
    const std::optional<qint64> length =
        ConnectMessage::DecodeHeader(peer->read(ConnectMessage::kHeaderSize));
    if (!length) {
        peer->close();
        return;
    }
    const auto found = connectionMap.find(peer);
    if (found == connectionMap.end()) {
        return;
    }
    found->bodyLength = *length;
    found->stage = ConnectionStage::AwaitBody;
    if (peer->bytesAvailable() >= found->bodyLength) {
        readConnectBody(peer);
    }
}

void SingleApplicationPrivate::readConnectBody(QLocalSocket* peer) {
    const auto found = connectionMap.find(peer);
    if (found == connectionMap.end() || peer->bytesAvailable() < found->bodyLength) {
        return;
    }
    const QByteArray body = peer->read(found->bodyLength);
    const std::optional<ConnectMessage::Body> decoded = ConnectMessage::DecodeBody(body);
    if (!decoded || ConnectMessage::KeyText(decoded->key) != instanceKey ||
        decoded->checksum != decoded->computedChecksum) {
        peer->close();
        return;
    }
    found->instanceId = decoded->instanceNumber;
    found->stage = ConnectionStage::Accepted;

    // A receiver of instanceStarted may run a nested event loop in which the peer goes away.
    const QPointer<QLocalSocket> alive(peer);
    const auto kind = static_cast<ConnectionKind>(decoded->kind);
    if (kind == ConnectionKind::StartRequest ||
        (kind == ConnectionKind::SecondaryAnnounce && options.testFlag(SingleApplication::NotifySecondary))) {
        emit q->instanceStarted();
    }
    if (alive && peer->bytesAvailable() > 0) {
        emit q->receivedMessage(decoded->instanceNumber, peer->readAll());
    }
}
