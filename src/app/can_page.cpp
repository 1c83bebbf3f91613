// The "CAN bus" page of the main window: frames fetched by the polling cycle
// and the commands of the memo's popup menu.
#include "app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>

void TMainFormKrv::CanOutputStep()
{
    // The memo keeps only the newest lines (its block limit), oldest first out.
    for (const QString& line : station_.FetchCanLines(CanViewHexCheckBox->isChecked()))
        CanMemo->appendPlainText(line);
}

void TMainFormKrv::PauseCanWatchClick()
{
    const QSignalBlocker block(PauseCanWatch);
    PauseCanWatch->setChecked(!PauseCanWatch->isChecked());
    CanPausedLabel->setVisible(PauseCanWatch->isChecked());
}

void TMainFormKrv::ClearAllLinesClick()
{
    CanMemo->clear();
}

void TMainFormKrv::CopyToClipboardClick()
{
    QApplication::clipboard()->setText(CanMemo->toPlainText());
    QTextCursor cursor = CanMemo->textCursor();
    cursor.movePosition(QTextCursor::Start);
    CanMemo->setTextCursor(cursor);
}
