// SPDX-License-Identifier: MIT
#include "dbuspowerassertions.h"

#include "sleeplockcheck.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTimer>

#include <algorithm>

namespace {

using Service = InhibitGrant::Service;

// Long enough for a busy desktop service, short enough that a press is answered promptly.
constexpr std::chrono::seconds answerDeadline { 3 };

const QList<Service> allServices { Service::GnomeSession, Service::PowerManagement,
                                   Service::ScreenSaver, Service::Portal, Service::Logind };

QString serviceKey(Service service)
{
    switch (service) {
    case Service::GnomeSession:
        return QStringLiteral("holder.service_session_manager");
    case Service::PowerManagement:
        return QStringLiteral("holder.service_power_manager");
    case Service::ScreenSaver:
        return QStringLiteral("holder.service_screensaver");
    case Service::Portal:
        return QStringLiteral("holder.service_portal");
    case Service::Logind:
        return QStringLiteral("holder.service_logind");
    }
    Q_UNREACHABLE();
}

bool asksForSuspendOnly(const DesktopPolicy::Step &step)
{
    return step.service == Service::GnomeSession && step.flags == DesktopPolicy::suspendFlag;
}

} // namespace

DBusPowerAssertions::DBusPowerAssertions(DesktopPolicy policy)
    : m_policy(policy)
{
    watch(m_sessionWatcher, QDBusConnection::sessionBus(), false);
    watch(m_systemWatcher, QDBusConnection::systemBus(), true);
}

DBusPowerAssertions::~DBusPowerAssertions()
{
    for (auto &[id, hold] : m_holds) {
        if (hold.grant)
            giveBack(*hold.grant);
    }
    // Releases must reach the services before the connection closes with the process; each
    // call ends by its own deadline, so a hung service delays quitting by seconds at most.
    if (QCoreApplication::instance()) {
        for (QDBusPendingCall &call : m_releases)
            call.waitForFinished();
    }
}

PowerAssertions::Result DBusPowerAssertions::create(Type type, const QString &name)
{
    const quint32 id = m_nextId++;
    Hold &hold = m_holds[id];
    hold.type = type;
    hold.reason = name;
    hold.steps = m_policy.steps(type);
    if (!ask(id, hold, 0)) {
        m_holds.erase(id);
        return { unsupported, 0 };
    }
    return { success, id };
}

void DBusPowerAssertions::release(quint32 id)
{
    const auto found = m_holds.find(id);
    if (found == m_holds.end())
        return;
    // A request still in flight is answered to nobody and its grant given straight back.
    if (found->second.grant)
        giveBack(*found->second.grant);
    m_holds.erase(found);
}

std::optional<PowerAssertions::Holder> DBusPowerAssertions::holder(quint32 id) const
{
    const auto found = m_holds.find(id);
    if (found == m_holds.end() || !found->second.grant)
        return std::nullopt;
    const Hold &hold = found->second;
    return Holder { serviceKey(hold.grant->service()), hold.steps.at(hold.step).keepsScreenOn };
}

// Sends the request to the first step from `from` on whose service has an owner; false when
// none is left to ask.
bool DBusPowerAssertions::ask(quint32 id, Hold &hold, qsizetype from)
{
    hold.asking = false;
    for (qsizetype at = from; at < hold.steps.size(); ++at) {
        Step &step = hold.steps[at];
        const QString owner = InhibitGrant::ownerOf(step.service);
        if (owner.isEmpty())
            continue;
        if (asksForSuspendOnly(step) && m_sleepLockers.contains(owner))
            step = { step.service, DesktopPolicy::idleFlag, true };
        hold.step = at;
        hold.asking = true;
        const quint64 attempt = ++hold.attempt;
        auto *watcher = new QDBusPendingCallWatcher(
            InhibitGrant::ask(step.service, step.flags, hold.reason), &m_context);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_context,
                         [this, id, attempt, service = step.service, watcher] {
                             answered(id, attempt, service, watcher->reply());
                             watcher->deleteLater();
                         });
        QTimer::singleShot(answerDeadline, &m_context,
                           [this, id, attempt] { answerOverdue(id, attempt); });
        return true;
    }
    return false;
}

// The service keeps its name but does not answer: ask the next one. Its answer, should it come
// after all, belongs to an earlier attempt and is given straight back.
void DBusPowerAssertions::answerOverdue(quint32 id, quint64 attempt)
{
    const auto found = m_holds.find(id);
    if (found == m_holds.end() || found->second.attempt != attempt || !found->second.asking)
        return;
    Hold &hold = found->second;
    if (!ask(id, hold, hold.step + 1))
        askedInVain(id);
}

