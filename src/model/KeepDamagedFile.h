// Keeping a damaged file beside itself before the program writes over it.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Keeps the file at `path` as "<path>.damaged-<yyyyMMdd-hhmmss>" (local time) in the same folder and
// returns that path. With `content` (the file as it was read) a new file of that content is written,
// never over an existing one; when an earlier copy holds exactly that content, its path is returned and
// no second copy is made. Without `content` (the file could not be read) the file itself is moved to
// the new name, again never over an existing one. Empty, with the reason in `error`, on failure.
QString KeepDamagedFile(const QString& path, const std::optional<QByteArray>& content, QString& error);
