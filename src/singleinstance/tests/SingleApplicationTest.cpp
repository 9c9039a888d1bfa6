// The primary's side of the connect message, with this test program itself as the primary instance
// and raw local sockets as the peers: the staged reading, what is accepted and what is refused.
#include "singleinstance/SingleApplication.h"
#include "singleinstance/ConnectMessage.h"
#include "singleinstance/InstanceKey.h"
#include "singleinstance/RequestFrame.h"
#include "singleinstance/RequestServer.h"
#include "singleinstance/RunningInstance.h"

#include "platform/LocalServerName.h"

#include "TemporaryUserFolders.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The primary runs without NotifySecondary, so that an accepted announcement can be told from an
// accepted start request.
const SingleApplication::Modes kPrimaryModes = {};

QString PrimaryKey() {
    return ComputeInstanceKey(InstanceIdentity::OfThisProcess(kPrimaryModes), kPrimaryModes);
}

QByteArray Message(const QString& key, ConnectionKind kind, quint32 number) {
    const QByteArray body = ConnectMessage::BuildBody(key, kind, number);
    return ConnectMessage::BuildHeader(body.size()) + body;
}

QByteArray Header(quint64 length) {
    QByteArray header;
    for (int shift = 56; shift >= 0; shift -= 8) {
        header.append(static_cast<char>((length >> shift) & 0xFF));
    }
    return header;
}

QByteArray Echo(const QByteArray& request) {
    return "re:" + request;
}

// A client on a plain socket, so that no library takes the reply for it: it sends its bytes and then
// reads nothing.
class SilentClient {
public:
    SilentClient(const QString& path, const QByteArray& bytes) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (name.size() >= static_cast<int>(sizeof(address.sun_path))) {
            return;
        }
        std::copy(name.begin(), name.end(), address.sun_path);
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
            ::send(m_fd, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL) !=
                bytes.size()) {
            Close();
        }
    }
    ~SilentClient() { Close(); }
    SilentClient(const SilentClient&) = delete;
    SilentClient& operator=(const SilentClient&) = delete;

    bool Connected() const { return m_fd >= 0; }
    // Whether the other side has closed the connection (what it wrote is still unread).
    bool HungUp() const {
        pollfd polled{m_fd, POLLRDHUP, 0};
        return ::poll(&polled, 1, 0) == 1 && (polled.revents & (POLLHUP | POLLRDHUP)) != 0;
    }

private:
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = -1;
    }

    int m_fd = -1;
};

} // namespace

class SingleApplicationTest : public QObject {
    Q_OBJECT

public:
    explicit SingleApplicationTest(SingleApplication& application) : m_application(application) {}

private:
    std::unique_ptr<QLocalSocket> Connect() {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(LocalServerName(PrimaryKey()));
        if (!socket->waitForConnected(5000)) {
            return nullptr;
        }
        return socket;
    }

    static void Send(QLocalSocket& socket, const QByteArray& bytes) {
        socket.write(bytes);
        socket.waitForBytesWritten(5000);
    }

    // The primary's ends of the connections it holds.
    QList<QLocalSocket*> Peers() const {
        QList<QLocalSocket*> peers;
        for (QLocalSocket* socket : m_application.findChildren<QLocalSocket*>()) {
            if (qobject_cast<QLocalServer*>(socket->parent()) != nullptr) {
                peers.append(socket);
            }
        }
        return peers;
    }

    // A peer that the primary must refuse: it closes the connection, emits nothing and forgets it.
    void ExpectRefused(const QByteArray& bytes) {
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        QSignalSpy received(&m_application, &SingleApplication::receivedMessage);
        auto socket = Connect();
        QVERIFY(socket);
        Send(*socket, bytes + QByteArray("after"));
        QTRY_COMPARE(socket->state(), QLocalSocket::UnconnectedState);
        QTRY_VERIFY(Peers().isEmpty());
        QCOMPARE(started.count(), 0);
        QCOMPARE(received.count(), 0);
    }

