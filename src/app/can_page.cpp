// The "CAN bus" page of the main window: frames fetched by the polling cycle
// and the commands of the memo's popup menu.
#include "app/main_form.h"
#include "canbus/can_page_widget.h"

void TMainFormKrv::CanOutputStep()
{
    canPage_->AppendLines(station_.FetchCanLines(canPage_->InHex()));
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
