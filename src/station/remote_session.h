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
#include "station/settings_source.h"
#include "station/station.h"

#include <QObject>

#include <deque>
#include <functional>

class RemoteSession : public QObject, public SettingsSource {
    Q_OBJECT
public:
    // The session is the station's source of settings in the remote
    // connection while it lives.
    explicit RemoteSession(Station& station, QObject* parent = nullptr);
    ~RemoteSession() override;

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

    // The technician's settings read and write (the support side of "Read
    // Settings" and "Write Settings"): the message between the waits, with
    // `progress` called meanwhile. The client answers each with its
    // settings, in order; the answer to a write is compared with what was
    // sent. True when the relay took the message.
    bool RequestSettings(const RelayLink::WaitProgress& progress = {});
    bool SendSettings(const RelayLink::WaitProgress& progress = {});
    // The customer's regulator as a source of settings: a read asks for its
    // settings and a write sends the record (checked first; before the
    // customer's settings came only when the user allowed it), each put off
    // while the relay is busy; their answers come with later ticks. A reset
    // goes to the regulator on USB only.
    SourceOutcome ReadSettings(const Progress& progress, const PutOff& putOff) override;
    WriteOutcome WriteSettings(const QString& operation, WriteAllowances allowed, const Progress& progress,
                               const PutOff& putOff) override;
    SourceOutcome ResetSettings() override { return {}; }
    bool Busy() const override;

    // How long the technician waits for the customer's regulator to confirm
    // a write before being told that no confirmation came.
    static constexpr double ConfirmationWaitSeconds = 30;

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
    // What a remote write did, for a notice that stays until the user
    // dismisses it (the same words go to the chat log): a headline and the
    // rows it concerns.
    void writeNotice(const QString& headline, const QStringList& rows);
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
    // Client: writes the settings support sent (read first, as the window's
    // write does) and tells the owner what changed; the answer owed to
    // support is what the regulator holds afterwards.
    void WriteSupportSettings(const RelayMessage& checked);
    // Support: the client's settings answer the oldest request or write;
    // the answer to a write confirms it or names the rows that differ.
    void MatchAnswer(const SettingsRecord& arrived);
    // Support: requests and writes that waited too long for their answer.
    void ExpireAnswers();
    void Notice(const QString& headline, const QStringList& rows);

    Station& station_;
    bool clientSettingsArrived_ = false;
    SettingsQuestion askImplausible_;
    // Client: the settings answers owed to support, in the order asked: a
    // request is answered with a fresh read (none here), a write with what
    // the regulator held after it.
    std::deque<std::optional<SettingsRecord>> owed_;
    // Support: the answers awaited, in the order sent, each with when it was
    // sent and, for a write, the settings sent.
    struct Awaited {
        double at = 0;
        std::optional<SettingsRecord> written;
    };
    std::deque<Awaited> awaited_;
};
