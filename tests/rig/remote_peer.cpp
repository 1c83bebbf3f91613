#include "rig/remote_peer.h"

RemotePeer::RemotePeer()
{
    station.SettingsOwner().UseBackupsFolder(backups.path());
    QObject::connect(&session, &RemoteSession::panelMessage, [this](const QString& text) { panel << text; });
    QObject::connect(&session, &RemoteSession::statusText, [this](const QString& text) { status = text; });
    QObject::connect(&session, &RemoteSession::failed, [this](const QString& text) { errors << text; });
    QObject::connect(&session, &RemoteSession::writeNotice, [this](const QString& headline, const QStringList& rows) {
        notices << (rows.isEmpty() ? headline : headline + QLatin1Char('\n') + rows.join(QLatin1Char('\n')));
    });
    // The settings read of the "Settings" page.
    QObject::connect(&session, &RemoteSession::settingsReadWanted, [this] {
        if (station.IsUsbConnection())
            settings.ReadSettings({}, {});
        if (station.IsRemoteConnection())
            session.RequestSettings();
        settings.TakeAsReference();
    });
    QObject::connect(&session, &RemoteSession::supportSettingsToWrite, [this] {
        settings.TakeAsPageWrites();
        if (station.IsUsbConnection())
            settings.WriteSettings(QStringLiteral("support-write"), {}, {}, {});
    });
    QObject::connect(&session, &RemoteSession::clientStateArrived, [this] { ++statesShown; });
    QObject::connect(&session, &RemoteSession::clientSettingsArrivedNow, [this] { settings.TakeAsReference(); });
    QObject::connect(&session, &RemoteSession::endRemoteWanted, [this] { station.SetConnection(Connection::Usb); });
    QObject::connect(&station, &Station::modesChanged, [this] {
        if (!station.IsRemoteConnection())
            session.ForgetClientSettings();
    });
}

void RemotePeer::Connect()
{
    station.Tick(); // the first request finds the regulator
    station.Tick();
}

void RemotePeer::Tick()
{
    if (!station.Relay().IsExchangeInProgress())
        session.Tick();
}

QList<int> SettingsCommandsSeen(const SimulatedRegulator& sim, std::size_t from, int command)
{
    QList<int> blocks;
    for (std::size_t i = from; i < sim.Requests.size(); ++i)
        if (sim.Requests[i][0] == command)
            blocks << sim.Requests[i][1];
    return blocks;
}
