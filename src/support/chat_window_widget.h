#pragma once
// The "Chat..." window: every chat line of this run, sent and received, with
// its time and side, newest last. It reads them anew when told of a change.
#include "support/chat_log.h"

#include <QList>
#include <QWidget>

#include <functional>

class QPlainTextEdit;

class ChatWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChatWindow(std::function<QList<ChatLine>()> lines, QWidget* parent = nullptr);
    void Refresh();
    QString Text() const;

private:
    std::function<QList<ChatLine>()> lines_;
    QPlainTextEdit* view_;
};