    // A terminal command's request, sent from a thread of its own while this one runs the primary.
    static InstanceAnswer Ask(const QByteArray& request, SingleApplication::Modes modes = kPrimaryModes) {
        auto asked = std::async(std::launch::async,
                                [&request, modes] { return AskRunningInstance(request, modes, 5000); });
        const bool ready = QTest::qWaitFor(
            [&asked] { return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000);
        return ready ? asked.get()
                     : InstanceAnswer{InstanceAnswer::Status::Failed, {}, QStringLiteral("hangs")};
    }

    // A terminal request to the engine's server, all but its last byte sent.
    static std::unique_ptr<QLocalSocket> HalfSentRequest() {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(EngineServerName(PrimaryKey()));
        if (!socket->waitForConnected(5000)) {
            return nullptr;
        }
        const QByteArray bytes = TerminalRequest("list");
        Send(*socket, bytes.left(bytes.size() - 1));
        return socket;
    }

    static QByteArray TerminalRequest(const QByteArray& request) {
        const QByteArray body = ConnectMessage::BuildBody(PrimaryKey(), ConnectionKind::TerminalRequest, 1);
        return ConnectMessage::BuildHeader(body.size()) + body + RequestFrame::Build(request);
    }

    SingleApplication& m_application;

private slots:
    void cleanup() { QTRY_VERIFY(Peers().isEmpty()); }

    void isThePrimary() {
        QVERIFY(m_application.isPrimaryInstance());
        QCOMPARE(m_application.primaryProcessId(), QCoreApplication::applicationPid());
    }

    void startRequestIsAcceptedAndLaterBytesAreMessages() {
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        QSignalSpy received(&m_application, &SingleApplication::receivedMessage);
        auto socket = Connect();
        QVERIFY(socket);
        Send(*socket, Message(PrimaryKey(), ConnectionKind::StartRequest, 5));
        QTRY_COMPARE(started.count(), 1);
        QCOMPARE(received.count(), 0);
        QCOMPARE(socket->state(), QLocalSocket::ConnectedState);

        Send(*socket, "hello");
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toUInt(), 5U);
        QCOMPARE(received.at(0).at(1).toByteArray(), QByteArray("hello"));
        socket->disconnectFromServer();
        QTRY_VERIFY(Peers().isEmpty());
        QCOMPARE(started.count(), 1);
    }

    void headerAndBodyInPiecesAreReadOnlyWhenComplete() {
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        const QByteArray message = Message(PrimaryKey(), ConnectionKind::StartRequest, 2);
        auto socket = Connect();
        QVERIFY(socket);
        QTRY_COMPARE(Peers().size(), 1);
        const QPointer<QLocalSocket> peer = Peers().constFirst();
        // What the primary has left unread; -1 once it dropped the connection.
        const auto unread = [&peer] { return peer ? peer->bytesAvailable() : qint64{-1}; };

        // Three bytes of the header stay unread, eight are taken at once.
        Send(*socket, message.left(3));
        QTRY_COMPARE(unread(), qint64{3});
        Send(*socket, message.mid(3, 5));
        QTRY_COMPARE(unread(), qint64{0});

        // A body is taken only whole.
        Send(*socket, message.mid(8, 20));
        QTRY_COMPARE(unread(), qint64{20});
        Send(*socket, message.mid(28, message.size() - 29));
        QTRY_COMPARE(unread(), qint64{message.size() - 9});
        QCOMPARE(started.count(), 0);
        Send(*socket, message.right(1));
        QTRY_COMPARE(started.count(), 1);
        QCOMPARE(unread(), qint64{0});
    }

    void extraBytesWithTheMessageAreAMessage() {
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        QSignalSpy received(&m_application, &SingleApplication::receivedMessage);
        auto socket = Connect();
        QVERIFY(socket);
        Send(*socket, Message(PrimaryKey(), ConnectionKind::StartRequest, 9) + "tail");
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(started.count(), 1);
        QCOMPARE(received.at(0).at(0).toUInt(), 9U);
        QCOMPARE(received.at(0).at(1).toByteArray(), QByteArray("tail"));
    }

