#pragma once
// The program's live state and the steps that change it, without a window:
// the USB link with its transfer buffers, the own and peer state records, the
// settings record, the two CAN frame slots, the hold counters of the own
// status messages, the support relay with its exchange state, and the modes
// the user chose (the connection, sharing with support, logging). The window
// shows what is here and calls the steps; a tool without a window can do the
// same. Two stations in one process are fully independent.
#include "backup/settings_backups.h"
#include "device/command_protocol.h"
#include "device/hid_session.h"
#include "logging/data_log.h"
#include "records/can_frame_record.h"
#include "records/settings_record.h"
#include "records/snapshot_record.h"
#include "records/system_state_record.h"
#include "time/clock.h"
#include "support/chat_log.h"
#include "support/relay_codec.h"
#include "views/state_views.h"

#include <QObject>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>

class SupportExchange;

// Where the shown data comes from: the regulator on USB (at start), a client's
// regulator through the support relay, or neither (a dropped snapshot).
enum class Connection { Usb, Remote, None };

// A message of the other side as it arrived: its kind and its values.
struct RelayMessage {
    uint8_t kind = 0;
    QByteArray values;
};


class Station : public QObject {
    Q_OBJECT
public:
    explicit Station(HidBackend& backend, const Clock& clock = Clock::System(), QObject* parent = nullptr);
    ~Station() override;

    // --- Live state ---------------------------------------------------------
    const HidSession& Session() const { return session_; }
    const CommandProtocol& Protocol() const { return protocol_; }
    const SystemStateRecord& OwnState() const { return ownState_; }
    const SystemStateRecord& PeerState() const { return peerState_; }
    // The settings record: replaced by a complete read, by the relay and by
    // a snapshot here, by the user's edits and the other operations through
    // SettingsSession.
    const SettingsRecord& Settings() const { return settings_; }
    // The two CAN frame slots of the last fetch.
    const CanFrameRecord& CanFrame(int slot) const { return canFrames_[slot]; }
    const SupportExchangeState& Support() const { return support_; }
    // The relay's address: a host, host:port, or a session address.
    void SetSupportDomain(const QString& domain) { support_.SupportDomain = domain; }
    QString LogFileName() const { return logFileName_; }
    void SetLogFileName(const QString& path) { logFileName_ = path; }
    // Where the settings an operation replaces are kept.
    const SettingsBackups& Backups() const { return backups_; }
    void UseBackupsFolder(const QString& folder) { backups_ = SettingsBackups(folder); }
    // Finds and opens the regulator on USB (the polls do so themselves).
    bool OpenDevice();
    // The own status messages start their hold times afresh.
    void ClearHoldCounters() { holdCounters_.Clear(); }

    const Clock& Time() const { return clock_; }

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

    // --- The regulator on USB -----------------------------------------------
    // One state transfer each; true when the record was replaced whole.
    bool PollOwn();
    bool PollPeer();
    // When a record last came whole (from the regulator, or for the own one
    // from a remote client; day count, 0: not since the connection was
    // chosen), and whether it is that recent: the pages show live values
    // (within a second and a half on USB, ten seconds through the relay).
    double StateAt(Side side) const { return stateAt_[side == Side::Own ? 0 : 1]; }
    bool IsLive(Side side) const;
    // One CAN fetch: the lines it adds (none when the fetch fails).
    QStringList FetchCanLines(bool hex);
    // The settings transfers; the record is replaced by a complete read only.
    // A write and a reset back up the settings they replace, once the
    // regulator took the first slice of the write and just before the reset
    // goes out to it; the operation names the backup ("write",
    // "calibration-write", ...). A write is done only when every slice and
    // the end marker were answered; then the written record is what the
    // regulator holds.
    bool ReadSettingsFromDevice();
    // A complete read into `into`, the station's record untouched (the
    // settings a write will replace, the read-back after it).
    bool ReadDeviceSettingsInto(SettingsRecord& into);
    // The settings the regulator on USB is known to hold: those of its last
    // complete read or confirmed write, none when that is not known.
    std::optional<SettingsRecord> KnownDeviceSettings() const;
    void NoteDeviceHolds(const SettingsRecord& settings);
    void ForgetDeviceSettings() { backups_.ForgetRead(); }
    // The backup the last write or reset saved (empty when it failed).
    QString LastBackupPath() const { return lastBackupPath_; }
    bool CloseDevice();
    // A snapshot file's three records in place of the station's (the
    // connection is None by then, so that nothing overwrites them), the
    // page texts refreshed.
    void TakeSnapshot(const SnapshotRecord& snapshot);
    QString LinkStatusText() const { return session_.LinkStatusText; }

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
    // The texts of the state pages: the cells of the grids in row order
    // (caption row first) and the memo's lines. The measured values and the
    // system state follow the records; the regulator state and the messages
    // are as the last refresh left them, because a refresh of the regulator
    // state carries the status text over codes without one and a refresh of
    // the own messages advances their hold counters: each is refreshed once
    // per new record (Tick does so, and so do the steps that bring a record
    // from elsewhere).
    const SystemStateRecord& State(Side side) const { return side == Side::Own ? ownState_ : peerState_; }
    QStringList MeasuredValues(Side side) const;
    QStringList SystemStateValues(Side side) const;
    const QStringList& RegulatorStateTexts(Side side) const { return regulatorTexts_[side == Side::Own ? 0 : 1]; }
    const QStringList& SystemMessageTexts(Side side) const { return messageTexts_[side == Side::Own ? 0 : 1]; }
    StatePageTexts PageTexts(Side side) const;
    void RefreshRegulatorState(Side side);
    void RefreshSystemMessages(Side side);
    void RefreshPage(Side side)
    {
        RefreshRegulatorState(side);
        RefreshSystemMessages(side);
    }
    // The fields of a data log line, from the texts the pages show now.
    DataLogFields LogFields() const;
    // Appends one line to the data log LogFileName; false (and why, in
    // `failure`) when it could not.
    bool AppendLogLine(QString* failure = nullptr) const;

