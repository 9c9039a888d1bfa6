// Fuzzes the primary instance's reading of a connect message: the bytes a peer sends on the local
// socket, header first. Decoding must never read past what arrived, the checksum it computes must be
// the CRC the format fixes, and a body it accepts must be exactly what a sender of ours would build
// for the same key, kind and instance number.
#include "FuzzCheck.h"

#include "singleinstance/ConnectMessage.h"

#include <QByteArray>

namespace {

// Bit by bit, as ISO 3309 defines it (reflected 0x1021, start and final XOR 0xFFFF): independent of
// the table Qt uses.
quint16 Crc16(const QByteArray& data) {
    quint16 crc = 0xFFFF;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc =
                (crc & 1U) != 0 ? static_cast<quint16>((crc >> 1) ^ 0x8408U) : static_cast<quint16>(crc >> 1);
        }
    }
    return static_cast<quint16>(crc ^ 0xFFFFU);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Copied, so that a read past the end is a read past a heap block of exactly this size.
    const QByteArray received(reinterpret_cast<const char*>(data), static_cast<int>(size));
    if (received.size() < ConnectMessage::kHeaderSize) {
        return 0; // the primary waits for the rest of the header
    }
    const std::optional<qint64> length =
        ConnectMessage::DecodeHeader(received.left(ConnectMessage::kHeaderSize));
    if (!length) {
        return 0; // the primary closes the connection
    }
    FuzzCheck(*length >= ConnectMessage::kMinimumBodySize && *length <= ConnectMessage::kMaximumBodySize,
              "an accepted header announces a body of a size a sender can produce");
    FuzzCheck(ConnectMessage::BuildHeader(*length) == received.left(ConnectMessage::kHeaderSize),
              "an accepted header is the one a sender builds for that size");
    if (received.size() - ConnectMessage::kHeaderSize < *length) {
        return 0; // the primary waits for the rest of the body
    }
    const QByteArray body = received.mid(ConnectMessage::kHeaderSize, static_cast<int>(*length));
    const std::optional<ConnectMessage::Body> decoded = ConnectMessage::DecodeBody(body);
    if (!decoded) {
        return 0;
    }
    FuzzCheck(decoded->key.size() <= body.size() - (4 + 1 + 4 + 2), "the key lies inside the body");
    FuzzCheck(decoded->computedChecksum == Crc16(body.left(body.size() - 2)),
              "the checksum is the CRC of the body without its last two bytes");
    (void)ConnectMessage::KeyText(decoded->key);

    // What the primary accepts: the checksum matches. Then the body must be one a sender builds, as
    // long as the key can be a sender's (Latin-1 text without NUL, which ends the compared key).
    const bool accepted = decoded->checksum == decoded->computedChecksum;
    const bool ordinaryKey = !decoded->key.contains('\0') && !decoded->key.isNull();
    if (accepted && ordinaryKey) {
        const QByteArray rebuilt =
            ConnectMessage::BuildBody(ConnectMessage::KeyText(decoded->key),
                                      static_cast<ConnectionKind>(decoded->kind), decoded->instanceNumber);
        FuzzCheck(rebuilt == body, "an accepted body is exactly the one a sender builds for its contents");
    }
    return 0;
}
