#pragma once
// The arithmetic of the three calibrations of the "System" menu: new
// correction factors from the live measurements of the own regulator and the
// user's meter reading, checked against a plausible band. The dialogs around
// them live with the main window; what each asks and which readings it takes
// are here. Nothing here touches a widget or a device.
#include "records/settings_record.h"
#include "records/system_state_record.h"

#include <optional>

#include <QString>

// Nominal scales of the inputs: volts of value per volt of converter signal.
constexpr double PowerSupplyNominalScale = 5.0;
constexpr double RegulatorVoltageNominalScale = 32.0;
constexpr double BatteryVoltageNominalScale = 34.0; // applied to B+ signal minus B- signal

// Accepted bands, both ends inclusive. The voltage band is a little wider
// than the editors' 0.9 to 1.1 limit on purpose.
constexpr double PowerSupplyFactorMin = 0.9;
constexpr double PowerSupplyFactorMax = 1.1;
constexpr double VoltageFactorMin = 0.89;
constexpr double VoltageFactorMax = 1.11;
constexpr double ShuntGainMin = 10.0;
constexpr double ShuntGainMax = 22.0;
// The alternator shunt voltage signal must be strictly above this. It is
// compared in single precision, the precision of the signal itself, so a
// reading of 0.2 fails.
constexpr float MinimumShuntVoltageSignal = 0.2f;

// Texts of the calibration dialogs.
inline QString PowerSupplyInputCaption() { return QStringLiteral("Measured Power Supply Voltage"); }
inline QString PowerSupplyInputPrompt() { return QStringLiteral("Voltage between VREG and B-"); }
inline QString VoltageConfirmText() { return QStringLiteral("Connect Battery Voltage measuring leads and wait few seconds..."); }
inline QString VoltageInputCaption() { return QStringLiteral("Regulator Voltage"); }
inline QString VoltageInputPrompt() { return QStringLiteral("Voltage at the back of the alternator"); }
inline QString CurrentConfirmText() { return QStringLiteral("Connect current measuring leads and wait few seconds..."); }
inline QString CalibrationSuccessText() { return QStringLiteral("Calibration was successful\rDo you want to update the settings now?"); }
inline QString CalibrationFailureText() { return QStringLiteral("It looks like the calibration was not successful"); }
// Shown in an error box when a divisor was zero (no signal on the input
// concerned); neither the success nor the failure box follows.
inline QString CalibrationDivisionErrorText() { return QStringLiteral("Calibration failed: division by zero, no signal on the measured input"); }

// The three calibrations of the "System" menu.
enum class Procedure { PowerSupply, Voltage, Current };

struct CalibrationOutcome {
    enum Kind {
        Success,       // the new values are in band; ApplyCalibration stores them
        OutOfBand,     // the failure box; the settings stay as they are
        DivisionByZero // a zero divisor: the error box, nothing else
    };
    Kind kind = OutOfBand;
    Procedure procedure = Procedure::PowerSupply;

    // The computed values, in double precision. Filled whenever the division
    // succeeded, also when out of band; all zero after DivisionByZero.
    double powerSupplyFactor = 0; // "Power Supply Voltage Comp"
    double regulatorFactor = 0;   // "Regulator Voltage Comp"
    double batteryFactor = 0;     // "Battery Plus/Minus Voltage Comp"
    double gain1 = 0;             // "Alternator Shunt Voltage Gain #1"
    double gain2 = 0;             // "Alternator Shunt Voltage Gain #2"
    double batteryShuntBias = 0;  // "Battery Shunt Bias"
};

// factor = measured / (5 x signal); success within 0.9 to 1.1.
// signal: PowerSupplyVoltage.Signal; measured: the meter reading.
CalibrationOutcome PowerSupplyCalibration(float signal, double measured);

// regulatorFactor = measured / (32 x regulatorSignal),
// batteryFactor = measured / ((bPlusSignal - bMinusSignal) x 34);
// success only when both lie within 0.89 to 1.11.
CalibrationOutcome VoltageCalibration(float regulatorSignal, float bPlusSignal, float bMinusSignal, double measured);

// gain = regulatorValue / at when at > 0.2, else 1 (which fails); success
// within 10 to 22. Then gain #2 = gain x at / (at + across) and the battery
// shunt bias = -batteryShuntDropValue.
// at: AlternatorShuntVoltage.Signal; across: AlternatorShuntDrop.Signal;
// regulatorValue: RegulatorVoltage.Value; batteryShuntDropValue: BatteryShuntDrop.Value.
CalibrationOutcome CurrentCalibration(float at, float across, float regulatorValue, float batteryShuntDropValue);

// Stores the new values of a successful outcome in the record as singles
// (the current calibration also zeroes the cleared word at offset 92). Any
// other outcome leaves the record untouched. Returns whether it stored.
bool ApplyCalibration(const CalibrationOutcome& outcome, SettingsRecord& settings);

// What a procedure asks of the user: a box to confirm first (empty: none),
// then, for the power supply and the voltage, the meter reading.
QString CalibrationConfirmText(Procedure procedure);
bool CalibrationAsksNumber(Procedure procedure);
QString CalibrationInputCaption(Procedure procedure);
QString CalibrationInputPrompt(Procedure procedure);

// The own regulator's readings a procedure works on, taken once the user has
// confirmed and before the meter reading is asked for (the polls go on while
// a box is open).
struct CalibrationInputs {
    Procedure procedure = Procedure::PowerSupply;
    // Power supply: its signal; voltage: the regulator, B+ and B- signals;
    // current: the alternator shunt's signals at and across it, then the
    // regulator voltage's and the battery shunt drop's values.
    float readings[4] = {};
    QString proposed; // the number the input box proposes
};
CalibrationInputs CalibrationInputsOf(Procedure procedure, const SystemStateRecord& own);

// The outcome for the meter reading the user typed. A text that is no number
// (`typed` empty) takes the procedure's fallback, read from the records as
// they are once the user answered: the present power supply factor, or the
// regulator voltage's value.
CalibrationOutcome Calibrate(const CalibrationInputs& inputs, std::optional<double> typed,
                             const SystemStateRecord& own, const SettingsRecord& settings);
