// The three calibration commands of the "System" menu: the dialogs around the
// arithmetic of calibration/, on the station's records.
#include "app/main_form.h"
#include "calibration/calibration.h"
#include "views/number_text.h"
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
    const QString text = dialogs.InputBox(caption, prompt, proposed, InputBoxMaxLength).value_or(proposed);
    const std::optional<double> typed = ParseReal(text);
    return typed ? *typed : fallback();
}

} // namespace

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

    CalibrationOutcome outcome;
    const SystemStateRecord& own = station_.OwnState();
    switch (procedure) {
    case Procedure::PowerSupply: {
        const float signal = own.ChannelAt(Channel::PowerSupplyVoltage).Signal;
        const double measured = AskNumber(dialogs_, PowerSupplyInputCaption(), PowerSupplyInputPrompt(),
                                          FormatFixed(4, own.ChannelAt(Channel::PowerSupplyVoltage).Value),
                                          [this] { return double(settings_.Record().PowerSupplyVoltageComp()); });
        outcome = PowerSupplyCalibration(signal, measured);
        break;
    }
    case Procedure::Voltage: {
        if (!dialogs_.ConfirmOkCancel(QStringLiteral("Information"), VoltageConfirmText()))
            return;
        const float regulatorSignal = own.ChannelAt(Channel::RegulatorVoltage).Signal;
        const float bPlus = own.ChannelAt(Channel::BPlusVoltage).Signal;
        const float bMinus = own.ChannelAt(Channel::BMinusVoltage).Signal;
        const double measured =
            AskNumber(dialogs_, VoltageInputCaption(), VoltageInputPrompt(),
                      FormatFixed(4, own.ChannelAt(Channel::RegulatorVoltage).Value),
                      [&own] { return double(own.ChannelAt(Channel::RegulatorVoltage).Value); });
        outcome = VoltageCalibration(regulatorSignal, bPlus, bMinus, measured);
        break;
    }
    case Procedure::Current: {
        if (!dialogs_.ConfirmOkCancel(QStringLiteral("Information"), CurrentConfirmText()))
            return;
        outcome = CurrentCalibration(own.ChannelAt(Channel::AlternatorShuntVoltage).Signal,
                                     own.ChannelAt(Channel::AlternatorShuntDrop).Signal,
                                     own.ChannelAt(Channel::RegulatorVoltage).Value,
                                     own.ChannelAt(Channel::BatteryShuntDrop).Value);
        break;
    }
    }

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
