// Checksum of the shared instance record.
#include "singleinstance/InstanceBlock.h"

#include <QByteArray>

quint16 InstanceBlockChecksum(const InstanceBlock& block) {
    return qChecksum(reinterpret_cast<const char*>(&block), offsetof(InstanceBlock, blockChecksum));
}

bool IsInstanceBlockConsistent(const InstanceBlock& block) {
    return block.blockChecksum == InstanceBlockChecksum(block);
}

void SealInstanceBlock(InstanceBlock& block) {
    block.blockChecksum = InstanceBlockChecksum(block);
}
