// The record that every process of one installation shares to learn whether a primary instance runs.
#pragma once

#include <QtGlobal>

#include <cstddef>

// 152 bytes in native byte order: the block never leaves the machine. The reserved bytes are never
// written, so they stay zero from the block's creation.
struct InstanceBlock {
    quint8 hasPrimary;
    quint8 reserved1[3];
    quint32 secondaryCount;
    qint64 primaryProcessId;
    char primaryUserName[128]; // UTF-8, NUL-terminated, at most 127 bytes of text
    quint16 blockChecksum;     // CRC-16 (ISO 3309) over bytes 0 to 143
    quint8 reserved2[6];
};

static_assert(sizeof(InstanceBlock) == 152);
static_assert(offsetof(InstanceBlock, secondaryCount) == 4);
static_assert(offsetof(InstanceBlock, primaryProcessId) == 8);
static_assert(offsetof(InstanceBlock, primaryUserName) == 16);
static_assert(offsetof(InstanceBlock, blockChecksum) == 144);

// The CRC of the first 144 bytes, the part that the checksum covers.
quint16 InstanceBlockChecksum(const InstanceBlock& block);

// True when the stored checksum matches: no writer died between two updates.
bool IsInstanceBlockConsistent(const InstanceBlock& block);

// Every writer calls this before it unlocks the block.
void SealInstanceBlock(InstanceBlock& block);
