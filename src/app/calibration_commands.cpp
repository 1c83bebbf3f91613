#include "app/calibration_commands.h"
#include "app/user_dialogs.h"
#include "views/number_text.h"

CalibrationCommands::CalibrationCommands(Station& station, SettingsSession& settings, UserDialogs& dialogs,
                                 SettingsEditorsHost& host)
    : station_(station), settings_(settings), dialogs_(dialogs), host_(host)
{
}

void CalibrationCommands::Run(Procedure procedure)
{
    host_.ReadSettings(true);
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
    // The polls went on while the boxes were open: a text that is no number
    // takes its fallback from the records as they are now.
    const CalibrationOutcome outcome = Calibrate(inputs, typed, station_.OwnState(), settings_.Record());
    switch (outcome.kind) {
    case CalibrationOutcome::Success: {
        const SettingsRecord before = settings_.Record();
        settings_.ApplyCalibration(outcome);
        host_.DrawSettings();
        if (dialogs_.AskYesCancel(QStringLiteral("Information"), CalibrationSuccessText())) {
            host_.WriteSettingsAs(QStringLiteral("calibration-write"), true);
        } else {
            // New factors that the user did not want written must not go out
            // with the next "Write Settings" unseen.
            settings_.Replace(before);
            host_.DrawSettings();
        }
        break;
    }
    case CalibrationOutcome::OutOfBand:
        dialogs_.Error(QStringLiteral("Error"), CalibrationFailureText());
        break;
    case CalibrationOutcome::DivisionByZero:
        host_.ShowFailure(CalibrationDivisionErrorText());
        break;
    }
}
