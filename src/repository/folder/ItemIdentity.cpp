// Item identifiers of the folder-tree backend: UUIDs of version 5 (SHA-1 of a namespace and the name).
// Qt's SHA-1 takes less than half the time of Boost's name generator, which hashed byte by byte and
// was a tenth of a backup that found nothing to copy; the identifiers are the same.
#include "ItemIdentity.h"

#include <QCryptographicHash>

#include <algorithm>

namespace arkon::folder {
namespace {

// The namespace of folder-tree item paths. Changing it changes every identifier the backend hands out.
constexpr ItemId kItemPathNamespace = {
    {0x73, 0x3f, 0xde, 0x94, 0x19, 0x8a, 0x4d, 0x69, 0x9d, 0x7b, 0x51, 0xac, 0x2b, 0x45, 0x6a, 0x67}};

} // namespace

ItemId IdentifierOf(std::string_view relative_path) {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(reinterpret_cast<const char*>(kItemPathNamespace.data), sizeof kItemPathNamespace.data);
    hash.addData(relative_path.data(), static_cast<int>(relative_path.size()));
    const QByteArray digest = hash.result();
    ItemId id{};
    std::copy_n(reinterpret_cast<const std::uint8_t*>(digest.constData()), sizeof id.data, id.data);
    id.data[6] = static_cast<std::uint8_t>((id.data[6] & 0x0F) | 0x50); // version 5
    id.data[8] = static_cast<std::uint8_t>((id.data[8] & 0x3F) | 0x80); // the RFC 4122 variant
    return id;
}

} // namespace arkon::folder