    // --- The support relay --------------------------------------------------
    SupportExchange* Exchange() const { return exchange_; }
    bool IsExchangeInProgress() const;
    // One exchange with the message that is set up.
    bool RunExchange();
    QString SupportStatusText() const { return support_.SupportStatusText; }
    // The support role's halves of the settings read and write: the request
    // for the client's settings and the record sent as new settings, each
    // between waits that handle no events themselves (1 s before; 3 s after
    // a request, 1 s after settings); `progress` is called meanwhile with
    // the seconds since the start. True when the relay took the message.
    using WaitProgress = std::function<void(double seconds)>;
    bool RequestClientSettings(const WaitProgress& progress = {});
    bool SendSettingsToClient(const WaitProgress& progress = {});
    // Whether one of those is under way (a command that waits for the relay
    // waits for it as well).
    bool IsWaitingOnRelay() const { return waitsOnRelay_ > 0; }
    // The technician's request that opens a session on the relay (the relay
    // keeps a session only once the support side asked for it), the local
    // regulator left as it is. False when the relay did not answer with 200.
    bool OpenSupportSession();
    // When the other side was last heard from: the last exchange whose answer
    // held its message (day count; 0: not since the role began).
    double OtherSideSeenAt() const { return otherSideAt_; }
    // The outgoing messages of the ticks: the support side's state request
    // (the local regulator is let go first), the client's state and settings.
    void PrepareStateRequest();
    // The client's tick exchanges as the client, whatever a chat line of the
    // other role set up last.
    void ActAsClient() { support_.SupportRole = RoleClient; }
    void PrepareOwnState();
    void PrepareSettings();
    // The client's settings message with these settings (what its regulator
    // holds after a write that support sent).
    void PrepareSettingsOf(const SettingsRecord& settings);
    // A chat line for the role that is on, one byte per character.
    void PrepareChat(const QString& text);
    // Every message the other side sent is acted on once, whichever exchange
    // brought it (a tick's, a chat's, a remote read's or write's): each one
    // recognised waits here, oldest first, until a tick takes it. A change
    // of role drops what waits for the role that ended.
    std::optional<RelayMessage> TakeReceived();
    int ReceivedWaiting() const { return int(inbox_.size()); }
    // Takes what arrived into the records when it came whole: the client's
    // state (at least 280 values) or settings (540) on the support side, new
    // settings from the support side on the client.
    bool TakeClientState(const RelayMessage& message);
    bool TakeClientSettings(const RelayMessage& message);
    bool TakeSupportSettings(const RelayMessage& message);
    // A chat message's text.
    static QString ChatText(const RelayMessage& message);
    // Sends a chat line for the role that is on; false when the exchange
    // failed. Lines sent and shown are kept for the "Chat..." window.
    bool SendChat(const QString& text);
    void NoteReceivedChat(const QString& text);
    // A line of the program's own in the chat log (what a remote write
    // changed), never sent.
    void NoteProgramLine(const QString& text);
    const QList<ChatLine>& ChatLines() const { return chatLines_; }

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
    // The settings' owner changes the record; tests of the relay's faults
    // preset the exchange state.
    friend class SettingsSession;
    friend struct StationTestAccess;

    // Writes and resets go through SettingsSession only: it checks what is
    // sent and reads it back.
    // `sent`: whether the regulator took the first slice, so that it may
    // hold other settings now.
    bool WriteSettingsToDevice(const QString& operation, bool* sent);
    bool ResetSettingsOnDevice();

    template <typename Step>
    bool OnLink(Step step);
    bool ExchangeBetweenWaits(double before, double after, const WaitProgress& progress);
    void BackUp(const QString& operation);

    HidSession session_;
    CommandProtocol protocol_;
    SystemStateRecord ownState_;
    SystemStateRecord peerState_;
    SettingsRecord settings_;
    CanFrameRecord canFrames_[2];
    MessageHoldCounters holdCounters_;
    SupportExchangeState support_;
    QString logFileName_;
    SettingsBackups backups_;
    const Clock& clock_;
    SupportExchange* exchange_;
    // The regulator status text each regulator state grid shows (own, peer).
    QString shownStatus_[2];
    QStringList regulatorTexts_[2];
    QStringList messageTexts_[2];
    double stateAt_[2] = {0, 0};
    double otherSideAt_ = 0;
    int waitsOnRelay_ = 0;
    std::deque<RelayMessage> inbox_;
    QList<ChatLine> chatLines_;
    QString lastBackupPath_;
    Connection connection_ = Connection::Usb;
    int connectionChanges_ = 0;
    bool sharing_ = false;
    bool logging_ = false;
};