    void bytesSentJustBeforeClosingStillArrive() {
        QSignalSpy received(&m_application, &SingleApplication::receivedMessage);
        auto socket = Connect();
        QVERIFY(socket);
        Send(*socket, Message(PrimaryKey(), ConnectionKind::StartRequest, 4));
        Send(*socket, "bye");
        socket->disconnectFromServer();
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toUInt(), 4U);
        QCOMPARE(received.at(0).at(1).toByteArray(), QByteArray("bye"));
        QTRY_VERIFY(Peers().isEmpty());
        QCOMPARE(received.count(), 1);
    }

    void announcementWithoutNotifySecondaryIsAcceptedQuietly() {
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        QSignalSpy received(&m_application, &SingleApplication::receivedMessage);
        auto socket = Connect();
        QVERIFY(socket);
        Send(*socket, Message(PrimaryKey(), ConnectionKind::SecondaryAnnounce, 3) + "x");
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toUInt(), 3U);
        QCOMPARE(started.count(), 0);
        QCOMPARE(socket->state(), QLocalSocket::ConnectedState);
    }

    void refusedAnnouncementBytesAreNotPassedOn() {
        // The primary closes a refused peer; what that peer sent after its message is dropped, not
        // handed out as a message of an instance that never proved it belongs here.
        QString key = PrimaryKey();
        key[0] = key[0] == QLatin1Char('A') ? QLatin1Char('B') : QLatin1Char('A');
        ExpectRefused(Message(key, ConnectionKind::SecondaryAnnounce, 1) + QByteArray(100, 'm'));
    }

    void keyDifferingInOneCharacterIsRefused() {
        QString key = PrimaryKey();
        key[10] = key[10] == QLatin1Char('A') ? QLatin1Char('B') : QLatin1Char('A');
        ExpectRefused(Message(key, ConnectionKind::StartRequest, 1));
    }

    void wrongChecksumIsRefused() {
        QByteArray message = Message(PrimaryKey(), ConnectionKind::StartRequest, 1);
        message[message.size() - 1] = static_cast<char>(message[message.size() - 1] ^ 0x01);
        ExpectRefused(message);
    }

    void undecodableBodyIsRefused() {
        // Eleven bytes that announce a 256-byte key.
        QByteArray body("\x00\x00\x01\x00\x01\x00\x00\x00\x01\x00\x00", 11);
        ExpectRefused(Header(body.size()) + body);
    }

    void impossibleLengthsAreRefusedAtOnce() {
        ExpectRefused(Header(1ULL << 40));
        ExpectRefused(Header(~0ULL));
        ExpectRefused(Header(10));
    }

    void keyFollowedByNulIsTheKey() {
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        QByteArray body;
        {
            QDataStream out(&body, QIODevice::WriteOnly);
            out.setVersion(ConnectMessage::kStreamVersion);
            out << (PrimaryKey().toLatin1() + QByteArray("\0junk", 5)) << quint8{1} << quint32{6};
            out << qChecksum(body.constData(), static_cast<uint>(body.size()));
        }
        auto socket = Connect();
        QVERIFY(socket);
        Send(*socket, Header(body.size()) + body);
        QTRY_COMPARE(started.count(), 1);
    }

    void terminalRequestIsAnsweredByTheEngineAndIsNoStart() {
        QCOMPARE(Ask("list").status, InstanceAnswer::Status::NotRunning); // no engine listens yet
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        QSignalSpy received(&m_application, &SingleApplication::receivedMessage);
        RequestServer engine(PrimaryKey(), [](const QByteArray& request) { return "re:" + request; });
        QVERIFY(engine.Listen());
        const InstanceAnswer answer = Ask("list");
        QCOMPARE(answer.status, InstanceAnswer::Status::Answered);
        QCOMPARE(answer.reply, QByteArray("re:list"));

        // A request in pieces is read when whole; what follows it is no message.
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(EngineServerName(PrimaryKey()));
        QVERIFY(socket->waitForConnected(5000));
        const QByteArray body =
            ConnectMessage::BuildBody(PrimaryKey(), ConnectionKind::TerminalRequest, 0xFFFFFFFF);
        const QByteArray bytes = ConnectMessage::BuildHeader(body.size()) + body + RequestFrame::Build("run");
        Send(*socket, bytes.left(bytes.size() - 2));
        QTest::qWait(100);
        QCOMPARE(socket->bytesAvailable(), qint64{0});
        Send(*socket, bytes.right(2) + "tail");
        QTRY_COMPARE(socket->state(), QLocalSocket::UnconnectedState);
        QCOMPARE(RequestFrame::Read(socket->readAll(), 100).payload, std::optional<QByteArray>("re:run"));
        QCOMPARE(started.count(), 0);
        QCOMPARE(received.count(), 0);

        // Refused: another kind of message, another key, a frame announced too long.
        QByteArray tooLong = RequestFrame::Build(QByteArray());
        tooLong[1] = 0x10; // a megabyte announced
        const QByteArray otherKey =
            ConnectMessage::BuildBody(PrimaryKey().replace(0, 1, u'#'), ConnectionKind::TerminalRequest, 1);
        for (const QByteArray& refused :
             {Message(PrimaryKey(), ConnectionKind::StartRequest, 1) + RequestFrame::Build("list"),
              ConnectMessage::BuildHeader(otherKey.size()) + otherKey + RequestFrame::Build("list"),
              ConnectMessage::BuildHeader(body.size()) + body + tooLong}) {
            auto peer = std::make_unique<QLocalSocket>();
            peer->connectToServer(EngineServerName(PrimaryKey()));
            QVERIFY(peer->waitForConnected(5000));
            Send(*peer, refused);
            QTRY_COMPARE(peer->state(), QLocalSocket::UnconnectedState);
            QCOMPARE(peer->readAll(), QByteArray());
        }
    }

    void unfinishedRequestIsDroppedWhileOthersAreAnswered() {
        RequestServer engine(PrimaryKey(), Echo, {std::chrono::milliseconds(1500), 64});
        QVERIFY(engine.Listen());
        auto half = HalfSentRequest();
        QVERIFY(half);
        QCOMPARE(Ask("list").reply, QByteArray("re:list"));
        QTRY_COMPARE_WITH_TIMEOUT(half->state(), QLocalSocket::UnconnectedState, 30000);
        QCOMPARE(half->readAll(), QByteArray());
        QCOMPARE(Ask("list").reply, QByteArray("re:list"));
    }

    void clientThatStopsTakingItsReplyIsDropped() {
        // Far more than the socket's buffers hold, so that writing it waits for the client.
        RequestServer engine(PrimaryKey(),
                             [](const QByteArray&) { return QByteArray(16 * 1024 * 1024, 'x'); },
                             {std::chrono::milliseconds(1500), 64});
        QVERIFY(engine.Listen());
        const SilentClient client(EngineServerName(PrimaryKey()), TerminalRequest("list"));
        QVERIFY(client.Connected());
        QTRY_VERIFY_WITH_TIMEOUT(client.HungUp(), 30000);
    }

    void connectionsBeyondTheBoundAreClosedAtOnce() {
        // A time limit no step of the test comes near: the held connections stay until let go.
        RequestServer engine(PrimaryKey(), Echo, {std::chrono::minutes(10), 3});
        QVERIFY(engine.Listen());
        std::vector<std::unique_ptr<QLocalSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(HalfSentRequest());
            QVERIFY(held.back());
        }
        // Connected after the held ones, so accepted after them.
        QCOMPARE(Ask("list").status, InstanceAnswer::Status::Refused);
        for (const auto& socket : held) {
            QCOMPARE(socket->state(), QLocalSocket::ConnectedState);
        }
        // Once one is let go, there is room again.
        held.front()->abort();
        InstanceAnswer answer;
        QTRY_VERIFY_WITH_TIMEOUT((answer = Ask("list")).status == InstanceAnswer::Status::Answered, 30000);
        QCOMPARE(answer.reply, QByteArray("re:list"));
    }

    void aCommandOfAnotherInstallationFindsNoProgram() {
        // Another path in the key, as a copy of the program elsewhere has.
        QCOMPARE(Ask("list", SingleApplication::IgnorePath).status, InstanceAnswer::Status::NotRunning);
    }

    void connectionsAreReadSeparately() {
        QSignalSpy started(&m_application, &SingleApplication::instanceStarted);
        QSignalSpy received(&m_application, &SingleApplication::receivedMessage);
        const QByteArray first = Message(PrimaryKey(), ConnectionKind::StartRequest, 11);
        auto slow = Connect();
        auto quick = Connect();
        QVERIFY(slow && quick);
        Send(*slow, first.left(12));
        Send(*quick, Message(PrimaryKey(), ConnectionKind::StartRequest, 12) + "q");
        QTRY_COMPARE(started.count(), 1);
        Send(*slow, first.mid(12) + "s");
        QTRY_COMPARE(started.count(), 2);
        QTRY_COMPARE(received.count(), 2);
        QCOMPARE(received.at(0).at(0).toUInt(), 12U);
        QCOMPARE(received.at(1).at(0).toUInt(), 11U);
        QCOMPARE(received.at(1).at(1).toByteArray(), QByteArray("s"));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir folders;
    if (!folders.isValid() || !PointUserFoldersAt(folders.path())) {
        return 2;
    }
    QCoreApplication::setApplicationName(QStringLiteral("zelkor-guard-test"));
    SingleApplication application(argc, argv, true, kPrimaryModes, 1000);
    if (!application.isPrimaryInstance()) {
        return 3;
    }
    SingleApplicationTest test(application);
    return QTest::qExec(&test, argc, argv);
}

#include "SingleApplicationTest.moc"
