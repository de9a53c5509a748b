#pragma once
// JSON-RPC 2.0 lines on stdin and stdout over the station's dispatch: each
// request line is answered by one line (a notification by none), and the
// station's signals go out as notifications.

#include "control/json_rpc.h"
#include "platform/stdio_channel.h"

#include <QObject>

class Station;

class JsonLineTransport : public QObject {
    Q_OBJECT
public:
    explicit JsonLineTransport(Station& station, QObject* parent = nullptr);

Q_SIGNALS:
    // stdin ended, or stdout has no reader any more.
    void closed();

private:
    void receive(const QByteArray& bytes);
    void handle(const LineReader::Line& line);
    void send(const QByteArray& line);
    void end();

    Station& station_;
    StdioChannel channel_;
    LineReader reader_;
    bool closed_ = false;
};
