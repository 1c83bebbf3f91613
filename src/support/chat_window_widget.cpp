#include "support/chat_window_widget.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// As many characters as a chat message carries ("Send a chat" takes as many).
constexpr int ChatLineMaxLength = 255;

} // namespace

ChatWindow::ChatWindow(std::function<QList<ChatLine>()> lines, std::function<bool(const QString&)> send,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), lines_(std::move(lines)), send_(std::move(send)), view_(new QPlainTextEdit(this)),
      input_(new QLineEdit(this))
{
    setObjectName(QStringLiteral("ChatWindow"));
    setWindowTitle(QStringLiteral("Chat"));
    view_->setReadOnly(true);
    view_->setUndoRedoEnabled(false);
    input_->setObjectName(QStringLiteral("ChatInput"));
    input_->setMaxLength(ChatLineMaxLength);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(input_);
    // Typing goes to the input line: the window is there to answer.
    setFocusProxy(input_);
    connect(input_, &QLineEdit::returnPressed, this, [this] {
        if (!input_->text().isEmpty() && send_(input_->text()))
            input_->clear();
    });
    resize(520, 320);
    SetCanSend(true);
    Refresh();
}

void ChatWindow::Refresh()
{
    QStringList text;
    for (const ChatLine& line : lines_())
        text << ChatLineText(line);
    view_->setPlainText(text.isEmpty() ? QStringLiteral("No chat lines yet.") : text.join(QLatin1Char('\n')));
    view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

void ChatWindow::SetCanSend(bool canSend)
{
    input_->setEnabled(canSend);
    input_->setPlaceholderText(canSend ? QStringLiteral("Type a line and press Enter to send it")
                                       : QStringLiteral("Chat needs \"Share data with support\" or \"Remote via "
                                                        "Internet\""));
}

QString ChatWindow::Text() const
{
    return view_->toPlainText();
}
