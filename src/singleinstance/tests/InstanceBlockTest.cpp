// The shared record: its checksum covers exactly the first 144 bytes.
#include "singleinstance/InstanceBlock.h"

#include "Crc16Oracle.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(InstanceBlockTest, ChecksumCoversTheFirst144BytesOnly) {
    InstanceBlock block{};
    block.hasPrimary = 1;
    block.secondaryCount = 3;
    block.primaryProcessId = 4242;
    std::strcpy(block.primaryUserName, "ivanov");
    SealInstanceBlock(block);

    const QByteArray covered(reinterpret_cast<const char*>(&block), 144);
    EXPECT_EQ(block.blockChecksum, Crc16Iso3309(covered));
    EXPECT_TRUE(IsInstanceBlockConsistent(block));

    // The tail after the checksum is outside it.
    block.reserved2[5] = 0x55;
    EXPECT_TRUE(IsInstanceBlockConsistent(block));

    // Any change before it is caught, up to the last byte of the user name.
    block.primaryUserName[127] = 'x';
    EXPECT_FALSE(IsInstanceBlockConsistent(block));
    block.primaryUserName[127] = '\0';
    block.secondaryCount = 4;
    EXPECT_FALSE(IsInstanceBlockConsistent(block));
}

TEST(InstanceBlockTest, AFreshZeroBlockIsNotConsistent) {
    // A block just created by another process, before its creator reset it, must make a reader wait.
    const InstanceBlock block{};
    EXPECT_FALSE(IsInstanceBlockConsistent(block));
}
