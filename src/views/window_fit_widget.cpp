#include "views/window_fit_widget.h"

#include <QScreen>
#include <QStyle>
#include <QWidget>

void FitWindowToScreen(QWidget* window, QSize wanted)
{
    QScreen* s = window->screen();
    if (!s) {
        window->resize(wanted);
        return;
    }
    const QRect area = s->availableGeometry();
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize size = wanted.boundedTo(area.size() - frame).expandedTo(window->minimumSize());
    window->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, area));
}

void KeepFrameOnScreen(QWidget* window)
{
    QScreen* s = window->screen();
    if (!s || window->isMaximized() || window->isFullScreen())
        return;
    const QRect area = s->availableGeometry();
    const QRect frame = window->frameGeometry();
    if (area.contains(frame))
        return;
    const QSize extra = frame.size() - window->geometry().size();
    window->resize(window->size().boundedTo(area.size() - extra).expandedTo(window->minimumSize()));
    window->move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window->size() + extra, area).topLeft());
}
