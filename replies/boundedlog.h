#pragma once

class QString;
class QTextEdit;

// The log keeps its newest lines; the oldest go in batches, so an append stays cheap and a day
// of replies does not grow memory.
namespace boundedlog {

constexpr int lineLimit = 10000;
constexpr int trimBatch = 1000;

// Appends one line; once the log holds lineLimit + trimBatch lines it is cut back to lineLimit.
void append(QTextEdit *log, const QString &line);

} // namespace boundedlog
