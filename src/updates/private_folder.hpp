#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tessaron {

// A folder that only this user can enter: a real folder (not a symbolic link), owned by this user, mode
// 0700. Every file operation goes through the opened folder, so swapping the path for a link afterwards
// changes nothing.
class PrivateFolder {
public:
    // None unless `path` is such a folder. A folder of this user with a wider mode is narrowed to 0700;
    // with `create`, a missing folder (and its missing parents) is made 0700 first.
    static std::optional<PrivateFolder> open(const QString& path, bool create);

    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&& other) = delete;
    PrivateFolder(const PrivateFolder&) = delete;
    ~PrivateFolder();

    const QString& path() const { return path_; }

    // Every entry but "." and "..", hidden ones included, in the order the system lists them.
    QStringList entries() const;
    // The content of a regular file (never through a link); none when it is missing, unreadable or longer
    // than `maxBytes`.
    std::optional<QByteArray> read(const QString& name, qint64 maxBytes) const;
    // Writes a file of mode 0600 aside and renames it onto `name`: a reader sees the old file or the whole
    // new one.
    bool writeAtomically(const QString& name, const QByteArray& bytes) const;
    void remove(const QString& name) const;
    // The opened folder's descriptor, now the caller's to keep or close.
    int releaseDescriptor() && { return std::exchange(descriptor_, -1); }

private:
    PrivateFolder(int descriptor, QString path);

    int descriptor_;
    QString path_;
};

} // namespace tessaron
