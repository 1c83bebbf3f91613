#include "calibration/calibration.h"

#include "views/number_text.h"
#include "views/value_format.h"

#include <cfloat>
#include <cmath>

namespace {

bool InBand(double v, double lo, double hi)
{
    return v >= lo && v <= hi; // false for NaN
}

CalibrationOutcome DivisionFailed(Procedure p)
{
    CalibrationOutcome o;
    o.kind = CalibrationOutcome::DivisionByZero;
    o.procedure = p;
    return o;
}

} // namespace

CalibrationOutcome PowerSupplyCalibration(float signal, double measured)
{
    const double k = PowerSupplyNominalScale * double(signal);
    if (k == 0.0)
        return DivisionFailed(Procedure::PowerSupply);

    CalibrationOutcome o;
    o.procedure = Procedure::PowerSupply;
    o.powerSupplyFactor = measured / k;
    o.kind = InBand(o.powerSupplyFactor, PowerSupplyFactorMin, PowerSupplyFactorMax)
        ? CalibrationOutcome::Success
        : CalibrationOutcome::OutOfBand;
    return o;
}

CalibrationOutcome VoltageCalibration(float regulatorSignal, float bPlusSignal, float bMinusSignal, double measured)
{
    const double kReg = RegulatorVoltageNominalScale * double(regulatorSignal);
    const double kBat = (double(bPlusSignal) - double(bMinusSignal)) * BatteryVoltageNominalScale;
    if (kReg == 0.0 || kBat == 0.0)
        return DivisionFailed(Procedure::Voltage);

    CalibrationOutcome o;
    o.procedure = Procedure::Voltage;
    o.regulatorFactor = measured / kReg;
    o.batteryFactor = measured / kBat;
    const bool ok = InBand(o.regulatorFactor, VoltageFactorMin, VoltageFactorMax)
        && InBand(o.batteryFactor, VoltageFactorMin, VoltageFactorMax);
    o.kind = ok ? CalibrationOutcome::Success : CalibrationOutcome::OutOfBand;
    return o;
}

CalibrationOutcome CurrentCalibration(float at, float across, float regulatorValue, float batteryShuntDropValue)
{
    CalibrationOutcome o;
    o.procedure = Procedure::Current;
    // Without a usable signal at the shunt the gain is set to 1, which the
    // band test below rejects.
    o.gain1 = at > MinimumShuntVoltageSignal ? double(regulatorValue) / double(at) : 1.0;
    if (!InBand(o.gain1, ShuntGainMin, ShuntGainMax)) {
        o.kind = CalibrationOutcome::OutOfBand;
        return o;
    }

    const double sum = double(at) + double(across);
    if (sum == 0.0)
        return DivisionFailed(Procedure::Current);
    o.gain2 = o.gain1 * double(at) / sum;
    o.batteryShuntBias = -double(batteryShuntDropValue);
    // A gain #2 that does not fit a single (a near-zero sum, a broken
    // reading) or a battery shunt drop that is not a number would put garbage
    // into the regulator: refuse it like any other implausible result.
    o.kind = FitsSingle(o.gain2) && FitsSingle(o.batteryShuntBias) ? CalibrationOutcome::Success
                                                                  : CalibrationOutcome::OutOfBand;
    return o;
}

bool ApplyCalibration(const CalibrationOutcome& outcome, SettingsRecord& settings)
{
    if (outcome.kind != CalibrationOutcome::Success)
        return false;
    switch (outcome.procedure) {
    case Procedure::PowerSupply:
        settings.SetPowerSupplyVoltageComp(float(outcome.powerSupplyFactor));
        break;
    case Procedure::Voltage:
        settings.SetRegulatorVoltageComp(float(outcome.regulatorFactor));
        settings.SetBatteryPlusVoltageComp(float(outcome.batteryFactor));
        settings.SetBatteryMinusVoltageComp(float(outcome.batteryFactor));
        break;
    case Procedure::Current:
        settings.SetAlternatorShuntGain1(float(outcome.gain1));
        settings.SetAlternatorShuntGain2(float(outcome.gain2));
        settings.ClearClearedWord();
        settings.SetBatteryShuntBias(float(outcome.batteryShuntBias));
        break;
    }
    return true;
}

QString CalibrationConfirmText(Procedure procedure)
{
    switch (procedure) {
    case Procedure::Voltage:
        return VoltageConfirmText();
    case Procedure::Current:
        return CurrentConfirmText();
    case Procedure::PowerSupply:
        break;
    }
    return QString();
}

bool CalibrationAsksNumber(Procedure procedure)
{
    return procedure != Procedure::Current;
}

QString CalibrationInputCaption(Procedure procedure)
{
    return procedure == Procedure::PowerSupply ? PowerSupplyInputCaption() : VoltageInputCaption();
}

QString CalibrationInputPrompt(Procedure procedure)
{
    return procedure == Procedure::PowerSupply ? PowerSupplyInputPrompt() : VoltageInputPrompt();
}

CalibrationInputs CalibrationInputsOf(Procedure procedure, const SystemStateRecord& own)
{
    CalibrationInputs in;
    in.procedure = procedure;
    switch (procedure) {
    case Procedure::PowerSupply:
        in.readings[0] = own.ChannelAt(Channel::PowerSupplyVoltage).Signal;
        in.proposed = FormatFixed(4, own.ChannelAt(Channel::PowerSupplyVoltage).Value);
        break;
    case Procedure::Voltage:
        in.readings[0] = own.ChannelAt(Channel::RegulatorVoltage).Signal;
        in.readings[1] = own.ChannelAt(Channel::BPlusVoltage).Signal;
        in.readings[2] = own.ChannelAt(Channel::BMinusVoltage).Signal;
        in.proposed = FormatFixed(4, own.ChannelAt(Channel::RegulatorVoltage).Value);
        break;
    case Procedure::Current:
        in.readings[0] = own.ChannelAt(Channel::AlternatorShuntVoltage).Signal;
        in.readings[1] = own.ChannelAt(Channel::AlternatorShuntDrop).Signal;
        in.readings[2] = own.ChannelAt(Channel::RegulatorVoltage).Value;
        in.readings[3] = own.ChannelAt(Channel::BatteryShuntDrop).Value;
        break;
    }
    return in;
}

CalibrationOutcome Calibrate(const CalibrationInputs& in, std::optional<double> typed, const SystemStateRecord& own,
                             const SettingsRecord& settings)
{
    const float* r = in.readings;
    switch (in.procedure) {
    case Procedure::PowerSupply:
        return PowerSupplyCalibration(r[0], typed ? *typed : double(settings.PowerSupplyVoltageComp()));
    case Procedure::Voltage:
        return VoltageCalibration(r[0], r[1], r[2],
                                  typed ? *typed : double(own.ChannelAt(Channel::RegulatorVoltage).Value));
    case Procedure::Current:
        break;
    }
    return CurrentCalibration(r[0], r[1], r[2], r[3]);
}
