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
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

CanPage::CanPage(QWidget* parent)
    : QWidget(parent),
      hex_(new QCheckBox(QStringLiteral("View in Hex"), this)),
      memo_(new QPlainTextEdit(this)), decoded_(new QPlainTextEdit(this)), panes_(new QSplitter(this)),
      paused_(new QLabel(QStringLiteral("Paused: no new frames are listed (right-click, \"Pause\" to go on)"), this)),
      menu_(new QMenu(this)), notShared_(new NotLiveBanner(this))
{
    auto* label = new QLabel(QStringLiteral("Raw CAN Frames"), this);
    label->setObjectName(QStringLiteral("Label1"));
    auto* decodedLabel = new QLabel(QStringLiteral("NMEA 2000 Decoded"), this);
    hex_->setChecked(true);
    // Narrower than a line of eight data bytes and lower than the design's
    // 592 pixels, which it grows to: the memo scrolls its lines itself, both
    // ways, so the page needs no scroll bar of its own for it, on a small
    // screen too.
    Grows(memo_, 320, 160);
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
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

    // The decoding pane: the same font, block limit and scroll bars as the
    // memo, so that its lines sit on the rows of the frames they decode.
    decoded_->setObjectName(QStringLiteral("CanDecodedMemo"));
    Grows(decoded_, 320, 160);
    decoded_->setReadOnly(true);
    decoded_->setLineWrapMode(QPlainTextEdit::NoWrap);
    decoded_->setUndoRedoEnabled(false);
    decoded_->setMaximumBlockCount(MaxCanMemoLines);
    decoded_->setFont(memo_->font());
    decoded_->setContextMenuPolicy(Qt::CustomContextMenu);
    for (QPlainTextEdit* pane : {memo_, decoded_}) {
        pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QPlainTextEdit* other = pane == memo_ ? decoded_ : memo_;
        connect(pane->verticalScrollBar(), &QScrollBar::valueChanged, other->verticalScrollBar(),
                &QScrollBar::setValue);
        connect(pane, &QPlainTextEdit::cursorPositionChanged, this,
                [this, pane] { MarkLine(pane->textCursor().blockNumber()); });
    }

    pause_ = menu_->addAction(QStringLiteral("Pause"));
    pause_->setCheckable(true);
    clear_ = menu_->addAction(QStringLiteral("Clear"));
    copy_ = menu_->addAction(QStringLiteral("Copy to Clipboard"));
    connect(memo_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { menu_->popup(memo_->mapToGlobal(pos)); });
    connect(decoded_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { menu_->popup(decoded_->mapToGlobal(pos)); });
    // While "Pause" is ticked the page says so: no line is added meanwhile.
    paused_->setObjectName(QStringLiteral("CanPausedLabel"));
    paused_->setStyleSheet(WarningStyleSheet());
    paused_->hide();

    // Each pane under its own heading, the two headings of one height so
    // that the panes' rows stay level whatever the splitter's position. The
    // paused notice spans both, above them.
    auto* rawHead = new QWidget;
    auto* top = new QHBoxLayout(rawHead);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(label);
    top->addStretch(1);
    top->addWidget(hex_);
    auto* decodedHead = new QWidget;
    auto* decodedTop = new QHBoxLayout(decodedHead);
    decodedTop->setContentsMargins(0, 0, 0, 0);
    decodedTop->addWidget(decodedLabel);
    int headHeight = 0;
    for (QWidget* part : std::initializer_list<QWidget*>{label, hex_, decodedLabel})
        headHeight = std::max(headHeight, part->sizeHint().height());
    panes_->setChildrenCollapsible(false);
    for (const auto& [head, pane] : {std::pair<QWidget*, QPlainTextEdit*>{rawHead, memo_}, {decodedHead, decoded_}}) {
        head->setFixedHeight(headHeight);
        auto* column = new QWidget;
        auto* columnLayout = new QVBoxLayout(column);
        columnLayout->setContentsMargins(0, 0, 0, 0);
        columnLayout->addWidget(head);
        columnLayout->addWidget(pane, 1);
        panes_->addWidget(column);
    }
    // The frames' kinds, lengths and identifiers on the left, the decoding
    // with twice the room on the right: it is what is read; the splitter
    // gives the data bytes more room when they are wanted.
    panes_->setStretchFactor(0, 1);
    panes_->setStretchFactor(1, 2);

    notShared_->setObjectName(QStringLiteral("CanNotShared"));
    notShared_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->addWidget(notShared_);
    layout->addWidget(paused_);
    layout->addWidget(panes_, 1);
}

void CanPage::MarkLine(int line)
{
    for (QPlainTextEdit* pane : {memo_, decoded_}) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(pane->document()->findBlockByNumber(line));
        mark.format.setBackground(pane->palette().color(QPalette::AlternateBase));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        pane->setExtraSelections({mark});
    }
}

void CanPage::ShowNotShared(const QString& text)
{
    // The lines listed stay for when the frames come again; they are not
    // shown meanwhile, since they are not the frames the user looks for.
    notShared_->Show(text);
    panes_->setVisible(text.isEmpty());
}

bool CanPage::IsPaused() const
{
    return pause_->isChecked();
}

bool CanPage::InHex() const
{
    return hex_->isChecked();
}

void CanPage::AppendLines(const QStringList& lines, const QStringList& decodings)
{
    // A decoding is never empty: an empty line appended to an empty pane
    // would fill its first row instead of adding one, and the panes would
    // no longer be in step.
    for (int i = 0; i < lines.size(); ++i) {
        memo_->appendPlainText(lines[i]);
        const QString decoding = i < decodings.size() ? decodings[i] : QString();
        decoded_->appendPlainText(decoding.isEmpty() ? QStringLiteral("-") : decoding);
    }
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
    decoded_->clear();
}

void CanPage::CopyLines()
{
    QApplication::clipboard()->setText(memo_->toPlainText());
    QTextCursor cursor = memo_->textCursor();
    cursor.movePosition(QTextCursor::Start);
    memo_->setTextCursor(cursor);
}
