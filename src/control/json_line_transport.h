#pragma once
// JSON-RPC 2.0 lines over the station's dispatch: bytes come in as they
// arrive, each request line is answered by one line (a notification by
// none), and the station's signals go out as notifications. The stream
// itself (stdin and stdout) is the caller's.

#include "control/json_rpc.h"

#include <QObject>

#include <functional>

class Station;

class JsonLineTransport : public QObject {
    Q_OBJECT
public:
    // Writes one line whole; false when its reader has gone.
    using Sink = std::function<bool(const QByteArray& line)>;

    JsonLineTransport(Station& station, Sink sink, QObject* parent = nullptr);

    void receive(QByteArrayView bytes);
    // The input ended: a last line without its newline is still taken.
    void inputEnded();

Q_SIGNALS:
    // The input ended, or the output has no reader any more.
    void closed();

private:
    void handle(const LineReader::Line& line);
    void send(const QByteArray& line);
    void end();

    Station& station_;
    Sink sink_;
    LineReader reader_;
    bool closed_ = false;
};
