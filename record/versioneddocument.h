#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// The envelope shared by the JSON files the tools read: an object whose "format" names what it
// is and whose "version" says which shape it has.
struct DocumentKind
{
    const char *format;  // the value of "format"
    int version;         // the only version read
    const char *name;    // in messages, e.g. "settings snapshot"
    const char *article; // "a" or "an"
};

// The root object, or nothing with `error` saying why the text is not such a document.
std::optional<QJsonObject> readVersionedDocument(const QByteArray &json, const DocumentKind &kind,
                                                 QString &error);
