#pragma once
// What kind of file system holds a path: a database that locks its file
// (SQLite) must not live on a network file system, whose locks and syncs
// do not hold the way a local disk's do.

#include <QString>

// The name of the network file system that holds `path` (or, for a path
// that is not there yet, its nearest existing directory), e.g. "NFS" or
// "CIFS"; empty when it lies on a local file system or when the system
// cannot tell.
QString NetworkFileSystemName(const QString& path);
