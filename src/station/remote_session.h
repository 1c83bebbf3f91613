#pragma once
// The remote support session without a window: the step of the client role
// (a boat owner sharing the regulator) and of the support role (the
// technician), each driven by the 2 s tick. Each message the other side sent
// is acted on once, whichever exchange brought it, and a request is answered
// once. What only the window can do (read or write the settings through its
// editors, draw the pages, show a box, end the remote connection with all
// that goes with it) is asked for by a signal, connected directly: the step
// goes on once the slot has returned.
#include "settings/settings_check.h"
#include "station/station.h"

#include <QObject>

#include <functional>

class RemoteSession : public QObject {
    Q_OBJECT
public:
    explicit RemoteSession(Station& station, QObject* parent = nullptr);

    // The 2 s tick: the step of the role that is on (the support role ends
    // the sharing).
    void Tick();
    // The client's tick: acts on what support sent, then sends the state (or
    // the settings, when support asked for them). A failed exchange ends the
    // sharing before `failed` is signalled.
    void ClientStep();
    // The technician's tick: asks for the state and acts on what the client
    // sent. A failed exchange ends the remote connection (`endRemoteWanted`)
    // before `failed` is signalled; what arrives after the user chose another
    // connection meanwhile is not shown.
    void SupportStep();

    // Whether the client's settings have come in this remote connection.
    bool ClientSettingsArrived() const { return clientSettingsArrived_; }
    void ForgetClientSettings() { clientSettingsArrived_ = false; }

    // Asked before settings from the other side that fail the settings check
    // are taken (as the editors would store them): `source` names them.
    // Without a question such settings are not taken.
    using SettingsQuestion = std::function<bool(const QString& source, const QList<SettingsDeparture>&)>;
    void SetSettingsQuestion(SettingsQuestion ask) { askImplausible_ = std::move(ask); }

signals:
    // A line for the message panel.
    void panelMessage(const QString& text);
    // Client: read the regulator's settings now (so that the write below, or
    // the settings asked for, start from what it holds).
    void settingsReadWanted();
    // Client: the settings support sent are the station's settings now;
    // show and write them.
    void supportSettingsToWrite();
    // Support: the client's state is the station's own state now, its page
    // texts refreshed.
    void clientStateArrived();
    // Support: the client's settings are the station's settings now.
    void clientSettingsArrivedNow();
    // Support: the exchange failed; choose the USB connection.
    void endRemoteWanted();
    // An exchange failed (the role has ended): the text for the error box.
    void failed(const QString& text);
    // The status bar's text after a step.
    void statusText(const QString& text);

private:
    // A chat line of the other side (`from`: "SUPPORT" or "CLIENT"), shown
    // and kept for the chat window.
    void ShowChat(const RelayMessage& message, const QString& from);
    // The settings of a message of at least 540 values, checked: plausible
    // ones as they are, others as the editors would store them when the user
    // takes them; none when they are not taken.
    std::optional<RelayMessage> CheckedSettings(const RelayMessage& message, const QString& source);

    Station& station_;
    bool clientSettingsArrived_ = false;
    SettingsQuestion askImplausible_;
};
