#include "control/dbus_transport.h"

#include "control/station.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QFile>
#include <QMetaObject>

// The interface's description is a resource of this static library:
// registered before the first look-up (registering again is harmless).
static void RegisterInterfaceDescription() { Q_INIT_RESOURCE(control); }

namespace {

// One entry of ListPatterns' answer, a(uss).
struct PatternEntry {
    uint number = 0;
    QString id;
    QString name;
};

} // namespace

Q_DECLARE_METATYPE(PatternEntry)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PatternEntry& entry) {
    argument.beginStructure();
    argument << entry.number << entry.id << entry.name;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PatternEntry& entry) {
    argument.beginStructure();
    argument >> entry.number >> entry.id >> entry.name;
    argument.endStructure();
    return argument;
}

QDBusConnection Bus() { return QDBusConnection::sessionBus(); }

QString Signature(std::span<const CommandArg> args) {
    QString signature;
    for (const CommandArg& a : args) signature += QLatin1String(DBusSignature(a.type));
    return signature;
}

// A value of the station's answer in the type the interface gives it.
QVariant Marshalled(const QVariant& value, ArgType type) {
    if (type != ArgType::PatternList) return value;
    QList<PatternEntry> entries;
    for (const QVariant& item : value.toList()) {
        const QVariantMap m = item.toMap();
        entries.push_back(PatternEntry{m.value(QStringLiteral("number")).toUInt(), m.value(QStringLiteral("id")).toString(),
                                       m.value(QStringLiteral("name")).toString()});
    }
    return QVariant::fromValue(entries);
}

// A call's argument as the station takes it: structures unpacked.
QVariant Unmarshalled(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) return QVariant(qdbus_cast<QVariantMap>(value.value<QDBusArgument>()));
    return value;
}

} // namespace

DBusTransport::DBusTransport(Station& station, QObject* parent) : QDBusVirtualObject(parent), station_(station) {
    qDBusRegisterMetaType<PatternEntry>();
    qDBusRegisterMetaType<QList<PatternEntry>>();
    connect(&station_, &Station::patternPresented, this, [this](uint number, qulonglong presentedNs, uint flags) {
        sendSignal("PatternPresented", {number, presentedNs, flags});
    });
    connect(&station_, &Station::markAdded, this, [this](uint number, const QString& type, int x, int y) {
        sendSignal("MarkAdded", {number, type, x, y});
    });
}

DBusTransport::~DBusTransport() {
    if (!registered_) return;
    QDBusConnection bus = Bus();
    bus.unregisterService(QString::fromLatin1(kDBusService));
    bus.unregisterObject(QString::fromLatin1(kDBusPath));
}

bool DBusTransport::start(QString* error) {
    QDBusConnection bus = Bus();
    if (!bus.isConnected()) {
        *error = QStringLiteral("--control dbus: the session bus cannot be reached: %1")
                     .arg(bus.lastError().message().isEmpty() ? QStringLiteral("DBUS_SESSION_BUS_ADDRESS is not set")
                                                              : bus.lastError().message());
        return false;
    }
    if (!bus.registerVirtualObject(QString::fromLatin1(kDBusPath), this)) {
        *error = QStringLiteral("--control dbus: the object %1 cannot be registered: %2")
                     .arg(QLatin1String(kDBusPath), bus.lastError().message());
        return false;
    }
    registered_ = true;
    // The name is asked for once: never queued behind another owner, never
    // handed over to a later one.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        QString::fromLatin1(kDBusService), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) return true;
    *error = reply.isValid() ? QStringLiteral("--control dbus: the name %1 on the session bus is taken by another "
                                              "process (is another Vantrel driven there?)")
                                   .arg(QLatin1String(kDBusService))
                             : QStringLiteral("--control dbus: the name %1 cannot be taken on the session bus: %2")
                                   .arg(QLatin1String(kDBusService), reply.error().message());
    bus.unregisterObject(QString::fromLatin1(kDBusPath));
    registered_ = false;
    return false;
}

QString DBusTransport::introspect(const QString&) const {
    // The <interface> element of the installed description.
    RegisterInterfaceDescription();
    QFile file(QStringLiteral(":/dbus/example.quillmere.Vantrel1.Station.xml"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString xml = QString::fromUtf8(file.readAll());
    const qsizetype begin = xml.indexOf(QLatin1String("<interface"));
    const QLatin1String endTag("</interface>");
    const qsizetype end = xml.lastIndexOf(endTag);
    if (begin < 0 || end < begin) return {};
    return xml.mid(begin, end + endTag.size() - begin) + QLatin1Char('\n');
}

bool DBusTransport::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    if (message.interface().isEmpty() ? !FindCommand(message.member())
                                      : message.interface() != QLatin1String(kDBusInterface))
        return false; // the standard interfaces Qt answers itself
    // Carried out from the event loop: the bus's own thread waits while
    // this handler runs.
    QMetaObject::invokeMethod(this, [this, message] { dispatch(message); }, Qt::QueuedConnection);
    return true;
}

void DBusTransport::dispatch(const QDBusMessage& message) {
    QDBusConnection bus = Bus();
    const CommandEntry* command = FindCommand(message.member());
    if (!command) {
        bus.send(message.createErrorReply(
            QDBusError::UnknownMethod,
            QStringLiteral("the interface %1 has no method '%2'").arg(QLatin1String(kDBusInterface), message.member())));
        return;
    }
    const QString expected = Signature(command->in);
    if (message.signature() != expected) {
        bus.send(message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("%1 takes (%2), not (%3)")
                                                                       .arg(QLatin1String(command->name), expected,
                                                                            message.signature())));
        return;
    }
    QVariantMap params;
    const QVariantList arguments = message.arguments();
    for (size_t i = 0; i < command->in.size(); ++i)
        params.insert(QString::fromLatin1(command->in[i].name), Unmarshalled(arguments.value(static_cast<qsizetype>(i))));
    const bool quit = qstrcmp(command->name, "Quit") == 0;
    station_.call(message.member(), params, [message, command, quit](const CommandOutcome& outcome) {
        QDBusConnection bus = Bus();
        switch (outcome.kind) {
        case CommandOutcome::Kind::Done: {
            QVariantList out;
            for (qsizetype i = 0; i < outcome.values.size() && i < static_cast<qsizetype>(command->out.size()); ++i)
                out << Marshalled(outcome.values[i], command->out[static_cast<size_t>(i)].type);
            bus.send(message.createReply(out));
            break;
        }
        case CommandOutcome::Kind::UnknownMethod:
            bus.send(message.createErrorReply(QDBusError::UnknownMethod, outcome.message));
            break;
        case CommandOutcome::Kind::BadArguments:
            bus.send(message.createErrorReply(QDBusError::InvalidArgs, outcome.message));
            break;
        case CommandOutcome::Kind::Failed:
            bus.send(message.createErrorReply(QLatin1String(kDBusErrorPrefix) + outcome.error, outcome.message));
            break;
        }
        if (quit) {
            // The program ends next: a round trip to the bus makes sure
            // the answer has left before it does.
            bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                    QStringLiteral("/org/freedesktop/DBus"),
                                                    QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")),
                     QDBus::Block, 2000);
        }
    });
}

void DBusTransport::sendSignal(const char* name, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createSignal(QString::fromLatin1(kDBusPath), QString::fromLatin1(kDBusInterface),
                                                      QString::fromLatin1(name));
    message.setArguments(arguments);
    Bus().send(message);
}
