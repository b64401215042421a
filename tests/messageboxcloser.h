#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>

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
    explicit MessageBoxCloser(int holdMs = 0, std::function<void()> beforeClose = {},
                              std::function<void()> onShown = {})
        : holdMs(holdMs), beforeClose(std::move(beforeClose)), onShown(std::move(onShown))
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
        if (onShown)
            onShown();
        QTimer::singleShot(holdMs, box, [this, box] {
            if (beforeClose)
                beforeClose();
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
        });
    }

    QTimer poll;
    QPointer<QMessageBox> current;
    int holdMs;
    std::function<void()> beforeClose;
    std::function<void()> onShown;
};
