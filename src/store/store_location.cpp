#include "store/store_location.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

using Parameters = std::vector<std::pair<QString, QString>>;

QString Decoded(const QString& component) { return QUrl::fromPercentEncoding(component.toUtf8()); }

// keyword='value', with backslashes and quotes escaped as libpq reads them.
QString ConninfoPair(const QString& key, const QString& value) {
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return key + QLatin1String("='") + quoted + QLatin1Char('\'');
}

QString PasswordRefusal(const QString& where) {
    return QStringLiteral("the store URL carries a password (%1): Vantrel does not take passwords on the command "
                          "line, where every user of the machine can read them; keep it in a password file "
                          "(PGPASSFILE, by default ~/.pgpass) or name a service file entry (PGSERVICEFILE, "
                          "?service=NAME)")
        .arg(where);
}

// The hosts and ports of "host[:port][,host[:port]...]"; an IPv6 address
// stands in brackets.
bool ReadHosts(const QString& hostspec, Parameters* parameters, QString* error) {
    QStringList hosts, ports;
    bool anyPort = false;
    for (const QString& item : hostspec.split(QLatin1Char(','))) {
        QString host = item, port;
        if (host.startsWith(QLatin1Char('['))) {
            const qsizetype close = host.indexOf(QLatin1Char(']'));
            if (close < 0) {
                *error = QStringLiteral("the store URL's host '%1' lacks its closing ']'").arg(item);
                return false;
            }
            const QString rest = host.mid(close + 1);
            host = host.mid(1, close - 1);
            if (rest.startsWith(QLatin1Char(':'))) port = rest.mid(1);
            else if (!rest.isEmpty()) {
                *error = QStringLiteral("the store URL's host '%1' is malformed").arg(item);
                return false;
            }
        } else if (const qsizetype colon = host.lastIndexOf(QLatin1Char(':')); colon >= 0) {
            port = host.mid(colon + 1);
            host = host.left(colon);
        }
        if (!port.isEmpty() && !QRegularExpression(QStringLiteral("^[0-9]{1,5}$")).match(port).hasMatch()) {
            *error = QStringLiteral("the store URL's port '%1' is not a number").arg(port);
            return false;
        }
        anyPort = anyPort || !port.isEmpty();
        hosts << Decoded(host);
        ports << port;
    }
    if (hosts.size() > 1 || !hosts.constFirst().isEmpty()) parameters->emplace_back(QStringLiteral("host"), hosts.join(QLatin1Char(',')));
    if (anyPort) parameters->emplace_back(QStringLiteral("port"), ports.join(QLatin1Char(',')));
    return true;
}

bool ParsePostgresUri(const QString& uri, StoreLocation* location, QString* error) {
    QString rest = uri.mid(uri.indexOf(QLatin1String("://")) + 3);
    QString query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    QString dbname;
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        dbname = Decoded(rest.mid(slash + 1));
        rest = rest.left(slash);
    }
    Parameters parameters;
    if (const qsizetype at = rest.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userspec = rest.left(at);
        rest = rest.mid(at + 1);
        if (userspec.contains(QLatin1Char(':'))) {
            *error = PasswordRefusal(QStringLiteral("after the user name"));
            return false;
        }
        if (!userspec.isEmpty()) parameters.emplace_back(QStringLiteral("user"), Decoded(userspec));
    }
    if (!rest.isEmpty() && !ReadHosts(rest, &parameters, error)) return false;
    if (!dbname.isEmpty()) parameters.emplace_back(QStringLiteral("dbname"), dbname);
    for (const QString& item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            *error = QStringLiteral("the store URL's parameter '%1' is not name=value").arg(item);
            return false;
        }
        const QString key = Decoded(item.left(eq));
        if (key == QLatin1String("password")) {
            *error = PasswordRefusal(QStringLiteral("?password="));
            return false;
        }
        // A later parameter overrides an earlier one of the same name, as in
        // libpq; the URI's parts come first.
        parameters.emplace_back(key, Decoded(item.mid(eq + 1)));
    }
    // A line's database that is away must not hold up a station for long,
    // nor one whose network dies in the middle of a write keep a station
    // from ending: a connection gives up after 5 s, a connection that no
    // longer answers after about 20 s. Each unless the URL says otherwise.
    const std::pair<const char*, const char*> defaults[] = {{"connect_timeout", "5"},
                                                             {"keepalives_idle", "10"},
                                                             {"keepalives_interval", "5"},
                                                             {"keepalives_count", "2"},
                                                             {"tcp_user_timeout", "20000"}};
    for (const auto& [key, value] : defaults) {
        const bool given = std::any_of(parameters.begin(), parameters.end(),
                                       [key](const auto& p) { return p.first == QLatin1String(key); });
        if (!given) parameters.emplace_back(QLatin1String(key), QLatin1String(value));
    }

    QStringList pairs;
    for (const auto& [key, value] : parameters) {
        if (!QRegularExpression(QStringLiteral("^[a-z_]+$")).match(key).hasMatch()) {
            *error = QStringLiteral("the store URL's parameter name '%1' is not one of libpq's").arg(key);
            return false;
        }
        // Qt's PostgreSQL driver reads ';' as the separator of its options.
        if (value.contains(QLatin1Char(';')) || value.contains(QChar(0))) {
            *error = QStringLiteral("the store URL's %1 contains a character Qt's PostgreSQL driver cannot pass "
                                    "(';' or NUL)")
                         .arg(key);
            return false;
        }
        pairs << ConninfoPair(key, value);
    }
    location->kind = StoreLocation::Kind::PostgreSQL;
    location->url = uri;
    location->conninfo = pairs.join(QLatin1Char(' '));
    location->station = false;
    return true;
}

QString StationStorePath() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG rules: a relative path is to be ignored.
    if (data.isEmpty() || QDir::isRelativePath(data)) data = QDir::homePath() + QLatin1String("/.local/share");
    return QDir::cleanPath(data + QLatin1String("/vantrel/records.sqlite"));
}

} // namespace

StoreLocation StationStore() {
    StoreLocation s;
    s.kind = StoreLocation::Kind::SQLite;
    s.path = StationStorePath();
    s.url = QLatin1String("sqlite:") + s.path;
    s.station = true;
    return s;
}

bool ParseStoreUrl(const QString& given, StoreLocation* location, QString* error) {
    const QString text = given.trimmed();
    if (text.isEmpty()) {
        *location = StationStore();
        return true;
    }
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://")))
        return ParsePostgresUri(text, location, error);
    QString path = text;
    if (text.startsWith(QLatin1String("sqlite:"))) {
        path = text.mid(7);
        if (path.startsWith(QLatin1String("//"))) path = path.mid(2); // sqlite:///srv/x.sqlite
    } else if (QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://")).match(text).hasMatch()) {
        *error = QStringLiteral("unknown store '%1': name a PostgreSQL database as postgresql://... or an SQLite "
                                "file as sqlite:PATH")
                     .arg(text);
        return false;
    }
    if (path.isEmpty()) {
        *error = QStringLiteral("the store URL '%1' names no file").arg(text);
        return false;
    }
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    *location = {};
    location->kind = StoreLocation::Kind::SQLite;
    location->path = absolute;
    location->station = absolute == StationStorePath();
    location->url = QLatin1String("sqlite:") + absolute;
    return true;
}
