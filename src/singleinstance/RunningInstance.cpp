// The command's side of a terminal request: connect, send, read the reply frame.
#include "singleinstance/RunningInstance.h"

#include "singleinstance/ConnectMessage.h"
#include "singleinstance/InstanceKey.h"
#include "singleinstance/RequestFrame.h"
#include "singleinstance/RequestServer.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

namespace {

// The number a process has before the guard gives it one; a command never gets one.
constexpr quint32 kNoInstanceNumber = 0xFFFFFFFF;

int Remaining(const QDeadlineTimer& deadline) {
    return static_cast<int>(deadline.remainingTime());
}

} // namespace

InstanceAnswer AskRunningInstance(const QByteArray& request, InstanceModes::Modes modes, int timeoutMs) {
    InstanceAnswer answer;
    const QString key = ComputeInstanceKey(InstanceIdentity::OfThisProcess(modes), modes);
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(EngineServerName(key), QIODevice::ReadWrite);
    if (!socket.waitForConnected(Remaining(deadline))) {
        // No socket, or one a killed program left behind that nobody listens on.
        const QLocalSocket::LocalSocketError error = socket.error();
        if (error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError) {
            return answer;
        }
        answer.status = error == QLocalSocket::SocketTimeoutError ? InstanceAnswer::Status::NoAnswer
                                                                  : InstanceAnswer::Status::Failed;
        answer.error = socket.errorString();
        return answer;
    }

    const QByteArray body =
        ConnectMessage::BuildBody(key, ConnectionKind::TerminalRequest, kNoInstanceNumber);
    socket.write(ConnectMessage::BuildHeader(body.size()) + body + RequestFrame::Build(request));
    QByteArray received;
    for (;;) {
        received += socket.readAll();
        const RequestFrame::Reading reading = RequestFrame::Read(received, RequestFrame::kMaximumReplySize);
        if (reading.payload) {
            answer.status = InstanceAnswer::Status::Answered;
            answer.reply = *reading.payload;
            return answer;
        }
        if (reading.tooLong) {
            answer.status = InstanceAnswer::Status::Failed;
            answer.error = QStringLiteral("reply too long");
            return answer;
        }
        if (socket.state() != QLocalSocket::ConnectedState) {
            answer.status = InstanceAnswer::Status::Refused;
            return answer;
        }
        if (deadline.hasExpired()) {
            answer.status = InstanceAnswer::Status::NoAnswer;
            return answer;
        }
        // Also flushes what is still to be written.
        socket.waitForReadyRead(Remaining(deadline));
    }
}
