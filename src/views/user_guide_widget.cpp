#include "views/user_guide_widget.h"

#include "views/window_fit_widget.h"

#include <QFileInfo>
#include <QImage>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

namespace {

// Room left beside a picture for the document's margins and a scroll bar.
constexpr int PictureMargin = 40;

} // namespace

UserGuideView::UserGuideView(QWidget* parent) : QTextBrowser(parent)
{
    setOpenExternalLinks(true);
    setOpenLinks(true);
    // Text wraps and pictures shrink to the width: nothing to scroll sideways to.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

bool UserGuideView::Open(const QString& path)
{
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable())
        return false;
    missing_.clear();
    pictureWidth_ = std::max(200, viewport()->width() - PictureMargin);
    setSource(QUrl::fromLocalFile(file.absoluteFilePath()), QTextDocument::MarkdownResource);
    NameHeadings();
    return !document()->isEmpty();
}

QString UserGuideView::HeadingAnchor(const QString& heading)
{
    QString anchor;
    for (const QChar c : heading.toLower())
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_'))
            anchor += c;
        else if (c == QLatin1Char(' '))
            anchor += QLatin1Char('-');
    return anchor;
}

void UserGuideView::NameHeadings()
{
    QTextCursor cursor(document());
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0)
            continue;
        cursor.setPosition(block.position());
        cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setAnchor(true);
        format.setAnchorNames({HeadingAnchor(block.text())});
        cursor.mergeCharFormat(format);
    }
}

QVariant UserGuideView::loadResource(int type, const QUrl& name)
{
    if (type != QTextDocument::ImageResource)
        return QTextBrowser::loadResource(type, name);
    // Screenshots are as wide as a screen: shown at most as wide as the
    // window, so that the text beside them needs no sideways scrolling.
    const QUrl url = source().resolved(name);
    QImage picture(url.toLocalFile());
    if (picture.isNull()) {
        if (!missing_.contains(name.toString()))
            missing_ << name.toString();
        return QVariant();
    }
    if (picture.width() > pictureWidth_)
        picture = picture.scaledToWidth(pictureWidth_, Qt::SmoothTransformation);
    return picture;
}

void UserGuideView::resizeEvent(QResizeEvent* event)
{
    QTextBrowser::resizeEvent(event);
    const int width = std::max(200, viewport()->width() - PictureMargin);
    // Pictures are fitted again only when the width changed by a good deal:
    // reloading the guide keeps the place the reader scrolled to.
    if (!source().isEmpty() && std::abs(width - pictureWidth_) > 80) {
        pictureWidth_ = width;
        const int at = verticalScrollBar()->value();
        reload();
        NameHeadings();
        verticalScrollBar()->setValue(at);
    }
}

UserGuideWindow::UserGuideWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("UserGuideWindow"));
    setWindowTitle(QStringLiteral("User Guide"));
    view_ = new UserGuideView;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    FitWindowToScreen(this, QSize(900, 900));
}

bool UserGuideWindow::Open(const QString& path)
{
    return view_->Open(path);
}
