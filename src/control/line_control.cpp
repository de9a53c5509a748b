#include "control/line_control.h"

#include "control/dbus_transport.h"
#include "control/json_line_transport.h"
#include "control/station.h"
#include "defects/recording_session.h"
#include "platform/stdio_channel.h"

LineControl::LineControl(Program& program, const CommandLine& commandLine)
    : station_(std::make_unique<Station>(program, commandLine)) {}

LineControl::~LineControl() {
    // The transports first: they answer for the station.
    transport_.reset();
}

std::unique_ptr<LineControl> LineControl::Start(Program& program, const CommandLine& c, QString* error) {
    std::unique_ptr<LineControl> control(new LineControl(program, c));
    switch (c.control) {
    case CommandLine::Control::DBus: {
        auto transport = std::make_unique<DBusTransport>(*control->station_);
        if (!transport->start(error)) return nullptr;
        control->transport_ = std::move(transport);
        break;
    }
    case CommandLine::Control::Stdio: {
        // The channel first: from here on stdout carries the answers only.
        auto channel = std::make_unique<StdioChannel>();
        auto transport = std::make_unique<JsonLineTransport>(
            *control->station_, [c = channel.get()](const QByteArray& line) { return c->send(line); });
        connect(channel.get(), &StdioChannel::received, transport.get(), &JsonLineTransport::receive);
        connect(channel.get(), &StdioChannel::closed, transport.get(), &JsonLineTransport::inputEnded);
        connect(transport.get(), &JsonLineTransport::closed, control.get(), &LineControl::inputClosed);
        channel->setParent(transport.get());
        control->transport_ = std::move(transport);
        channel.release();
        break;
    }
    case CommandLine::Control::None: return nullptr;
    }
    return control;
}

void LineControl::adoptSession(std::unique_ptr<RecordingSession> session) { station_->adopt(std::move(session)); }

std::unique_ptr<RecordingSession> LineControl::takeSession() { return station_->takeSession(); }

bool LineControl::recordsComplete() const { return station_->recordsComplete(); }
