#pragma once
// The remote support commands of the "Options" menu beside the main window:
// chat, the relay's domain, a private session, the chat log; and what the
// window does for the remote session when it asks (a settings read or write
// through the editors, the state pages drawn, a box, the USB connection).
#include "app/settings_editors_host.h"
#include "app/window_shell.h"
#include "station/relay_deferral.h"
#include "station/remote_session.h"
#include "station/settings_session.h"
#include "time/timer_pause.h"

#include <QObject>
#include <QPointer>

class ChatWindow;
class QWidget;
class UserDialogs;

class SupportCommands : public QObject {
    Q_OBJECT
public:
    SupportCommands(Station& station, SettingsSession& settings, RemoteSession& remote, UserDialogs& dialogs,
                    RelayDeferral& deferral, PausableTimer& usb, PausableTimer& inet, SettingsEditorsHost& editors,
                    WindowShell& shell, QWidget* window);

    // The remote session's signals to what is done for it, before its step
    // goes on.
    void Connect();
    // "Send Chat Message": a line as the role that is on; the outcome only
    // goes to the status bar.
    void SendChat();
    // A chat line typed into the Chat window's input line, sent as "Send
    // Chat Message" sends it; false when no role is on to send it as (or
    // the line is empty).
    bool SendChatLine(const QString& text);
    // The relay every copy of the program starts with: a session on it is
    // named to the customer by its code alone.
    void SetDefaultDomain(const QString& domain) { defaultDomain_ = domain; }
    // "Support Domain Name...".
    void ChooseDomain();
    // Added around them: a private session with a code of its own, and every
    // chat line of the run in a window.
    void NewSession();
    void ShowChatLog();

private:
    Station& station_;
    SettingsSession& settings_;
    RemoteSession& remote_;
    UserDialogs& dialogs_;
    RelayDeferral& deferral_;
    PausableTimer& usb_;
    PausableTimer& inet_;
    SettingsEditorsHost& editors_;
    WindowShell& shell_;
    QWidget* window_;
    QString defaultDomain_;
    // Cleared by Qt when the window closes (it deletes itself on close).
    QPointer<ChatWindow> chatWindow_;
};
