#pragma once
// A notice above the message panel that stays until the user dismisses it
// (unlike the panel's lines, which go after five seconds): what a remote
// write changed on a regulator, or whether the customer's regulator
// confirmed it. A new notice replaces the one shown.
#include <QFrame>
#include <QStringList>

class QLabel;
class QPushButton;

class NoticeBar : public QFrame {
    Q_OBJECT
public:
    // Rows shown at most; the rest are counted ("... and 4 more", the chat
    // log holds them all).
    static constexpr int MaxRowsShown = 12;

    explicit NoticeBar(QWidget* parent = nullptr);
    void Show(const QString& headline, const QStringList& rows);
    QString Text() const;
    QPushButton* DismissButton() const { return dismiss_; }

private:
    QLabel* text_;
    QPushButton* dismiss_;
};
