#include "views/notice_bar_widget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

NoticeBar::NoticeBar(QWidget* parent) : QFrame(parent), text_(new QLabel(this)), dismiss_(new QPushButton(this))
{
    setObjectName(QStringLiteral("NoticeBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // The message panel's yellow, paler: it is the same kind of news, kept.
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(255, 248, 196));
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
    text_->setWordWrap(true);
    text_->setTextFormat(Qt::PlainText);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dismiss_->setText(QStringLiteral("Dismiss"));
    dismiss_->setObjectName(QStringLiteral("DismissNotice"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(text_, 1);
    layout->addWidget(dismiss_, 0, Qt::AlignTop);
    connect(dismiss_, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

void NoticeBar::Show(const QString& headline, const QStringList& rows)
{
    QStringList lines{headline};
    for (int i = 0; i < rows.size() && i < MaxRowsShown; ++i)
        lines << QStringLiteral("    ") + rows[i];
    if (rows.size() > MaxRowsShown)
        lines << QStringLiteral("    ... and %1 more (Options, Chat... lists them all)").arg(rows.size() - MaxRowsShown);
    text_->setText(lines.join(QLatin1Char('\n')));
    show();
}

QString NoticeBar::Text() const
{
    return text_->text();
}
