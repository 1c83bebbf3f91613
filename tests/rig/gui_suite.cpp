#include "rig/gui_suite.h"

#include <QLocale>
#include <QtTest>

void GuiSuite::init()
{
    QLocale::setDefault(QLocale::c());
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    rig_ = std::make_unique<GuiRig>();
    SetUpRig(*rig_);
}

void GuiSuite::cleanup()
{
    if (rig_) {
        CheckRig(*rig_);
        QVERIFY(!rig_->dialogs.Unscripted);
    }
    rig_.reset();
    dir_.reset();
    QLocale::setDefault(QLocale::c());
}
