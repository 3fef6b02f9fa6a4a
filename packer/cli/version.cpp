#include "packer/cli/version.h"

#include "bvpack_version.h"   // made at build time: BV_KIT_VERSION, BV_KIT_COMMIT

namespace bv {

std::string KitVersion()
{
    std::string commit = BV_KIT_COMMIT;
    return commit.empty() ? BV_KIT_VERSION : std::string(BV_KIT_VERSION) + " (git " + commit + ")";
}

}  // namespace bv
