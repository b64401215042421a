#include "record/recordfile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RecordFile", text);
}

// First line of an existing file, line break included, or empty for an empty file.
bool readFirstLine(const QString &path, QByteArray &line, QString &error)
{
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly)) {
        error = tr("cannot read %1: %2").arg(path, existing.errorString());
        return false;
    }
    line = existing.readLine();
    return true;
}

// A file left by a write that failed part-way (a full disk) ends inside a line; the next row
// must not be glued to it.
bool endsInsideLine(const QString &path, const QFileInfo &info)
{
    QFile existing(path);
    if (!info.isFile() || info.size() == 0 || !existing.open(QIODevice::ReadOnly) ||
        !existing.seek(info.size() - 1))
        return false;
    char last = 0;
    return existing.getChar(&last) && last != '\n';
}

} // namespace

bool RecordFile::open(const QString &path, const QByteArray &header, QString &error)
{
    path_ = path;
    headerRefused_ = false;
    if (path.isEmpty()) {
        if (!file_.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            error = tr("cannot write to standard output: %1").arg(file_.errorString());
            return false;
        }
        pendingHeader_ = header;
        return true;
    }
    QByteArray existingHeader;
    const QFileInfo info(path);
    if (info.exists() && info.isFile() && info.size() > 0 && !header.isEmpty()) {
        if (!readFirstLine(path, existingHeader, error))
            return false;
        if (existingHeader != header) {
            headerRefused_ = true;
            error = tr("%1 has other columns than this recording (%2 against %3); "
                       "choose another file")
                        .arg(path, QString::fromUtf8(existingHeader.trimmed()),
                             QString::fromUtf8(header.trimmed()));
            return false;
        }
    }
    file_.setFileName(path);
    // A device or a pipe cannot be appended to (no seek); it is written as it is.
    const QIODevice::OpenMode append =
        info.exists() && !info.isFile() ? QIODevice::NotOpen : QIODevice::Append;
    if (!file_.open(QIODevice::WriteOnly | append | QIODevice::Unbuffered)) {
        error = tr("cannot open %1 for writing: %2").arg(path, file_.errorString());
        return false;
    }
    if (existingHeader.isEmpty())
        pendingHeader_ = header;
    if (endsInsideLine(path, info))
        pendingHeader_.prepend('\n');
    return true;
}

bool RecordFile::writeLine(const QByteArray &line, QString &error)
{
    const QByteArray bytes = pendingHeader_ + line;
    if (file_.write(bytes) != bytes.size() || !file_.flush()) {
        error = tr("cannot write to %1: %2").arg(displayName(), file_.errorString());
        return false;
    }
    pendingHeader_.clear();
    return true;
}

QString RecordFile::displayName() const
{
    return path_.isEmpty() ? tr("standard output") : path_;
}
