#pragma once
// What kind of file system holds a path. A database on a file system that
// several hosts share can use no memory shared between its users, and its
// locks are only as good as the file system's own.

#include <string>

namespace platform {

// True when path (Windows-1250, like every path) lies on a network or
// otherwise remote file system: NFS, SMB/CIFS, FUSE mounts such as sshfs,
// 9p, Ceph, AFS, Lustre, GFS2, OCFS2 and the like. False for a local file
// system, and when the path cannot be examined (opening it will say why).
bool OnNetworkFileSystem(const std::string& path);

} // namespace platform
