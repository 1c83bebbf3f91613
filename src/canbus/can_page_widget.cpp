#include "canbus/can_page_widget.h"
#include "canbus/can_line_buffer.h"
#include "records/can_frame_record.h"
#include "views/page_parts_widget.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

CanPage::CanPage(QWidget* parent)
    : QWidget(parent),
      hex_(new QCheckBox(QStringLiteral("View in Hex"), this)),
      memo_(new QPlainTextEdit(this)),
      paused_(new QLabel(QStringLiteral("Paused: no new frames are listed (right-click, \"Pause\" to go on)"), this)),
      menu_(new QMenu(this)), notShared_(new NotLiveBanner(this))
{
    auto* label = new QLabel(QStringLiteral("Raw CAN Frames"), this);
    label->setObjectName(QStringLiteral("Label1"));
    hex_->setChecked(true);
    // Narrower than a line of eight data bytes and lower than the design's
    // 592 pixels, which it grows to: the memo scrolls its lines itself, both
    // ways, so the page needs no scroll bar of its own for it, on a small
    // screen too.
    Grows(memo_, 400, 160);
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setMaximumBlockCount(MaxCanMemoLines);
    // Appended lines must not pile up in an undo history nobody can use.
    memo_->setUndoRedoEnabled(false);
    memo_->setContextMenuPolicy(Qt::CustomContextMenu);
    // The kind texts are followed by as many tabs as reach column 32 on stops
    // eight characters apart; after that each piece has a stop of its own
    // width, so that "14 bytes" lines up with "8 bytes" and every data byte
    // with the one above it (the text itself keeps its tabs).
    memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const qreal digit = QFontMetricsF(memo_->font()).horizontalAdvance(QLatin1Char('0'));
    QList<QTextOption::Tab> stops;
    for (const int column : {8, 16, 24, 32, 42, 57})
        stops.append(QTextOption::Tab(column * digit, QTextOption::LeftTab));
    for (int b = 1; b <= CanFrameRecord::MaxDataBytes; ++b)
        stops.append(QTextOption::Tab((57 + 9 * b) * digit, QTextOption::LeftTab));
    QTextOption option = memo_->document()->defaultTextOption();
    option.setTabs(stops);
    memo_->document()->setDefaultTextOption(option);

    pause_ = menu_->addAction(QStringLiteral("Pause"));
    pause_->setCheckable(true);
    clear_ = menu_->addAction(QStringLiteral("Clear"));
    copy_ = menu_->addAction(QStringLiteral("Copy to Clipboard"));
    connect(memo_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { menu_->popup(memo_->mapToGlobal(pos)); });
    // While "Pause" is ticked the page says so: no line is added meanwhile.
    paused_->setObjectName(QStringLiteral("CanPausedLabel"));
    paused_->setStyleSheet(WarningStyleSheet());
    paused_->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addSpacing(16);
    top->addWidget(paused_);
    top->addStretch(1);
    top->addWidget(hex_);
    notShared_->setObjectName(QStringLiteral("CanNotShared"));
    notShared_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->addWidget(notShared_);
    layout->addLayout(top);
    layout->addWidget(memo_, 1);
}

void CanPage::ShowNotShared(const QString& text)
{
    // The lines listed stay for when the frames come again; they are not
    // shown meanwhile, since they are not the frames the user looks for.
    notShared_->Show(text);
    memo_->setVisible(text.isEmpty());
}

bool CanPage::IsPaused() const
{
    return pause_->isChecked();
}

bool CanPage::InHex() const
{
    return hex_->isChecked();
}

void CanPage::AppendLines(const QStringList& lines)
{
    for (const QString& line : lines)
        memo_->appendPlainText(line);
}

void CanPage::TogglePause()
{
    const QSignalBlocker block(pause_);
    pause_->setChecked(!pause_->isChecked());
    paused_->setVisible(pause_->isChecked());
}

void CanPage::ClearLines()
{
    memo_->clear();
}

void CanPage::CopyLines()
{
    QApplication::clipboard()->setText(memo_->toPlainText());
    QTextCursor cursor = memo_->textCursor();
    cursor.movePosition(QTextCursor::Start);
    memo_->setTextCursor(cursor);
}
