// The frames a terminal command and the running program exchange after the connect message.
#pragma once

#include <QByteArray>

#include <optional>

// A 4-byte big-endian length, then that many bytes of payload (the request or the reply).
class RequestFrame {
public:
    static constexpr qint64 kLengthSize = 4;
    // A request names one task at most; a reply lists every task, which with tens of thousands of
    // tasks is a few megabytes.
    static constexpr qint64 kMaximumRequestSize = 64 * 1024;
    static constexpr qint64 kMaximumReplySize = 256 * 1024 * 1024;

    static QByteArray Build(const QByteArray& payload);

    // What the bytes received so far hold.
    struct Reading {
        bool tooLong = false;              // the announced length is above the limit: give up
        std::optional<QByteArray> payload; // complete
        qint64 frameSize = 0;              // bytes the complete frame takes, when complete
    };
    static Reading Read(const QByteArray& received, qint64 maximumSize);
};
