// An independent bit-by-bit CRC-16 as ISO 3309 defines it (reflected 0x1021, start and final XOR
// 0xFFFF), to check that the guard's checksums are the ones its format fixes.
#pragma once

#include <QByteArray>

#include <cstdint>

inline std::uint16_t Crc16Iso3309(const QByteArray& data) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : data) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1U) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408U)
                                  : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return static_cast<std::uint16_t>(crc ^ 0xFFFFU);
}
