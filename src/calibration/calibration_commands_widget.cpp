// The three calibration commands of the "System" menu.
#include "app/main_form.h"
#include "calibration/calibration.h"
#include "settings/number_text.h"
#include "views/value_format.h"

#include <QTimer>

namespace {

// The input box's text as a number; Cancel means the proposed text.
double AskNumber(UserDialogs& dialogs, const QString& caption, const QString& prompt, const QString& proposed,
                 double fallback)
{
    const QString text = dialogs.InputBox(caption, prompt, proposed, 255).value_or(proposed);
    return ParseReal(text).value_or(fallback);
}

} // namespace

void TMainFormKrv::CalibrateInternalPowerSupplyClick()
{
    RunCalibration(CalibrationOutcome::PowerSupply);
}

void TMainFormKrv::CalibrateVoltageMeasurementsClick()
{
    RunCalibration(CalibrationOutcome::Voltage);
}

void TMainFormKrv::CalibrateCurrentMeasurementsClick()
{
    RunCalibration(CalibrationOutcome::Current);
}

void TMainFormKrv::RunCalibration(int which)
{
    // A stopped polling timer means another device operation is under way.
    if (!USBTimer->isActive())
        return;
    ReadAllSettingsFromSystemClick();

    CalibrationOutcome outcome;
    switch (which) {
    case CalibrationOutcome::PowerSupply: {
        const float signal = OwnState.ChannelAt(Channel::PowerSupplyVoltage).Signal;
        const double measured = AskNumber(dialogs_, PowerSupplyInputCaption(), PowerSupplyInputPrompt(),
                                          FormatFixed(4, OwnState.ChannelAt(Channel::PowerSupplyVoltage).Value),
                                          Settings.PowerSupplyVoltageComp());
        outcome = PowerSupplyCalibration(signal, measured);
        break;
    }
    case CalibrationOutcome::Voltage: {
        if (!dialogs_.ConfirmOkCancel(QStringLiteral("Information"), VoltageConfirmText()))
            return;
        const float regulatorSignal = OwnState.ChannelAt(Channel::RegulatorVoltage).Signal;
        const float bPlus = OwnState.ChannelAt(Channel::BPlusVoltage).Signal;
        const float bMinus = OwnState.ChannelAt(Channel::BMinusVoltage).Signal;
        const float regulatorValue = OwnState.ChannelAt(Channel::RegulatorVoltage).Value;
        const double measured = AskNumber(dialogs_, VoltageInputCaption(), VoltageInputPrompt(),
                                          FormatFixed(4, regulatorValue), regulatorValue);
        outcome = VoltageCalibration(regulatorSignal, bPlus, bMinus, measured);
        break;
    }
    default: {
        if (!dialogs_.ConfirmOkCancel(QStringLiteral("Information"), CurrentConfirmText()))
            return;
        outcome = CurrentCalibration(OwnState.ChannelAt(Channel::AlternatorShuntVoltage).Signal,
                                     OwnState.ChannelAt(Channel::AlternatorShuntDrop).Signal,
                                     OwnState.ChannelAt(Channel::RegulatorVoltage).Value,
                                     OwnState.ChannelAt(Channel::BatteryShuntDrop).Value);
        break;
    }
    }

    switch (outcome.kind) {
    case CalibrationOutcome::Success:
        ApplyCalibration(outcome, Settings);
        UpdateSystemSettingsTable();
        if (dialogs_.AskYesCancel(QStringLiteral("Information"), CalibrationSuccessText()))
            WriteAllSettingsToSystemClick();
        break;
    case CalibrationOutcome::OutOfBand:
        dialogs_.Error(QStringLiteral("Error"), CalibrationFailureText());
        break;
    case CalibrationOutcome::DivisionByZero:
        ShowFailure(CalibrationDivisionErrorText());
        break;
    }
}
