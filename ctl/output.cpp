#include "output.h"

#include <QJsonDocument>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define PX8107_ISATTY _isatty
#define PX8107_FILENO _fileno
#else
#include <unistd.h>
#define PX8107_ISATTY isatty
#define PX8107_FILENO fileno
#endif

Output::Output()
{
    stdout_.open(stdout, QIODevice::WriteOnly);
    stderr_.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    stderrIsTerminal_ = PX8107_ISATTY(PX8107_FILENO(stderr)) != 0;
}

bool Output::write(const QString &text)
{
    endProgress();
    const QByteArray bytes = text.toUtf8();
    return stdout_.write(bytes) == bytes.size() && stdout_.flush();
}

bool Output::writeJson(const QJsonObject &document)
{
    return write(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)));
}

void Output::diagnostic(const QString &text)
{
    endProgress();
    stderr_.write((text + QLatin1Char('\n')).toUtf8());
}

void Output::progress(const QString &text)
{
    if (!stderrIsTerminal_)
        return;
    stderr_.write((QStringLiteral("\r\x1b[K") + text).toUtf8());
    progressShown_ = true;
}

void Output::endProgress()
{
    if (!progressShown_)
        return;
    stderr_.write("\r\x1b[K");
    progressShown_ = false;
}

QString Output::table(const QList<QStringList> &rows)
{
    QList<int> widths;
    for (const QStringList &row : rows)
        for (int column = 0; column < row.size(); ++column) {
            if (widths.size() <= column)
                widths.append(0);
            widths[column] = qMax(widths[column], row[column].size());
        }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2)
                                            : row[column];
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}
