// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SnapshotFiles.h"

#include "core/util/SafeFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace nura {

bool isPrivateFolder(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

QString privateTemporaryFolder(const QString& runtimeDir) {
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(runtimeDir)) {
        const QString folder = QDir(runtimeDir).filePath(QStringLiteral("nura-viewer"));
        const QByteArray encoded = QFile::encodeName(folder);
        // mkdir never follows a link planted at the name, and fails if anything is there.
        if (::mkdir(encoded.constData(), 0700) == 0 || errno == EEXIST) {
            if (isPrivateFolder(folder)) {
                return folder;
            }
        }
    }
    QByteArray pattern =
        QFile::encodeName(QDir(QDir::tempPath()).filePath(QStringLiteral("nura-viewer-XXXXXX")));
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return QFile::decodeName(pattern);
}

QString applicationTemporaryFolder() {
    static const QString folder = privateTemporaryFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    // A folder removed while the viewer runs (a logout cleaning the runtime folder) is made again.
    if (!folder.isEmpty() && !isPrivateFolder(folder)) {
        return privateTemporaryFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    }
    return folder;
}

QString saveSnapshotAs(const QString& snapshot, const QString& target) {
    QFile source(snapshot);
    if (!source.open(QIODevice::ReadOnly)) {
        return source.errorString();
    }
    const QByteArray jpeg = source.readAll();
    QImage picture;
    if (!picture.loadFromData(jpeg, "jpeg")) {
        return QStringLiteral("the snapshot is not a readable JPEG picture");
    }
    const bool png = QFileInfo(target).suffix().compare(QStringLiteral("png"), Qt::CaseInsensitive) == 0;
    QByteArray bytes = jpeg;
    if (png) {
        bytes.clear();
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "png")) {
            return QStringLiteral("the picture could not be written");
        }
    }
    // Written beside the chosen file and renamed over it: the user's old file stays whole until the new
    // one is, a link there is replaced rather than written through, and a FIFO or device is refused.
    const FileStatus saved =
        writeFileSafely(QFile::encodeName(target).toStdString(),
                        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    if (!saved.ok()) {
        return QString::fromStdString(saved.describe());
    }
    return {};
}

} // namespace nura
