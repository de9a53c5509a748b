#pragma once
// The station on the session bus: the name example.quillmere.Vantrel1, the
// object /example/quillmere/Vantrel1 with the interface
// example.quillmere.Vantrel1.Station, a thin layer over the station's
// dispatch. Calls are answered when the station answers them (a shown
// pattern after its presentation); the station's signals are sent as the
// interface's signals.

#include <QDBusVirtualObject>
#include <QString>

class QDBusConnection;
class QDBusMessage;
class Station;

inline constexpr const char* kDBusService = "example.quillmere.Vantrel1";
inline constexpr const char* kDBusPath = "/example/quillmere/Vantrel1";
inline constexpr const char* kDBusInterface = "example.quillmere.Vantrel1.Station";
inline constexpr const char* kDBusErrorPrefix = "example.quillmere.Vantrel1.Error.";

class DBusTransport : public QDBusVirtualObject {
    Q_OBJECT
public:
    explicit DBusTransport(Station& station, QObject* parent = nullptr);
    ~DBusTransport() override;

    // Registers the object on the session bus and takes the name; false
    // with `error` set when the bus cannot be reached or the name is
    // another's.
    bool start(QString* error);

    // The interface's description, as installed in
    // share/dbus-1/interfaces/.
    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void dispatch(const QDBusMessage& message);
    void sendSignal(const char* name, const QVariantList& arguments);

    Station& station_;
    bool registered_ = false;
};
