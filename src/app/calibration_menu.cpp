// The three calibration commands of the "System" menu: the dialogs around the
// arithmetic of calibration/, on the station's records.
#include "app/main_form.h"
#include "calibration/calibration.h"
#include "views/number_text.h"

void TMainFormKrv::CalibrateInternalPowerSupplyClick()
{
    RunCalibration(Procedure::PowerSupply);
}

void TMainFormKrv::CalibrateVoltageMeasurementsClick()
{
    RunCalibration(Procedure::Voltage);
}

void TMainFormKrv::CalibrateCurrentMeasurementsClick()
{
    RunCalibration(Procedure::Current);
}

void TMainFormKrv::RunCalibration(Procedure procedure)
{
    // A stopped polling timer means another device operation is under way.
    if (!USBTimer->isActive())
        return;
    ReadAllSettingsFromSystemClick();

    const QString confirm = CalibrationConfirmText(procedure);
    if (!confirm.isEmpty() && !dialogs_.ConfirmOkCancel(QStringLiteral("Information"), confirm))
        return;
    const CalibrationInputs inputs = CalibrationInputsOf(procedure, station_.OwnState());
    // Cancel means the proposed text.
    std::optional<double> typed;
    if (CalibrationAsksNumber(procedure))
        typed = ParseReal(dialogs_
                              .InputBox(CalibrationInputCaption(procedure), CalibrationInputPrompt(procedure),
                                        inputs.proposed, InputBoxMaxLength)
                              .value_or(inputs.proposed));
    const CalibrationOutcome outcome = Calibrate(inputs, typed, station_.OwnState(), settings_.Record());
    switch (outcome.kind) {
    case CalibrationOutcome::Success:
        settings_.ApplyCalibration(outcome);
        UpdateSystemSettingsTable();
        if (dialogs_.AskYesCancel(QStringLiteral("Information"), CalibrationSuccessText()))
            WriteSettingsAs(QStringLiteral("calibration-write"));
        break;
    case CalibrationOutcome::OutOfBand:
        dialogs_.Error(QStringLiteral("Error"), CalibrationFailureText());
        break;
    case CalibrationOutcome::DivisionByZero:
        ShowFailure(CalibrationDivisionErrorText());
        break;
    }
}
