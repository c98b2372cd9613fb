#include "statefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr char kPartial[] = ".partial";

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false; // ENOSPC after a short write lands here
        }
        done += n;
    }
    return true;
}

} // namespace

// By hand rather than with QSaveFile: that ignores a failed sync, and its
// temporary files have random names that a restart could not tell apart.
bool replaceFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray partial = target + kPartial;
    const int fd = ::open(partial.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(partial.constData(), target.constData()) != 0) {
        ::unlink(partial.constData());
        return false;
    }
    // The rename itself reaches the disk with the folder; a kill does not
    // need this, a power failure does.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void removeLeftovers(const QString &folder)
{
    QDir dir(folder);
    // Ours, and those of the earlier writer (QSaveFile: name + six characters).
    const QStringList left =
        dir.entryList({QStringLiteral("*") + kPartial, QStringLiteral("*.state.??????")}, QDir::Files);
    for (const QString &name : left) {
        dir.remove(name);
    }
}

} // namespace sim
