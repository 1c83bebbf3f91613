#include "app/support_commands.h"
#include "app/user_dialogs.h"
#include "support/chat_window_widget.h"
#include "support/relay_address.h"
#include "support/relay_codec.h"

#include <QCoreApplication>

SupportCommands::SupportCommands(Station& station, SettingsSession& settings, RemoteSession& remote,
                                 UserDialogs& dialogs, RelayDeferral& deferral, PausableTimer& usb,
                                 PausableTimer& inet, SettingsCommands& editors, WindowShell& shell, QWidget* window)
    : station_(station), settings_(settings), remote_(remote), dialogs_(dialogs), deferral_(deferral), usb_(usb),
      inet_(inet), editors_(editors), shell_(shell), window_(window)
{
}

void SupportCommands::Connect()
{
    // What the session asks of the window, done before its step goes on.
    connect(&remote_, &RemoteSession::panelMessage, this, [this](const QString& text) { shell_.ShowMessagePanel(text); });
    connect(&remote_, &RemoteSession::statusText, this, [this](const QString& text) { shell_.SetStatusText(text); });
    connect(&remote_, &RemoteSession::failed, this,
            [this](const QString& text) { dialogs_.Error(QStringLiteral("Error"), text); });
    connect(&remote_, &RemoteSession::settingsReadWanted, this, [this] { editors_.Read(); });
    connect(&remote_, &RemoteSession::supportSettingsToWrite, this, [this] {
        // Written as the editors would take them back after showing them.
        settings_.TakeAsPageWrites();
        editors_.DrawSettings();
        editors_.WriteSettingsAs(QStringLiteral("support-write"), false);
    });
    connect(&remote_, &RemoteSession::clientStateArrived, this, [this] { shell_.DrawStatePages(); });
    connect(&remote_, &RemoteSession::clientSettingsArrivedNow, this, [this] { editors_.ShowAsReference(); });
    remote_.SetSettingsQuestion([this](const QString& source, const QList<SettingsDeparture>& departures) {
        return AskToTakeImplausible(dialogs_, QStringLiteral("Remote Support"), source, departures);
    });
    connect(&remote_, &RemoteSession::endRemoteWanted, this, [this] { station_.SetConnection(Connection::Usb); });
}

void SupportCommands::SendChat()
{
    // Sends the line as the role that is on; the outcome only goes to the
    // status bar.
    // The item stays enabled until the next tick: a role that ended since
    // then (or while the line waited) leaves nobody to send it as.
    const auto roleOn = [this] { return station_.IsSharing() || station_.IsRemoteConnection(); };
    const auto send = [this](const QString& text) {
        station_.SendChat(text);
        shell_.SetStatusText(station_.SupportStatusText());
    };
    TimerPause pause{&usb_, &inet_};
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
        TimerPause deferredPause{&usb_, &inet_};
        send(text);
    });
    if (!deferred && roleOn())
        send(text);
}

void SupportCommands::ChooseDomain()
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
    shell_.ShowConnection();
}

void SupportCommands::NewSession()
{
    const QString code = NewSessionCode();
    station_.SetSupportDomain(SessionDomain(station_.Support().SupportDomain, code));
    shell_.ShowConnection();
    dialogs_.InformWithCopy(QStringLiteral("New Support Session"),
                            NewSessionText(code, station_.Support().SupportDomain), station_.Support().SupportDomain);
}

void SupportCommands::ShowChatLog()
{
    if (!chatWindow_) {
        chatWindow_ = new ChatWindow([this] { return station_.ChatLines(); }, window_);
        chatWindow_->setAttribute(Qt::WA_DeleteOnClose);
        connect(&station_, &Station::chatLogged, chatWindow_, &ChatWindow::Refresh);
    }
    chatWindow_->show();
    chatWindow_->raise();
}
