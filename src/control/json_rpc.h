#pragma once
// JSON-RPC 2.0, one object a line, as the station speaks it on stdin and
// stdout: requests with their parameters by name, answers, errors and
// notifications. Batches and parameters by position are not taken.

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QVariantMap>

#include <variant>
#include <vector>

// A line longer than this (without its newline) is refused unread.
inline constexpr qsizetype kMaxRequestLineBytes = 1024 * 1024;

// The error codes of JSON-RPC 2.0, and the one for the station's own
// named errors.
enum RpcErrorCode : int {
    kRpcParseError = -32700,
    kRpcInvalidRequest = -32600,
    kRpcMethodNotFound = -32601,
    kRpcInvalidParams = -32602,
    kRpcNamedError = -32000,
};

struct RpcRequest {
    QJsonValue id;             // a string, a number or null
    bool notification = false; // no id: nothing is answered
    QString method;
    QVariantMap params;        // by name; numbers as double, objects as maps
};

struct RpcError {
    int code = kRpcInvalidRequest;
    QString message;
    QJsonValue id;  // the request's, when it could be read, else null
    QString name;   // the station's error name (code -32000), else empty
};

// Splits what arrives on the input into lines, holding at most
// kMaxRequestLineBytes of a line: a longer one is reported once as
// overlong and the rest of it, up to its newline, is dropped as it comes.
class LineReader {
public:
    struct Line {
        QByteArray text; // without the newline; empty when overlong
        bool overlong = false;
    };

    std::vector<Line> feed(QByteArrayView bytes);
    // What is left when the input ends: a last line without its newline.
    std::vector<Line> finish();

private:
    QByteArray pending_;
    bool skipping_ = false; // inside an overlong line
};

// Reads one line: a request, or the error to answer it with. Blank lines
// are not requests: the caller skips them.
std::variant<RpcRequest, RpcError> ParseRequestLine(const QByteArray& line);

// The answer lines, each one compact JSON object ending in a newline.
QByteArray ResultLine(const QJsonValue& id, const QJsonObject& result);
QByteArray ErrorLine(const RpcError& error);
QByteArray NotificationLine(const QString& method, const QJsonObject& params);
