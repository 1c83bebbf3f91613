#include "app/support_commands.h"
#include "app/device_operation.h"
#include "app/user_dialogs.h"
#include "support/chat_window_widget.h"
#include "support/relay_address.h"
#include "support/relay_codec.h"

#include <QCoreApplication>

SupportCommands::SupportCommands(Station& station, SettingsSession& settings, RemoteSession& remote,
                                 UserDialogs& dialogs, RelayDeferral& deferral, PausableTimer& usb,
                                 PausableTimer& inet, SettingsEditorsHost& editors, WindowShell& shell, QWidget* window)
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
    // The owner's window stays on the page the owner looks at.
    connect(&remote_, &RemoteSession::settingsReadWanted, this, [this] { editors_.ReadSettings(false); });
    connect(&remote_, &RemoteSession::writeNotice, this,
            [this](const QString& headline, const QStringList& rows) { shell_.ShowNotice(headline, rows); });
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
    DeviceOperation operation({&usb_, &inet_}, DeviceOperation::Cursor::Unchanged);
    QCoreApplication::processEvents();
    const QString text = dialogs_.InputBox(QStringLiteral("Send a chat"), QStringLiteral("Message"), QString(),
                                           InputBoxMaxLength)
                             .value_or(QString());
    SendChatLine(text);
}

bool SupportCommands::SendChatLine(const QString& typed)
{
    // Sends the line as the role that is on; the outcome only goes to the
    // status bar.
    // The item stays enabled until the next tick: a role that ended since
    // then (or while the line waited) leaves nobody to send it as.
    const QString text = typed.left(InputBoxMaxLength);
    const auto roleOn = [this] { return station_.IsSharing() || station_.IsRemoteConnection(); };
    const auto send = [this](const QString& text) {
        station_.SendChat(text);
        shell_.SetStatusText(station_.Relay().StatusText());
    };
    if (text.isEmpty() || !roleOn())
        return false;
    DeviceOperation operation({&usb_, &inet_}, DeviceOperation::Cursor::Unchanged);
    const bool putOff = deferral_.WhileBusy([this, text, send, roleOn] {
        if (!roleOn())
            return;
        DeviceOperation later({&usb_, &inet_}, DeviceOperation::Cursor::Unchanged);
        send(text);
    });
    if (!putOff)
        send(text);
    return true;
}

void SupportCommands::ChooseDomain()
{
    const QString current = station_.Relay().Domain();
    const std::optional<QString> typed = dialogs_.InputBox(
        QStringLiteral("Remote Support"),
        QStringLiteral("Domain Name (a host, host:port, a session address such as relay.example.org/s/7Q4K-2X9F-M3, "
                       "or the session code alone)"),
        current, InputBoxMaxLength);
    if (!typed)
        return;
    const DomainChoice choice = DomainFromTypedText(*typed, current);
    if (!choice.refusal.isEmpty()) {
        dialogs_.Error(QStringLiteral("Remote Support"), choice.refusal);
        return;
    }
    station_.Relay().SetDomain(choice.domain);
    shell_.ShowConnection();
    // A code is what a boat owner is given to join a session: sharing
    // starts with it, once the owner agrees. The technician's side (the
    // remote connection) and a sharing that runs already need no question.
    if (choice.code.isEmpty() || station_.IsRemoteConnection() || station_.IsSharing())
        return;
    if (dialogs_.AskYesCancel(QStringLiteral("Remote Support"),
                              QStringLiteral("Share this regulator's data with support now?")))
        station_.SetSharing(true);
}

void SupportCommands::NewSession()
{
    const QString code = NewSessionCode();
    station_.Relay().SetDomain(SessionDomain(station_.Relay().Domain(), code));
    shell_.ShowConnection();
    const QString domain = station_.Relay().Domain();
    // The relay keeps a session only once the technician's side asked for
    // it: this first request opens it, so that the customer finds it.
    const auto open = [this, code, domain] {
        DeviceOperation operation({&usb_, &inet_}, DeviceOperation::Cursor::Unchanged);
        const bool opened = station_.Relay().OpenSupportSession();
        shell_.SetStatusText(station_.Relay().StatusText());
        QString text = NewSessionText(code, domain, defaultDomain_);
        if (!opened)
            text = QStringLiteral("The relay did not open the session: %1\rChoose Connection, Remote via Internet to "
                                  "try again; the customer can join once it is open.\r\r")
                       .arg(station_.Relay().StatusText())
                   + text;
        dialogs_.InformWithCopy(QStringLiteral("New Support Session"), text, domain);
    };
    if (!deferral_.WhileBusy(open))
        open();
}

void SupportCommands::ShowChatLog()
{
    if (!chatWindow_) {
        chatWindow_ = new ChatWindow([this] { return station_.Relay().ChatLines(); },
                                     [this](const QString& text) { return SendChatLine(text); }, window_);
        chatWindow_->setAttribute(Qt::WA_DeleteOnClose);
        connect(&station_, &Station::chatLogged, chatWindow_, &ChatWindow::Refresh);
        const auto roleOn = [this] {
            if (chatWindow_)
                chatWindow_->SetCanSend(station_.IsSharing() || station_.IsRemoteConnection());
        };
        connect(&station_, &Station::modesChanged, chatWindow_, roleOn);
        roleOn();
    }
    chatWindow_->show();
    chatWindow_->raise();
    chatWindow_->activateWindow();
    chatWindow_->setFocus();
}
