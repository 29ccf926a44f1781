#include "platform/FileSystemKind.h"

#include "platform/FileServices.h"

#include <algorithm>
#include <array>

#include <sys/vfs.h>

namespace platform {
namespace {

// The f_type values statfs reports for file systems whose files live on
// another host, or are shared by several (see statfs(2) and the kernel's
// magic.h; FUSE counts because sshfs and its kind are FUSE mounts).
constexpr std::array<unsigned long, 15> kNetworkTypes = {
    0x6969UL,     // NFS
    0x517BUL,     // SMB
    0xFF534D42UL, // CIFS
    0xFE534D42UL, // SMB2
    0x65735546UL, // FUSE
    0x01021997UL, // 9p (v9fs)
    0x00C36400UL, // Ceph
    0x5346414FUL, // AFS
    0x6B414653UL, // kAFS
    0x0BD00BD0UL, // Lustre
    0x01161970UL, // GFS2
    0x7461636FUL, // OCFS2
    0x73757245UL, // Coda
    0x564CUL,     // NCP
    0x47504653UL, // GPFS
};

} // namespace

bool OnNetworkFileSystem(const std::string& path) {
    struct statfs status {};
    if (::statfs(SystemPath(path).c_str(), &status) != 0)
        return false;
    const auto type = static_cast<unsigned long>(status.f_type) & 0xFFFFFFFFUL;
    return std::find(kNetworkTypes.begin(), kNetworkTypes.end(), type) != kNetworkTypes.end();
}

} // namespace platform
