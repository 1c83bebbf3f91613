#pragma once
// The window of "Compare Settings With File...": every row in which the
// editors differ from a settings file, and a button that copies the list.
#include "compare/settings_compare.h"

#include <QDialog>

// The rows as a table (Section, Setting, ours, theirs), or "No differences".
QWidget* NewDifferencesView(const QList<SettingsDifference>& differences, const QString& oursTitle,
                            const QString& theirsTitle);

class SettingsCompareDialog : public QDialog {
    Q_OBJECT
public:
    SettingsCompareDialog(const QList<SettingsDifference>& differences, const QString& filePath,
                          QWidget* parent = nullptr);

    // The list as the copy button puts it on the clipboard.
    QString Text() const { return text_; }

private:
    QString text_;
};
