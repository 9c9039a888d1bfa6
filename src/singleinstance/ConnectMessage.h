// The message a starting instance sends to the primary instance over the local socket.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the connecting instance tells the primary. One byte on the wire.
enum class ConnectionKind : quint8 {
    StartRequest = 1,
    SecondaryAnnounce = 2, // a secondary instance reports that it started
    // A request to the running engine's own server (RequestServer), not to the guard; one request frame
    // follows the message and one reply frame comes back (RequestFrame). Never counts as a start.
    TerminalRequest = 3,
};

// An 8-byte header with the body length, then the body: the key as a length-prefixed byte array, the
// kind, the sender's instance number and a CRC-16 of the preceding body bytes. Big-endian integers,
// Qt data stream version 17.
class ConnectMessage {
public:
    static constexpr int kHeaderSize = 8;
    static constexpr int kStreamVersion = 17;
    // The smallest body a valid sender can produce (an empty key) and a generous ceiling far above any
    // real key. A header outside them is refused at once instead of being waited for.
    static constexpr qint64 kMinimumBodySize = 4 + 1 + 4 + 2;
    static constexpr qint64 kMaximumBodySize = 4096;

    struct Body {
        QByteArray key;
        quint8 kind = 0;
        quint32 instanceNumber = 0;
        quint16 checksum = 0;         // as received
        quint16 computedChecksum = 0; // over the body without its last two bytes
    };

    static QByteArray BuildBody(const QString& key, ConnectionKind kind, quint32 instanceNumber);
    static QByteArray BuildHeader(qint64 bodyLength);

    // The body length announced by the first kHeaderSize bytes; empty when there are fewer, or when it
    // is outside [kMinimumBodySize, kMaximumBodySize], which no sender of ours produces.
    static std::optional<qint64> DecodeHeader(const QByteArray& header);

    // Empty when the body cannot be decoded (too short for what it announces, or longer).
    static std::optional<Body> DecodeBody(const QByteArray& body);

    // The key as the primary compares it: Latin-1 text up to the first NUL byte.
    static QString KeyText(const QByteArray& key);
};
