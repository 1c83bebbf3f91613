#include "support/chat_window_widget.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

ChatWindow::ChatWindow(std::function<QList<ChatLine>()> lines, QWidget* parent)
    : QWidget(parent, Qt::Window), lines_(std::move(lines)), view_(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("ChatWindow"));
    setWindowTitle(QStringLiteral("Chat"));
    view_->setReadOnly(true);
    view_->setUndoRedoEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    resize(520, 320);
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

QString ChatWindow::Text() const
{
    return view_->toPlainText();
}
