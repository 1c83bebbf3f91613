#include "app/device_operation.h"

#include <QApplication>
#include <QCursor>

DeviceOperation::DeviceOperation(std::initializer_list<PausableTimer*> timers, Cursor cursor)
    : pause_(timers), hourglass_(cursor == Cursor::Hourglass)
{
    if (hourglass_)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

DeviceOperation::~DeviceOperation()
{
    End();
}

void DeviceOperation::End()
{
    pause_.End();
    if (hourglass_)
        QApplication::restoreOverrideCursor();
    hourglass_ = false;
}

DeviceOperation::ArrowWhileAsking::ArrowWhileAsking() : hourglass(QApplication::overrideCursor() != nullptr)
{
    if (hourglass)
        QApplication::restoreOverrideCursor();
}

DeviceOperation::ArrowWhileAsking::~ArrowWhileAsking()
{
    if (hourglass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}
