#include "boundedlog.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace boundedlog {

void append(QTextEdit *log, const QString &line)
{
    log->append(line);
    QTextDocument *document = log->document();
    if (document->blockCount() <= lineLimit + trimBatch)
        return;
    // Trimming one line per append would lay out the whole document every tick.
    QTextCursor oldest(document);
    oldest.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                        document->blockCount() - lineLimit);
    oldest.removeSelectedText();
}

} // namespace boundedlog
