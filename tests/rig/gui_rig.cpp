#include "rig/gui_rig.h"

#include <QPlainTextEdit>
#include <QTimer>

GuiRig::GuiRig(bool animate, LinkClock* regulatorClock) : sim(regulatorClock ? *regulatorClock : linkClock)
{
    sim.Animate = animate;
    window = std::make_unique<TMainFormKrv>(sim, dialogs, clock);
    window->Core().SettingsOwner().UseBackupsFolder(backups.path());
    StopTimers();
}

GuiRig::~GuiRig()
{
    window.reset();
}

void GuiRig::StopTimers()
{
    window->Ui().USBTimer->stop();
    window->Ui().SystemStateTimer->stop();
    window->Ui().INETTimer->stop();
}

void GuiRig::Connect()
{
    window->USBTimerTimer(); // the first request finds the regulator
    window->USBTimerTimer();
}

QStringList GuiRig::Cells(const StringGrid* grid)
{
    QStringList cells;
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << grid->Cell(r, c);
    return cells;
}

QStringList GuiRig::MemoLines(const QPlainTextEdit* memo)
{
    return memo->toPlainText().split(QLatin1Char('\n'));
}
