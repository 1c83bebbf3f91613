// The "CAN bus" page of the main window: frames fetched by the polling cycle
// and the commands of the memo's popup menu.
#include "app/main_form.h"
#include "canbus/can_page_widget.h"
#include "canbus/n2k_decode.h"

void TMainFormKrv::CanOutputStep()
{
    // Lines come only from an answered fetch, whose frames the slots hold.
    const QStringList lines = station_.FetchCanLines(canPage_->InHex());
    if (!lines.isEmpty())
        canPage_->AppendLines(lines, N2kLinesForFetch(station_.CanFrame(0), station_.CanFrame(1)));
}

void TMainFormKrv::PauseCanWatchClick()
{
    canPage_->TogglePause();
}

void TMainFormKrv::ClearAllLinesClick()
{
    canPage_->ClearLines();
}

void TMainFormKrv::CopyToClipboardClick()
{
    canPage_->CopyLines();
}
