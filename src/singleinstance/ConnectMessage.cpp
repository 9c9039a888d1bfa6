// Building and decoding the connect message of the single-instance guard.
#include "singleinstance/ConnectMessage.h"

#include <QDataStream>
#include <QIODevice>

#include <cstring>

static_assert(ConnectMessage::kStreamVersion == QDataStream::Qt_5_6);

QByteArray ConnectMessage::BuildBody(const QString& key, ConnectionKind kind, quint32 instanceNumber) {
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << key.toLatin1();
    out << static_cast<quint8>(kind);
    out << instanceNumber;
    out << qChecksum(body.constData(), static_cast<uint>(body.size()));
    return body;
}

QByteArray ConnectMessage::BuildHeader(qint64 bodyLength) {
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << static_cast<quint64>(bodyLength);
    return header;
}

std::optional<qint64> ConnectMessage::DecodeHeader(const QByteArray& header) {
    QDataStream in(header);
    in.setVersion(kStreamVersion);
    quint64 length = 0;
    in >> length;
    // A length no sender of ours produces would have the primary wait for, and buffer, whatever the
    // peer sends; a length above 2^63 would turn negative.
    if (in.status() != QDataStream::Ok || length < static_cast<quint64>(kMinimumBodySize) ||
        length > static_cast<quint64>(kMaximumBodySize)) {
        return std::nullopt;
    }
    return static_cast<qint64>(length);
}

std::optional<ConnectMessage::Body> ConnectMessage::DecodeBody(const QByteArray& body) {
    QDataStream in(body);
    in.setVersion(kStreamVersion);
    Body decoded;
    in >> decoded.key >> decoded.kind >> decoded.instanceNumber >> decoded.checksum;
    // The checksum ends the body: with bytes after it, the checksum compared below would not be the
    // one the body carries at its end, and a message no sender builds could be accepted.
    if (in.status() != QDataStream::Ok || !in.atEnd()) {
        return std::nullopt;
    }
    decoded.computedChecksum = qChecksum(body.constData(), static_cast<uint>(body.size() - 2));
    return decoded;
}

QString ConnectMessage::KeyText(const QByteArray& key) {
    return QString::fromLatin1(key.constData(),
                               static_cast<int>(qstrnlen(key.constData(), static_cast<uint>(key.size()))));
}
