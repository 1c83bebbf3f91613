// The three calibration commands of the "System" menu.
#include "app/main_form.h"
#include "calibration/calibration.h"
#include "settings/number_text.h"
#include "views/value_format.h"

#include <QTimer>

#include <functional>

namespace {

// The input box's text as a number; Cancel means the proposed text. Text
// that is not a number takes the fallback, asked for once the user answered:
// the polls go on while the box is open.
double AskNumber(UserDialogs& dialogs, const QString& caption, const QString& prompt, const QString& proposed,
                 const std::function<double()>& fallback)
{
    const QString text = dialogs.InputBox(caption, prompt, proposed, 255).value_or(proposed);
    const std::optional<double> typed = ParseReal(text);
    return typed ? *typed : fallback();
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
                                          [this] { return double(Settings.PowerSupplyVoltageComp()); });
        outcome = PowerSupplyCalibration(signal, measured);
        break;
    }
    case CalibrationOutcome::Voltage: {
        if (!dialogs_.ConfirmOkCancel(QStringLiteral("Information"), VoltageConfirmText()))
            return;
        const float regulatorSignal = OwnState.ChannelAt(Channel::RegulatorVoltage).Signal;
        const float bPlus = OwnState.ChannelAt(Channel::BPlusVoltage).Signal;
        const float bMinus = OwnState.ChannelAt(Channel::BMinusVoltage).Signal;
        const double measured =
            AskNumber(dialogs_, VoltageInputCaption(), VoltageInputPrompt(),
                      FormatFixed(4, OwnState.ChannelAt(Channel::RegulatorVoltage).Value),
                      [this] { return double(OwnState.ChannelAt(Channel::RegulatorVoltage).Value); });
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
