#include "platform/stdio_channel.h"

#include <QMetaObject>

#if defined(Q_OS_UNIX)
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#else
#include <QThread>

#include <cstdio>
#endif

#if defined(Q_OS_UNIX)

// Reads stdin when it is readable, never waiting: one read() takes what a
// pipe or terminal holds. stdin stays in blocking mode, as the process
// that shares it expects.
struct StdioChannel::Reader {
    explicit Reader(StdioChannel* channel) : notifier(STDIN_FILENO, QSocketNotifier::Read) {
        QObject::connect(&notifier, &QSocketNotifier::activated, channel, [this, channel] {
            char buffer[64 * 1024];
            ssize_t n;
            do {
                n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            } while (n < 0 && errno == EINTR);
            if (n > 0) {
                Q_EMIT channel->received(QByteArray(buffer, static_cast<qsizetype>(n)));
                return;
            }
            notifier.setEnabled(false);
            Q_EMIT channel->closed();
        });
    }
    QSocketNotifier notifier;
};

StdioChannel::StdioChannel(QObject* parent) : QObject(parent) {
    // A reader that goes away makes a write fail with EPIPE instead of
    // ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::fflush(stdout);
    out_ = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    reader_ = std::make_unique<Reader>(this);
}

StdioChannel::~StdioChannel() {
    reader_.reset();
    if (out_ >= 0) ::close(out_);
}

bool StdioChannel::send(const QByteArray& bytes) {
    if (out_ < 0) return false;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(out_, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(out_);
            out_ = -1;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

#else // not a POSIX system: a thread reads stdin line by line

struct StdioChannel::Reader {
    explicit Reader(StdioChannel* channel) {
        thread.reset(QThread::create([channel] {
            QByteArray line;
            for (int c = std::fgetc(stdin); c != EOF; c = std::fgetc(stdin)) {
                line.append(static_cast<char>(c));
                if (c != '\n') continue;
                QMetaObject::invokeMethod(channel, [channel, line] { Q_EMIT channel->received(line); },
                                          Qt::QueuedConnection);
                line.clear();
            }
            QMetaObject::invokeMethod(
                channel,
                [channel, line] {
                    if (!line.isEmpty()) Q_EMIT channel->received(line);
                    Q_EMIT channel->closed();
                },
                Qt::QueuedConnection);
        }));
        thread->start();
    }
    ~Reader() {
        // A read that waits for input cannot be interrupted: the thread is
        // left to the end of the process.
        if (thread->isRunning()) thread.release();
    }
    std::unique_ptr<QThread> thread;
};

StdioChannel::StdioChannel(QObject* parent) : QObject(parent), reader_(std::make_unique<Reader>(this)) {}

StdioChannel::~StdioChannel() = default;

bool StdioChannel::send(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
               static_cast<size_t>(bytes.size()) &&
           std::fflush(stdout) == 0;
}

#endif
