// Framing of a terminal command's request and the running program's reply.
#include "singleinstance/RequestFrame.h"

#include <QtEndian>

QByteArray RequestFrame::Build(const QByteArray& payload) {
    QByteArray frame(kLengthSize, '\0');
    qToBigEndian(static_cast<quint32>(payload.size()), frame.data());
    return frame + payload;
}

RequestFrame::Reading RequestFrame::Read(const QByteArray& received, qint64 maximumSize) {
    Reading reading;
    if (received.size() < kLengthSize) {
        return reading;
    }
    const qint64 length = qFromBigEndian<quint32>(received.constData());
    if (length > maximumSize) {
        reading.tooLong = true;
        return reading;
    }
    if (received.size() - kLengthSize >= length) {
        reading.payload = received.mid(kLengthSize, static_cast<int>(length));
        reading.frameSize = kLengthSize + length;
    }
    return reading;
}
