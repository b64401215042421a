#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// An output file that takes whole lines: each line leaves in one unbuffered write, so a process
// killed at any moment leaves every completed line and no partial one. An empty path is stdout.
class RecordFile
{
public:
    // header, when not empty, goes to a new or empty file with the first line, so a run that
    // records nothing leaves no header behind; an existing file must start with exactly that
    // header, otherwise it is refused and nothing is written.
    bool open(const QString &path, const QByteArray &header, QString &error);
    bool writeLine(const QByteArray &line, QString &error);
    QString displayName() const;
    // The last open() failed because the file has other columns, not because of the file system.
    bool headerRefused() const { return headerRefused_; }

private:
    QFile file_;
    QString path_;
    QByteArray pendingHeader_;
    bool headerRefused_ = false;
};
