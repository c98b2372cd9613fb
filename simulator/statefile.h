// The files of the unit's non-volatile memory: written so that a full disk,
// a failed write or a kill at any moment leaves the old file whole.
#pragma once

#include <QByteArray>
#include <QString>

namespace sim {

// Writes `bytes` to path + ".partial", syncs it to disk, then renames it over
// `path`. A short write, a full disk, a failed sync or rename is a failure:
// the old file at `path` stays as it was and the partial file is removed.
bool replaceFile(const QString &path, const QByteArray &bytes);

// Removes what a kill between write and rename left in `folder`.
void removeLeftovers(const QString &folder);

} // namespace sim
