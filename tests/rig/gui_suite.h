#pragma once
// A test suite whose every test works on a window of its own: init() builds a
// fresh rig (and a temporary folder), cleanup() checks that no box was left
// unscripted and closes the window. Suites adjust the rig through the hooks.
#include "rig/gui_rig.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class GuiSuite : public QObject {
    Q_OBJECT
protected:
    GuiRig& Rig() { return *rig_; }
    TMainFormKrv& W() { return rig_->W(); }
    QString TempPath(const QString& name) const { return dir_->filePath(name); }

    // Runs after the rig is built, before the test.
    virtual void SetUpRig(GuiRig&) {}
    // Runs after the test, before the window closes.
    virtual void CheckRig(GuiRig&) {}

    std::unique_ptr<GuiRig> rig_;
    std::unique_ptr<QTemporaryDir> dir_;

private slots:
    void init();
    void cleanup();
};