void DBusPowerAssertions::answered(quint32 id, quint64 attempt, Service service,
                                   const QDBusMessage &reply)
{
    const auto found = m_holds.find(id);
    const bool current = found != m_holds.end() && found->second.attempt == attempt;
    if (!current) {
        // Released, or asked elsewhere since: nobody wants this inhibition any more.
        if (auto late = InhibitGrant::fromReply(service, reply))
            giveBack(*late);
        return;
    }
    Hold &hold = found->second;
    if (std::optional<InhibitGrant> grant = InhibitGrant::fromReply(service, reply))
        granted(id, hold, std::move(*grant));
    else if (!ask(id, hold, hold.step + 1))
        askedInVain(id);
}

void DBusPowerAssertions::askedInVain(quint32 id)
{
    const auto found = m_holds.find(id);
    if (found->second.everGranted) {
        // It held before: wait for one of its services to come back.
        reportHoldersChanged();
        return;
    }
    m_holds.erase(found);
    reportRefused(id);
}

void DBusPowerAssertions::granted(quint32 id, Hold &hold, InhibitGrant grant)
{
    hold.asking = false;
    hold.everGranted = true;
    const Step step = hold.steps.at(hold.step);
    if (asksForSuspendOnly(step))
        checkSleepLock(id, hold.attempt, grant.owner());
    hold.grant = std::move(grant);
    reportHoldersChanged();
}

void DBusPowerAssertions::checkSleepLock(quint32 id, quint64 attempt, const QString &owner)
{
    SleepLockCheck::run(owner, &m_context, [this, id, attempt, owner](bool locked) {
        if (!locked)
            return;
        m_sleepLockers.insert(owner);
        sleepLockFound(id, attempt);
    });
}

// The session manager stops the user's own suspend for as long as it holds our flag: give it
// back, and ask the same service for an idle hold, which takes no lock and also stops suspend.
void DBusPowerAssertions::sleepLockFound(quint32 id, quint64 attempt)
{
    const auto found = m_holds.find(id);
    if (found == m_holds.end() || found->second.attempt != attempt || !found->second.grant)
        return;
    Hold &hold = found->second;
    giveBack(*hold.grant);
    hold.grant.reset();
    Step idle = hold.steps.at(hold.step);
    idle.flags = DesktopPolicy::idleFlag;
    idle.keepsScreenOn = true;
    hold.steps.insert(hold.step + 1, idle);
    if (!ask(id, hold, hold.step + 1))
        askedInVain(id);
}

void DBusPowerAssertions::giveBack(InhibitGrant &grant)
{
    m_releases.removeIf([](const QDBusPendingCall &call) { return call.isFinished(); });
    if (std::optional<QDBusPendingCall> call = grant.giveBack())
        m_releases.append(*call);
}

void DBusPowerAssertions::watch(QDBusServiceWatcher &watcher, const QDBusConnection &bus,
                                bool systemBus)
{
    QStringList names;
    for (Service service : allServices) {
        if (InhibitGrant::onSystemBus(service) == systemBus)
            names.append(InhibitGrant::busName(service));
    }
    watcher.setConnection(bus);
    watcher.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    watcher.setWatchedServices(names);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceOwnerChanged, &m_context,
                     [this](const QString &name, const QString &oldOwner, const QString &newOwner) {
                         ownerChanged(name, oldOwner, newOwner);
                     });
}

QList<quint32> DBusPowerAssertions::holdIds() const
{
    QList<quint32> ids;
    for (const auto &[id, hold] : m_holds)
        ids.append(id);
    return ids;
}

void DBusPowerAssertions::ownerChanged(const QString &name, const QString &oldOwner,
                                       const QString &newOwner)
{
    m_sleepLockers.remove(oldOwner);
    bool changed = false;
    // By id: asking may end a hold, which must not happen under an iterator.
    for (quint32 id : holdIds()) {
        Hold &hold = m_holds.at(id);
        // A name can pass straight from one process to another (a restart with replacement):
        // the old owner's inhibitions are gone all the same. Never give a lost grant back: a
        // new owner of that name could hold someone else's inhibition under the same cookie.
        const bool lost = hold.grant && InhibitGrant::busName(hold.grant->service()) == name
            && hold.grant->owner() == oldOwner && !oldOwner.isEmpty();
        // A hold still being asked starts over when the name is of a step up to the one asked:
        // should that answer be a refusal, the steps after it would leave the name out.
        const bool earlier = hold.asking
            && std::ranges::any_of(hold.steps.first(hold.step + 1), [&name](const Step &step) {
                                 return InhibitGrant::busName(step.service) == name;
                             });
        const bool waiting = !hold.grant && !newOwner.isEmpty() && (!hold.asking || earlier);
        if (!lost && !waiting)
            continue;
        hold.grant.reset();
        changed = true;
        ask(id, hold, 0);
    }
    if (changed)
        reportHoldersChanged();
}
