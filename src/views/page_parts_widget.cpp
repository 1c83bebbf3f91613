#include "views/page_parts_widget.h"

QLabel* PageCaption(const QString& text)
{
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

QPlainTextEdit* ReadOnlyMemo(QWidget* parent)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setUndoRedoEnabled(false);
    QPalette p = memo->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    memo->setPalette(p);
    return memo;
}

void Grows(QWidget* widget, int minimumWidth, int minimumHeight)
{
    widget->setMinimumSize(minimumWidth, minimumHeight);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QScrollArea* Scrolled(QWidget* content)
{
    auto* area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

NotLiveBanner::NotLiveBanner(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("NotLiveBanner"));
    setWordWrap(true);
    setStyleSheet(WarningStyleSheet());
    hide();
}

void NotLiveBanner::Show(const QString& text)
{
    // Each change lays the page out again: only a change is made.
    if (this->text() != text)
        setText(text);
    if (isHidden() != text.isEmpty())
        setHidden(text.isEmpty());
}

void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines)
{
    const QString text = lines.join(QLatin1Char('\n'));
    if (memo->toPlainText() != text)
        memo->setPlainText(text);
}

QLabel* NewMessagePanel(QWidget* parent)
{
    auto* panel = new QLabel(QStringLiteral(" Message"), parent);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, Qt::yellow);
    p.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(p);
    QFont bold = panel->font();
    bold.setBold(true);
    panel->setFont(bold);
    panel->hide();
    return panel;
}

void ShowIndicator(QLabel* label, const QString& text, const QString& tip, bool warning)
{
    if (label->text() != text)
        label->setText(text);
    if (label->toolTip() != tip)
        label->setToolTip(tip);
    const QString style = warning ? WarningStyleSheet() : QString();
    if (label->styleSheet() != style)
        label->setStyleSheet(style);
}
