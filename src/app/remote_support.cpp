// The remote support session of the main window: the 2 s tick in the client
// and the support role, chat, the relay domain and the role switches. The
// messages and the exchange are the station's; this decides when, and shows
// what came.
#include "app/main_form.h"
#include "support/chat_window_widget.h"
#include "support/relay_address.h"

#include <QAction>
#include <QCoreApplication>

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

void TMainFormKrv::ConnectRemoteSession()
{
    // What the session asks of the window, done before its step goes on.
    connect(&remote_, &RemoteSession::panelMessage, this, &TMainFormKrv::ShowMessagePanel);
    connect(&remote_, &RemoteSession::statusText, this, &TMainFormKrv::SetStatusText);
    connect(&remote_, &RemoteSession::failed, this,
            [this](const QString& text) { dialogs_.Error(QStringLiteral("Error"), text); });
    connect(&remote_, &RemoteSession::settingsReadWanted, this, &TMainFormKrv::ReadAllSettingsFromSystemClick);
    connect(&remote_, &RemoteSession::supportSettingsToWrite, this, [this] {
        // Written as the editors would take them back after showing them.
        settings_.TakeAsPageWrites();
        editors_.DrawSettings();
        editors_.WriteSettingsAs(QStringLiteral("support-write"), false);
    });
    connect(&remote_, &RemoteSession::clientStateArrived, this, &TMainFormKrv::DrawStatePages);
    connect(&remote_, &RemoteSession::clientSettingsArrivedNow, this, [this] { editors_.ShowAsReference(); });
    connect(&remote_, &RemoteSession::endRemoteWanted, this, &TMainFormKrv::ConnectionUSBClick);
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
    // Sends the line as the role that is on; the outcome only goes to the
    // status bar.
    // The item stays enabled until the next tick: a role that ended since
    // then (or while the line waited) leaves nobody to send it as.
    const auto roleOn = [this] { return station_.IsSharing() || station_.IsRemoteConnection(); };
    const auto send = [this](const QString& text) {
        station_.SendChat(text);
        SetStatusText(station_.SupportStatusText());
    };
    TimerPause pause{&usbTimer_, &inetTimer_};
    QCoreApplication::processEvents();
    const QString text = dialogs_.InputBox(QStringLiteral("Send a chat"), QStringLiteral("Message"), QString(),
                                           InputBoxMaxLength)
                             .value_or(QString())
                             .left(InputBoxMaxLength);
    if (text.isEmpty())
        return;
    const bool deferred = deferral_.WhileBusy([this, text, send, roleOn] {
        if (!roleOn())
            return;
        TimerPause deferredPause{&usbTimer_, &inetTimer_};
        send(text);
    });
    if (!deferred && roleOn())
        send(text);
}

void TMainFormKrv::SupportDomainNameClick()
{
    const std::optional<QString> typed = dialogs_.InputBox(
        QStringLiteral("Remote Support"),
        QStringLiteral("Domain Name (a host, host:port, or a session address such as relay.example.org/s/7Q4K-2X9F-M3)"),
        station_.Support().SupportDomain, InputBoxMaxLength);
    if (!typed)
        return;
    const QString domain = SupportDomainFromText(*typed);
    const QString refusal = DomainRefusal(domain, station_.Support().SupportDomain);
    if (!refusal.isEmpty()) {
        dialogs_.Error(QStringLiteral("Remote Support"), refusal);
        return;
    }
    station_.SetSupportDomain(domain);
    ShowConnection();
}

void TMainFormKrv::NewSupportSessionClick()
{
    const QString code = NewSessionCode();
    station_.SetSupportDomain(SessionDomain(station_.Support().SupportDomain, code));
    ShowConnection();
    dialogs_.InformWithCopy(QStringLiteral("New Support Session"),
                            NewSessionText(code, station_.Support().SupportDomain), station_.Support().SupportDomain);
}

void TMainFormKrv::ChatLogClick()
{
    if (!chatWindow_) {
        chatWindow_ = new ChatWindow([this] { return station_.ChatLines(); }, this);
        chatWindow_->setAttribute(Qt::WA_DeleteOnClose);
        connect(&station_, &Station::chatLogged, chatWindow_, &ChatWindow::Refresh);
    }
    chatWindow_->show();
    chatWindow_->raise();
}
