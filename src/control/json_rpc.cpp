#include "control/json_rpc.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <utility>

namespace {

QByteArray Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

RpcError Refusal(int code, QString message, QJsonValue id = QJsonValue::Null) {
    return RpcError{code, std::move(message), std::move(id), QString()};
}

bool IsId(const QJsonValue& id) { return id.isString() || id.isDouble() || id.isNull(); }

} // namespace

std::vector<LineReader::Line> LineReader::feed(QByteArrayView bytes) {
    std::vector<Line> lines;
    while (!bytes.isEmpty()) {
        const qsizetype newline = bytes.indexOf('\n');
        const QByteArrayView part = newline < 0 ? bytes : bytes.first(newline);
        if (!skipping_) {
            if (pending_.size() + part.size() > kMaxRequestLineBytes) {
                lines.push_back(Line{QByteArray(), true});
                pending_.clear();
                skipping_ = true;
            } else {
                pending_.append(part);
            }
        }
        if (newline < 0) break;
        if (!skipping_) {
            if (pending_.endsWith('\r')) pending_.chop(1);
            lines.push_back(Line{std::exchange(pending_, QByteArray()), false});
        }
        skipping_ = false;
        bytes = bytes.sliced(newline + 1);
    }
    return lines;
}

std::vector<LineReader::Line> LineReader::finish() {
    std::vector<Line> lines;
    if (!skipping_ && !pending_.isEmpty()) lines.push_back(Line{std::exchange(pending_, QByteArray()), false});
    skipping_ = false;
    return lines;
}

std::variant<RpcRequest, RpcError> ParseRequestLine(const QByteArray& line) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    // Qt reads objects and arrays only: a line that is JSON all the same (a
    // bare string or number) is a request of the wrong shape.
    if (parseError.error != QJsonParseError::NoError && !QJsonDocument::fromJson('[' + line + ']').isNull())
        return Refusal(kRpcInvalidRequest, QStringLiteral("a request is a JSON object"));
    if (parseError.error != QJsonParseError::NoError)
        return Refusal(kRpcParseError, QStringLiteral("the line is not JSON: %1 at byte %2")
                                           .arg(parseError.errorString())
                                           .arg(parseError.offset + 1));
    if (document.isArray())
        return Refusal(kRpcInvalidRequest, QStringLiteral("batches are not taken: send one request object a line"));
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    const bool hasId = object.contains(QLatin1String("id"));
    if (hasId && !IsId(id))
        return Refusal(kRpcInvalidRequest, QStringLiteral("\"id\" must be a string, a number or null"));
    const QJsonValue answerId = hasId ? id : QJsonValue(QJsonValue::Null);
    if (object.value(QLatin1String("jsonrpc")) != QJsonValue(QStringLiteral("2.0")))
        return Refusal(kRpcInvalidRequest, QStringLiteral("\"jsonrpc\" must be \"2.0\""), answerId);
    const QJsonValue method = object.value(QLatin1String("method"));
    if (!method.isString() || method.toString().isEmpty())
        return Refusal(kRpcInvalidRequest, QStringLiteral("\"method\" must be a method's name"), answerId);
    const QJsonValue params = object.value(QLatin1String("params"));
    if (params.isArray())
        return Refusal(kRpcInvalidParams,
                       QStringLiteral("parameters are taken by name: give \"params\" as an object"), answerId);
    if (!params.isUndefined() && !params.isObject())
        return Refusal(kRpcInvalidRequest, QStringLiteral("\"params\" must be an object"), answerId);

    RpcRequest request;
    request.id = answerId;
    request.notification = !hasId;
    request.method = method.toString();
    request.params = params.toObject().toVariantMap();
    return request;
}

QByteArray ResultLine(const QJsonValue& id, const QJsonObject& result) {
    return Compact(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                               {QStringLiteral("id"), id},
                               {QStringLiteral("result"), result}});
}

QByteArray ErrorLine(const RpcError& error) {
    QJsonObject body{{QStringLiteral("code"), error.code}, {QStringLiteral("message"), error.message}};
    if (!error.name.isEmpty()) body.insert(QStringLiteral("data"), QJsonObject{{QStringLiteral("name"), error.name}});
    return Compact(QJsonObject{
        {QStringLiteral("jsonrpc"), QStringLiteral("2.0")}, {QStringLiteral("id"), error.id}, {QStringLiteral("error"), body}});
}

QByteArray NotificationLine(const QString& method, const QJsonObject& params) {
    return Compact(QJsonObject{
        {QStringLiteral("jsonrpc"), QStringLiteral("2.0")}, {QStringLiteral("method"), method}, {QStringLiteral("params"), params}});
}
