// The private part of SingleApplication: the shared block, the local server of the primary and the
// announcement of a secondary.
#pragma once

#include "singleinstance/ConnectMessage.h"
#include "singleinstance/InstanceBlock.h"
#include "singleinstance/SingleApplication.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class SharedMemoryBlock;

// How far the primary has read a connecting peer's message. One byte.
enum class ConnectionStage : quint8 {
    AwaitHeader = 0,
    AwaitBody = 1,
    Accepted = 2,
};

// The primary's record of one accepted socket.
struct PeerConnection {
    qint64 bodyLength = 0;
    quint32 instanceId = 0;
    ConnectionStage stage = ConnectionStage::AwaitHeader;
};

class SingleApplicationPrivate : public QObject {
    Q_OBJECT

public:
    explicit SingleApplicationPrivate(SingleApplication* application);
    ~SingleApplicationPrivate() override;

    // The constructor's work: decide the role, and as a secondary announce it.
    void start(SingleApplication::Modes mode, int timeout);
    qint64 primaryProcessId();

    SingleApplication* q;
    std::unique_ptr<SharedMemoryBlock> memory;
    QLocalSocket* socket = nullptr; // a secondary's connection to the primary
    QLocalServer* server = nullptr; // the primary's server
    quint32 instanceNumber = 0xFFFFFFFF;
    QString instanceKey;
    SingleApplication::Modes options;
    QMap<QLocalSocket*, PeerConnection> connectionMap;

private slots:
    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket* peer, quint32 instanceId);
    void slotClientConnectionClosed(QLocalSocket* peer, quint32 instanceId);

private:
    static void randomPause();
    void computeInstanceKey();
    InstanceBlock* block() const;
    void resetBlock();
    void releaseBlock();
    void openBlock();
    void becomePrimary();
    bool announceToPrimary(ConnectionKind kind, int timeout);
    void readyRead(QLocalSocket* peer);
    void readConnectHeader(QLocalSocket* peer);
    void readConnectBody(QLocalSocket* peer);
};
