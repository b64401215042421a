#pragma once

#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// stdout carries data, stderr diagnostics; progress goes to stderr only when it is a terminal.
class Output
{
public:
    Output();

    // False when stdout could not take it.
    bool write(const QString &text);
    bool writeJson(const QJsonObject &document);
    void diagnostic(const QString &text);
    void progress(const QString &text);
    void endProgress();

    // Columns padded to their widest cell; the first row is the header.
    static QString table(const QList<QStringList> &rows);

private:
    QFile stdout_;
    QFile stderr_;
    bool progressShown_ = false;
    bool stderrIsTerminal_ = false;
};
