// The remote support session of the main window: the 2 s tick in the client
// and the support role, chat, the relay domain and the role switches. The
// messages and the exchange are the station's; this decides when, and shows
// what came.
#include "app/main_form.h"

#include <QAction>

void TMainFormKrv::INETTimerTimer()
{
    // A tick that comes while an exchange still waits for the relay leaves
    // it to that one.
    if (station_.IsExchangeInProgress())
        return;
    TimerPause pause{&inetTimer_};
    SendChatMessage->setEnabled(station_.IsSharing() || station_.IsRemoteConnection());
    remote_.Tick();
}

void TMainFormKrv::ShareDataWithSupportClick()
{
    station_.SetSharing(!station_.IsSharing());
}

void TMainFormKrv::RemoteViaInternetToProvideSupportClick()
{
    station_.SetConnection(Connection::Remote);
}

void TMainFormKrv::SendChatMessageClick()
{
    support_.SendChat();
}

void TMainFormKrv::SupportDomainNameClick()
{
    support_.ChooseDomain();
}
