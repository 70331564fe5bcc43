#include "share/nmeashare.h"

#include "link/gpsmain.h"
#include "platform/settingsstore.h"

namespace {
const QString kSection = QStringLiteral("NMEA");
}

NmeaShareSetting NmeaShareSetting::load(const SettingsStore *store)
{
    NmeaShareSetting s;
    if (!store)
        return s;
    s.enabled = store->GetSetting(kSection, QStringLiteral("Share"), QStringLiteral("0")) ==
                QLatin1String("1");
    bool ok = false;
    const uint port =
        store->GetSetting(kSection, QStringLiteral("Port"), QString::number(kDefaultPort))
            .toUInt(&ok);
    s.port = ok && port >= 1 && port <= 65535 ? quint16(port) : kDefaultPort;
    return s;
}

void NmeaShareSetting::save(SettingsStore *store) const
{
    if (!store)
        return;
    store->SaveSetting(kSection, QStringLiteral("Share"),
                       enabled ? QStringLiteral("1") : QStringLiteral("0"));
    store->SaveSetting(kSection, QStringLiteral("Port"), QString::number(port));
}

NmeaShare::NmeaShare(GPS_Main &g, QObject *parent) : QObject(parent), m_g(g)
{
    m_frames = m_g.frames().subscribeGood([this](const Frame &f) { onFrame(f.bytes()); });
    connect(&m_server, &NmeaServer::clientDropped, this, [this](const QString &why) {
        m_g.prependLog(QStringLiteral("NMEA client dropped: %1").arg(why));
    });
}

bool NmeaShare::start(const LoopbackAddress &address, QString &error)
{
    m_server.close();
    if (m_server.listen(address))
        return true;
    error = QStringLiteral("cannot serve NMEA on %1:%2: %3")
                .arg(address.host)
                .arg(address.port)
                .arg(m_server.errorString());
    return false;
}

void NmeaShare::stop()
{
    m_server.close();
}

QString NmeaShare::stateText() const
{
    if (!m_server.isListening())
        return QStringLiteral("off");
    const int n = m_server.clientCount();
    return QStringLiteral("%1:%2, %3 client%4")
        .arg(m_server.address())
        .arg(m_server.port())
        .arg(n)
        .arg(n == 1 ? QLatin1String() : QLatin1String("s"));
}

void NmeaShare::onFrame(QByteArrayView frame)
{
    if (!m_server.isListening())
        return;
    const QByteArray out = m_stream.frame(frame);
    if (!out.isEmpty())
        m_server.send(out);
}
