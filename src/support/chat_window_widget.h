#pragma once
// The "Chat..." window: every chat line of this run, sent and received, with
// its time and side, newest last, and an input line below them: Enter sends
// the line as "Send Chat Message" does. It is a window of its own that can
// stay open beside the main window; it reads the lines anew when told of a
// change.
#include "support/chat_log.h"

#include <QList>
#include <QWidget>

#include <functional>

class QLineEdit;
class QPlainTextEdit;

class ChatWindow : public QWidget {
    Q_OBJECT
public:
    // `send` sends a typed line: false when it could not be sent as any role
    // (the line then stays in the input for another try).
    ChatWindow(std::function<QList<ChatLine>()> lines, std::function<bool(const QString&)> send,
               QWidget* parent = nullptr);
    void Refresh();
    // Whether a role is on to send as: the input line says so when not.
    void SetCanSend(bool canSend);
    QString Text() const;
    QLineEdit* Input() const { return input_; }

private:
    std::function<QList<ChatLine>()> lines_;
    std::function<bool(const QString&)> send_;
    QPlainTextEdit* view_;
    QLineEdit* input_;
};
