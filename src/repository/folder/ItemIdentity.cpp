// Item identifiers of the folder-tree backend.
#include "ItemIdentity.h"

#include <boost/uuid/name_generator_sha1.hpp>

namespace arkon::folder {
namespace {

// The namespace of folder-tree item paths. Changing it changes every identifier the backend hands out.
constexpr ItemId kItemPathNamespace = {
    {0x73, 0x3f, 0xde, 0x94, 0x19, 0x8a, 0x4d, 0x69, 0x9d, 0x7b, 0x51, 0xac, 0x2b, 0x45, 0x6a, 0x67}};

} // namespace

ItemId IdentifierOf(std::string_view relative_path) {
    static const boost::uuids::name_generator_sha1 generate(kItemPathNamespace);
    return generate(relative_path.data(), relative_path.size());
}

} // namespace arkon::folder
