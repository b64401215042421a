#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

// Answers the modal information boxes a test provokes, keeping what each one said.
class MessageBoxCloser : public QObject
{
public:
    struct Seen
    {
        QString title;
        QString text;
        int buttons = 0;
        bool hadParent = false;
    };

    // holdMs keeps each box open that long before pressing OK.
    explicit MessageBoxCloser(int holdMs = 0) : holdMs(holdMs)
    {
        connect(&poll, &QTimer::timeout, this, [this] { answer(); });
        poll.start(10);
    }

    QList<Seen> seen;

private:
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == current)
            return;
        current = box;
        seen.append({box->windowTitle(), box->text(), box->buttons().size(),
                     box->parentWidget() != nullptr});
        QTimer::singleShot(holdMs, box, [box] {
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
        });
    }

    QTimer poll;
    QPointer<QMessageBox> current;
    int holdMs;
};
