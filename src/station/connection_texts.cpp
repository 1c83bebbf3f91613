#include "station/connection_texts.h"
#include "station/application.h"

#include "records/ansi_text.h"
#include "support/relay_address.h"

ConnectionIndicator ConnectionIndicatorOf(const Station& station, bool demo, const QString& snapshotName)
{
    QString text;
    QString tip;
    bool warning = false;
    const QString regulator = FromAnsi(station.OwnState().RegulatorName());
    const double stateAt = station.StateAt(Side::Own);
    const qint64 age = qint64((station.Time().Now() - stateAt) / OneSecond);
    // A private session is named by its code, the trial session by its relay.
    const QString code = SessionCodeOf(station.Relay().Domain());
    if (station.IsRemoteConnection()) {
        const QString domain = code.isEmpty() ? station.Relay().Domain() : code;
        if (stateAt == 0) {
            text = QStringLiteral("Remote: %1, no data yet").arg(domain);
            warning = true;
        } else {
            text = QStringLiteral("Remote: %1, data %2 s old").arg(domain).arg(age);
            warning = age > RemoteDataStaleSeconds;
        }
        tip = QStringLiteral("The pages show the regulator of a customer, as the support relay last passed it on.");
    } else if (!station.IsUsbConnection()) {
        text = QStringLiteral("Snapshot: %1").arg(snapshotName);
        tip = QStringLiteral("The pages show a snapshot file; choose \"USB\" to see the regulator again.");
    } else if (station.IsSharing()) {
        text = code.isEmpty() ? QStringLiteral("Sharing with support") : QStringLiteral("Sharing with support: %1").arg(code);
        // Support's side asks for the state on every tick: silence means
        // nobody is looking yet.
        const double seenAt = station.Relay().OtherSideSeenAt();
        const bool present = seenAt != 0 && station.Time().Now() - seenAt <= RemoteDataStaleSeconds * OneSecond;
        text += present ? QStringLiteral(", technician connected") : QStringLiteral(", waiting for the technician");
        tip = QStringLiteral("USB: %1; its data go to the support relay %2.")
                  .arg(regulator, station.Relay().Domain());
    } else if (demo) {
        text = QStringLiteral("Demo: simulated regulator");
    } else if (station.Usb().Session().IsDeviceOpen()) {
        // The pages keep the last values while the regulator is silent: the
        // indicator says how old they are.
        const QString name = regulator.isEmpty() ? QStringLiteral("regulator") : regulator;
        if (station.IsLive(Side::Own)) {
            text = QStringLiteral("USB: %1").arg(name);
        } else {
            text = stateAt == 0 ? QStringLiteral("USB: %1, no data yet").arg(name)
                                : QStringLiteral("USB: %1, data %2 s old").arg(name).arg(age);
            tip = QStringLiteral("The regulator does not answer; the pages show what it sent last.");
            warning = true;
        }
    } else {
        text = QStringLiteral("No regulator");
        tip = QStringLiteral("No regulator answers on USB. Check the USB cable and the regulator's power; on "
                             "Linux, check that the udev rule of the README is installed.");
        warning = true;
    }
    return {text, tip, warning};
}

NotLiveTexts NotLiveTextsOf(const Station& station, bool demo, bool clientSettingsArrived)
{
    QString state;
    const double stateAt = station.StateAt(Side::Own);
    const qint64 age = qint64((station.Time().Now() - stateAt) / OneSecond);
    if (station.IsUsbConnection() && !demo) {
        if (!station.Usb().Session().IsDeviceOpen())
            state = QStringLiteral("No regulator: connect it by USB and switch it on. The values shown are no readings.");
        else if (stateAt == 0)
            state = QStringLiteral("The regulator has not answered yet: the values shown are no readings.");
        else if (!station.IsLive(Side::Own))
            state = QStringLiteral("The regulator does not answer: the values shown are from %1 s ago.").arg(age);
    } else if (station.IsRemoteConnection()) {
        if (stateAt == 0)
            state = QStringLiteral("No data from the customer yet: the values shown are no readings.");
        else if (age > RemoteDataStaleSeconds)
            state = QStringLiteral("No data from the customer for %1 s: the values shown are from then.").arg(age);
    }
    QString settings;
    if (station.IsUsbConnection() && !demo && !station.Usb().Session().IsDeviceOpen())
        settings = QStringLiteral("No regulator: these settings were not read from one.");
    else if (station.IsRemoteConnection() && !clientSettingsArrived)
        settings = QStringLiteral("The customer's settings have not arrived yet: \"Read Settings\" asks for them.");
    QString peer;
    QString can;
    if (station.IsRemoteConnection()) {
        peer = QStringLiteral("The peer regulator is not shared over the relay: this page shows none of the "
                              "customer's values.");
        can = QStringLiteral("CAN frames are not shared over the relay: this page lists none of the customer's "
                             "frames.");
    }
    return {state, settings, peer, can};
}

QString WindowCaptionOf(const Station& station, bool demo)
{
    QString caption = ApplicationTitle;
    if (station.IsRemoteConnection())
        caption += QStringLiteral(" - remote support connection via Internet");
    else if (station.IsUsbConnection())
        caption += QStringLiteral(" - USB connection");
    if (station.IsLogging())
        caption += QStringLiteral(", logging data to file");
    if (demo)
        caption += QStringLiteral(" (demo, simulated regulator)");
    return caption;
}

QString PeerPageCaptionOf(const Station& station)
{
    if (station.IsRemoteConnection())
        return QStringLiteral("Peer System State");
    const QByteArray name = station.PeerState().RegulatorName();
    return name.isEmpty() ? QString() : QStringLiteral("Peer System State [ ") + FromAnsi(name) + QStringLiteral(" ]");
}

bool CanPageShownFor(const Station& station)
{
    return station.OwnState().CanPageEnable1() != 0 && station.OwnState().CanPageEnable2() != 0;
}
