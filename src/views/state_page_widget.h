#pragma once
// A state page of the main window, the own regulator's or the peer's: the
// measured values, the system state and the regulator state grids and the
// memo of system messages, drawn from the page texts the core works out.
#include "views/state_views.h"

#include <QWidget>

class NotLiveBanner;
class QPlainTextEdit;
class StringGrid;

class StatePage : public QWidget {
    Q_OBJECT
public:
    explicit StatePage(Side side, QWidget* parent = nullptr);

    // The `parts` (StatePart) of the page from its texts.
    void Draw(const StatePageTexts& texts, int parts = AllParts);
    // Why the values are no live readings (empty: they are); the grids are
    // greyed meanwhile, or hidden with `valuesHidden`.
    void ShowNotLive(const QString& text, bool valuesHidden = false);

    StringGrid* MeasuredValuesTable() const { return measured_; }
    StringGrid* SystemStateTable() const { return system_; }
    StringGrid* RegulatorStateTable() const { return regulator_; }
    QPlainTextEdit* SystemMessagesMemo() const { return memo_; }

private:
    StringGrid* measured_;
    StringGrid* system_;
    StringGrid* regulator_;
    QPlainTextEdit* memo_;
    QStringList memoLines_;
    NotLiveBanner* banner_;
    QWidget* values_;
};
