#include "control/json_line_transport.h"

#include "control/station.h"

#include <QJsonArray>

namespace {

// The out-arguments by name, or a signal's arguments.
QJsonObject Named(std::span<const CommandArg> args, const QVariantList& values) {
    QJsonObject object;
    for (qsizetype i = 0; i < values.size() && i < static_cast<qsizetype>(args.size()); ++i)
        object.insert(QString::fromLatin1(args[static_cast<size_t>(i)].name), QJsonValue::fromVariant(values[i]));
    return object;
}

RpcError Answer(const CommandOutcome& outcome, const QJsonValue& id) {
    switch (outcome.kind) {
    case CommandOutcome::Kind::UnknownMethod: return RpcError{kRpcMethodNotFound, outcome.message, id, {}};
    case CommandOutcome::Kind::BadArguments: return RpcError{kRpcInvalidParams, outcome.message, id, {}};
    case CommandOutcome::Kind::Failed:
    case CommandOutcome::Kind::Done: break;
    }
    return RpcError{kRpcNamedError, outcome.message, id, outcome.error};
}

} // namespace

JsonLineTransport::JsonLineTransport(Station& station, Sink sink, QObject* parent)
    : QObject(parent), station_(station), sink_(std::move(sink)) {
    const auto signalEntry = [](const char* name) {
        for (const CommandEntry& s : StationSignals())
            if (qstrcmp(s.name, name) == 0) return s;
        return CommandEntry{};
    };
    connect(&station_, &Station::patternPresented, this,
            [this, entry = signalEntry("PatternPresented")](uint number, qulonglong presentedNs, uint flags) {
                send(NotificationLine(QString::fromLatin1(entry.name), Named(entry.in, {number, presentedNs, flags})));
            });
    connect(&station_, &Station::markAdded, this,
            [this, entry = signalEntry("MarkAdded")](uint number, const QString& type, int x, int y) {
                send(NotificationLine(QString::fromLatin1(entry.name), Named(entry.in, {number, type, x, y})));
            });
}

void JsonLineTransport::receive(QByteArrayView bytes) {
    for (const LineReader::Line& line : reader_.feed(bytes)) handle(line);
}

void JsonLineTransport::inputEnded() {
    for (const LineReader::Line& line : reader_.finish()) handle(line);
    end();
}

void JsonLineTransport::handle(const LineReader::Line& line) {
    if (closed_) return;
    if (line.overlong) {
        send(ErrorLine(RpcError{kRpcInvalidRequest,
                                QStringLiteral("the line is longer than %1 bytes: it was skipped unread")
                                    .arg(kMaxRequestLineBytes),
                                QJsonValue::Null,
                                {}}));
        return;
    }
    if (line.text.trimmed().isEmpty()) return;
    const std::variant<RpcRequest, RpcError> parsed = ParseRequestLine(line.text);
    if (const RpcError* error = std::get_if<RpcError>(&parsed)) {
        send(ErrorLine(*error));
        return;
    }
    const RpcRequest& request = std::get<RpcRequest>(parsed);
    station_.call(request.method, request.params, [this, id = request.id, quiet = request.notification,
                                                   method = request.method](const CommandOutcome& outcome) {
        if (quiet) return;
        if (outcome.kind != CommandOutcome::Kind::Done) {
            send(ErrorLine(Answer(outcome, id)));
            return;
        }
        const CommandEntry* command = FindCommand(method);
        send(ResultLine(id, Named(command ? command->out : std::span<const CommandArg>(), outcome.values)));
    });
}

void JsonLineTransport::send(const QByteArray& line) {
    if (closed_) return;
    if (!sink_(line)) end();
}

void JsonLineTransport::end() {
    if (closed_) return;
    closed_ = true;
    Q_EMIT closed();
}
