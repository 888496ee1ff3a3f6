#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessaron {

class Clock;

// Files that hold one user's data (preferences, VPN configurations): their folder is 0700 and each file
// 0600 whatever the umask, so no other local user can read them. Files and folders left with looser
// modes by an older version are tightened as they are opened.

// Tightens the file at `path` to 0600 and its folder to 0700 where they exist with looser modes.
void tightenPrivateFile(const QString& path);

// Creates `folder` and any missing parent as 0700, or tightens it when it exists. A shared folder (one
// with the sticky bit, such as /tmp) is never changed. False when the folder is not there afterwards.
bool makePrivateFolder(const QString& folder);

// Creates `folder` as 0700 when it is missing, then checks that it is this user's alone: a real folder
// (not a symbolic link), owned by this user, with no permission for anyone else. It is never changed:
// a folder that fails the check may be another user's trap. The reason it fails, or none.
std::optional<QString> claimPrivateFolder(const QString& folder);

// The folder for this user's sockets and locks: $XDG_RUNTIME_DIR when it is an absolute path, else
// "<temp>/tessaron-<uid>", never the root. Claim it before use: the temporary folder is everyone's.
QString userRuntimeFolder();

// Replaces the file at `path` atomically with `bytes`, readable and writable by its owner only.
bool writePrivateFile(const QString& path, const QByteArray& bytes);

// Moves the file at `path` aside as "<path>.damaged-<UTC stamp>" ("-2", "-3", … when that name is
// taken), owner-only. The name it got, or none when it could not be moved.
std::optional<QString> moveAside(const QString& path, const Clock& clock);
// Keeps `original`, the contents the file at `path` had, under the same kind of name.
std::optional<QString> copyAside(const QString& path, const QByteArray& original, const Clock& clock);

} // namespace tessaron
