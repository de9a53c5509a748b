#include "platform/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#if defined(Q_OS_LINUX)
#include <sys/vfs.h>
#endif

namespace {

// The path itself when it is there, else its nearest existing parent.
QString ExistingPath(const QString& path) {
    QFileInfo info(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath()) break;
        info = QFileInfo(parent);
    }
    return info.absoluteFilePath();
}

#if defined(Q_OS_LINUX)

// The magic numbers of statfs(2)'s f_type for the network file systems.
struct NetworkMagic {
    unsigned long magic;
    const char* name;
};
constexpr NetworkMagic kNetworkMagics[] = {
    {0x6969UL, "NFS"},          {0x517BUL, "SMB"},         {0xFE534D42UL, "SMB2"},   {0xFF534D42UL, "CIFS"},
    {0x564CUL, "NCP"},          {0x5346414FUL, "AFS"},     {0x6B414653UL, "AFS"},    {0x73757245UL, "Coda"},
    {0x01021997UL, "9P"},       {0x00C36400UL, "Ceph"},    {0x0BD00BD0UL, "Lustre"}, {0x47504653UL, "GPFS"},
    {0x7461636FUL, "OCFS2"},    {0x01161970UL, "GFS2"},
};
// FUSE serves local file systems (NTFS disks) as well as remote ones: its
// magic number alone tells nothing, the mount table names the kind.
constexpr unsigned long kFuseMagic = 0x65735546UL;

QString MountTableName(const QString& path);

QString StatfsName(const QString& path) {
    struct statfs facts {};
    if (::statfs(QFile::encodeName(path).constData(), &facts) != 0) return {};
    const auto type = static_cast<unsigned long>(facts.f_type) & 0xFFFFFFFFUL;
    if (type == kFuseMagic) return MountTableName(path);
    for (const NetworkMagic& m : kNetworkMagics)
        if (m.magic == type) return QString::fromLatin1(m.name);
    return {};
}

#endif

// The plain fallback: the file system's type as the mount table names it.
QString MountTableName(const QString& path) {
    const QString type = QString::fromLatin1(QStorageInfo(path).fileSystemType()).toLower();
    const char* network[] = {"nfs",  "nfs4",   "cifs",   "smb3",       "smbfs",     "ncpfs",
                             "afs",  "coda",   "9p",     "ceph",       "lustre",    "fuse.sshfs",
                             "fuse.s3fs", "fuse.rclone", "fuse.gcsfuse"};
    for (const char* name : network)
        if (type == QLatin1String(name)) return type.toUpper();
    return {};
}

} // namespace

QString NetworkFileSystemName(const QString& path) {
    const QString existing = ExistingPath(path);
#if defined(Q_OS_LINUX)
    const QString name = StatfsName(existing);
    if (!name.isEmpty()) return name;
#endif
    return MountTableName(existing);
}
