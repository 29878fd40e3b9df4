// SPDX-License-Identifier: MIT
#include "controlservice.h"

#include "awakeengine.h"
#include "awakesettings.h"
#include "buildinfo.h"
#include "graphemes.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace {
const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString refused = QStringLiteral("app.plenox.Veluna.Control.Error.Refused");
constexpr qsizetype longestName = 64; // a name is shown in one status line

QString holderName(const QString &serviceKey)
{
    return serviceKey.mid(serviceKey.lastIndexOf(QLatin1String(".service_")) + 9);
}
} // namespace

QString ControlService::objectPath(const QString &desktopId)
{
    return u'/' + QString(desktopId).replace(u'.', u'/').replace(u'-', u'_')
        + QLatin1String("/Control");
}

ControlService::ControlService(AwakeEngine &engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    m_engine.setOnGuestEnd([this](quint32 id) { guestEnded(id); });
    m_engine.setControlListener([this] { engineChanged(); });
}

ControlService::~ControlService()
{
    m_engine.setOnGuestEnd({});
    m_engine.setControlListener({});
}

bool ControlService::registerOn(QDBusConnection bus, const QString &desktopId)
{
    m_bus = bus;
    m_path = objectPath(desktopId);
    m_owners = new QDBusServiceWatcher({}, bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_owners, &QDBusServiceWatcher::serviceUnregistered, this, &ControlService::ownerGone);
    return bus.registerObject(m_path, this,
                              QDBusConnection::ExportScriptableSlots
                                  | QDBusConnection::ExportScriptableSignals
                                  | QDBusConnection::ExportAllProperties);
}

void ControlService::engineChanged()
{
    if (m_path.isEmpty())
        return;
    const QVariantMap changed { { QStringLiteral("Active"), active() },
                                { QStringLiteral("EndsAt"), endsAt() },
                                { QStringLiteral("KeepDisplayAwake"), keepDisplayAwake() },
                                { QStringLiteral("Holder"), holder() },
                                { QStringLiteral("StatusText"), statusText() } };
    QDBusMessage signal
        = QDBusMessage::createSignal(m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(interfaceName) << changed << QStringList();
    m_bus.send(signal);
}

bool ControlService::active() const
{
    return m_engine.isActive();
}

QString ControlService::endsAt() const
{
    const std::optional<QDateTime> end = m_engine.endDate();
    return m_engine.isActive() && end
        ? end->toOffsetFromUtc(end->offsetFromUtc()).toString(Qt::ISODate)
        : QString();
}

bool ControlService::keepDisplayAwake() const
{
    return m_engine.isDisplayHeld();
}

QString ControlService::holder() const
{
    const std::optional<PowerAssertions::Holder> held = m_engine.holder();
    return held ? holderName(held->serviceKey) : QString();
}

QString ControlService::statusText() const
{
    return m_engine.statusText();
}

QString ControlService::version() const
{
    return QString::fromLatin1(BuildInfo::version);
}

bool ControlService::Start(qint64 minutes, int display)
{
    if (minutes > AwakeEngine::longestMinutes)
        return fail("Start", QStringLiteral("at most %1 minutes").arg(AwakeEngine::longestMinutes));
    m_engine.start(minutes < 0 ? AwakeSettings::defaultMinutes() : minutes, displayChoice(display));
    return m_engine.isActive();
}

bool ControlService::StartUntil(const QString &endsAt, int display)
{
    const QDateTime end = QDateTime::fromString(endsAt, Qt::ISODateWithMs);
    const QDateTime now = QDateTime::currentDateTime();
    if (!end.isValid() || end <= now || end > now.addDays(1))
        return fail("StartUntil", QStringLiteral("not a moment within the coming day: ") + endsAt);
    m_engine.startUntil(end, displayChoice(display));
    return m_engine.isActive();
}

void ControlService::Stop()
{
    m_engine.stop();
}

bool ControlService::Toggle()
{
    if (m_engine.isActive())
        m_engine.stop();
    else
        m_engine.start(AwakeSettings::defaultMinutes(), AwakeSettings::keepDisplayAwake());
    return m_engine.isActive();
}

bool ControlService::Extend(qint64 minutes)
{
    if (minutes < 1 || minutes > AwakeEngine::longestMinutes)
        return fail("Extend",
                    QStringLiteral("from 1 to %1 minutes").arg(AwakeEngine::longestMinutes));
    return m_engine.extend(minutes);
}

uint ControlService::Hold(const QString &name, bool display)
{
    const QString owner = message().service();
    const quint32 id = m_engine.addGuest(leadingGraphemes(name, longestName), display);
    if (id == 0) {
        sendErrorReply(refused, QStringLiteral("no service keeps this computer awake"));
        return 0;
    }
    m_holds.insert(owner, id);
    m_owners->addWatchedService(owner);
    // The owner may have gone before it was watched.
    if (!m_bus.interface()->isServiceRegistered(owner).value())
        ownerGone(owner);
    return id;
}

void ControlService::Release(uint id)
{
    const QString owner = message().service();
    if (m_holds.remove(owner, id) == 0)
        return;
    if (!m_holds.contains(owner))
        m_owners->removeWatchedService(owner);
    m_engine.removeGuest(id);
}

bool ControlService::fail(const char *method, const QString &message)
{
    sendErrorReply(invalidArgs, QString::fromLatin1(method) + QLatin1String(": ") + message);
    return false;
}

bool ControlService::displayChoice(int display) const
{
    return display < 0 ? AwakeSettings::keepDisplayAwake() : display != 0;
}

void ControlService::ownerGone(const QString &owner)
{
    const QList<quint32> ids = m_holds.values(owner);
    m_holds.remove(owner);
    m_owners->removeWatchedService(owner);
    for (const quint32 id : ids)
        m_engine.removeGuest(id);
}

void ControlService::guestEnded(quint32 id)
{
    for (auto at = m_holds.begin(); at != m_holds.end(); ++at) {
        if (at.value() == id) {
            m_holds.erase(at);
            break;
        }
    }
    emit HoldEnded(id);
}
