#pragma once
// The program's live state and the steps that change it, without a window:
// the two links (the regulator on USB, the support relay), the own and peer
// state records with the texts their pages show, the settings with their
// owner, and the modes the user chose (the connection, sharing with support,
// logging). The window
// shows what is here and calls the steps; a tool without a window can do the
// same. Two stations in one process are fully independent.
#include "logging/data_log.h"
#include "records/snapshot_record.h"
#include "records/system_state_record.h"
#include "station/relay_link.h"
#include "station/settings_session.h"
#include "station/state_pages.h"
#include "station/usb_link.h"
#include "time/clock.h"
#include "views/state_views.h"

#include <QObject>
#include <QStringList>

// Where the shown data comes from: the regulator on USB (at start), a client's
// regulator through the support relay, or neither (a dropped snapshot).
enum class Connection { Usb, Remote, None };

class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(HidBackend& backend, const Clock& clock = Clock::System(), QObject* parent = nullptr);
    ~Station() override;

    // --- The two links and the settings ---------------------------------------
    UsbLink& Usb() { return usb_; }
    const UsbLink& Usb() const { return usb_; }
    RelayLink& Relay() { return relay_; }
    const RelayLink& Relay() const { return relay_; }
    // Every change of the settings record goes through its owner.
    SettingsSession& SettingsOwner() { return settings_; }
    const SettingsSession& SettingsOwner() const { return settings_; }
    const SettingsRecord& Settings() const { return settings_.Record(); }
    // Where the settings commands read, write and reset: the regulator on
    // USB, the customer's through the relay in the remote connection (once
    // a remote session is in use), none without a connection.
    SettingsSource* SettingsSourceInUse();
    void UseRemoteSettings(SettingsSource* remote) { remoteSettings_ = remote; }
    const Clock& Time() const { return clock_; }

    // --- The state records --------------------------------------------------
    const SystemStateRecord& OwnState() const { return ownState_; }
    const SystemStateRecord& PeerState() const { return peerState_; }
    const SystemStateRecord& State(Side side) const { return side == Side::Own ? ownState_ : peerState_; }
    // One state transfer each; true when the record was replaced whole.
    bool PollOwn();
    bool PollPeer();
    // When a record last came whole (from the regulator, or for the own one
    // from a remote client; day count, 0: not since the connection was
    // chosen), and whether it is that recent: the pages show live values
    // (within a second and a half on USB, ten seconds through the relay).
    double StateAt(Side side) const { return stateAt_[side == Side::Own ? 0 : 1]; }
    bool IsLive(Side side) const;
    // A snapshot file's three records in place of the station's (the
    // connection is None by then, so that nothing overwrites them), the
    // settings as the reference, the page texts refreshed.
    void TakeSnapshot(const SnapshotRecord& snapshot);
    // Takes what arrived over the relay into the records when it came whole:
    // the client's state (at least 280 values) or settings (540) on the
    // support side, new settings from the support side on the client.
    bool TakeClientState(const RelayMessage& message);
    bool TakeRelayedSettings(const RelayMessage& message);

    // --- Modes --------------------------------------------------------------
    bool IsUsbConnection() const { return connection_ == Connection::Usb; }
    bool IsRemoteConnection() const { return connection_ == Connection::Remote; }
    void SetConnection(Connection connection);
    // Counts the connection changes, so that a step that waited on the relay
    // can tell whether its role was ended meanwhile.
    int ConnectionChanges() const { return connectionChanges_; }
    // Sharing with support (the client role) and logging exclude each other:
    // switching one on switches the other off.
    bool IsSharing() const { return sharing_; }
    void SetSharing(bool on);
    bool IsLogging() const { return logging_; }
    void SetLogging(bool on);

    // --- The polling cycle ----------------------------------------------------
    // What one cycle did: which records came whole, and the CAN lines added.
    struct TickOutcome {
        bool own = false;
        bool peer = false;
        QStringList canLines;
    };
    // One cycle of the 200 ms polling (the window's and krova-cli log's): the
    // own state, its page texts refreshed; the peer's, its texts refreshed;
    // a CAN fetch when asked. However the regulator misbehaves, the cycle
    // waits on it only HidSession::PollWaitBudgetMs in all.
    TickOutcome Tick(bool fetchCan = false, bool hexCan = true);

    // --- The state pages ------------------------------------------------------
    // The texts of the state pages, as the last refresh of each part left
    // them (Tick refreshes both pages, and so do the steps that bring a
    // record from elsewhere).
    const StatePageTexts& PageTexts(Side side) const { return pages_.Texts(side); }
    void RefreshPage(Side side, int parts = AllParts)
    {
        pages_.Refresh(side, State(side), Settings().AuxTempSensorUsage(), parts);
    }
    // The own status messages start their hold times afresh.
    void ClearHoldCounters() { pages_.ClearHoldCounters(); }

    // --- The data log -----------------------------------------------------------
    QString LogFileName() const { return logFileName_; }
    void SetLogFileName(const QString& path) { logFileName_ = path; }
    // The fields of a data log line, from the texts of the pages.
    DataLogFields LogFields() const;
    // Appends one line to the data log LogFileName; false (and why, in
    // `failure`) when it could not.
    bool AppendLogLine(QString* failure = nullptr) const;

    // --- The chat ---------------------------------------------------------------
    // Sends a chat line for the role that is on; false when the exchange
    // failed. Lines sent are kept for the "Chat..." window.
    bool SendChat(const QString& text);
    // The chat line set up for the role that is on, one byte per character.
    void PrepareChat(const QString& text) { relay_.PrepareChat(text, sharing_, IsRemoteConnection()); }
    // A chat message's text.
    static QString ChatText(const RelayMessage& message);

signals:
    // The connection, sharing or logging changed.
    void modesChanged();
    // After every step on the USB link, and after every relay exchange.
    void linkStatusChanged(const QString& text);
    void supportStatusChanged(const QString& text);
    // A relay request goes out (true) or has ended (false).
    void requestUnderWay(bool busy);
    // A backup could not be saved (the operation went on).
    void backupFailed(const QString& reason);
    // A chat line was sent or received.
    void chatLogged();

private:
    const Clock& clock_;
    UsbLink usb_;
    RelayLink relay_;
    SystemStateRecord ownState_;
    SystemStateRecord peerState_;
    SettingsSession settings_;
    SettingsSource* remoteSettings_ = nullptr;
    StatePages pages_;
    QString logFileName_;
    double stateAt_[2] = {0, 0};
    Connection connection_ = Connection::Usb;
    int connectionChanges_ = 0;
    bool sharing_ = false;
    bool logging_ = false;
};
