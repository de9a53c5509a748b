#include "platform/stdio_channel.h"

#include <QMetaObject>

#if defined(Q_OS_UNIX)
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QThread>

#include <cstdio>
#endif

#if defined(Q_OS_UNIX)

namespace {

// What a reader may leave unread on stdout before it counts as gone.
constexpr qsizetype kMaxUnread = 16 * 1024 * 1024;
// How long the end of the program waits for a reader to take the rest.
constexpr int kDrainMs = 2000;

} // namespace

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

// Writes to the original stdout. A pipe or socket is written without
// waiting: what its reader has not taken yet is kept and written as it
// becomes writable, so a reader that pauses never holds up the windows.
struct StdioChannel::Writer {
    Writer(StdioChannel* channel, int fd) : fd(fd), notifier(fd, QSocketNotifier::Write) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        notifier.setEnabled(false);
        QObject::connect(&notifier, &QSocketNotifier::activated, channel, [this, channel] {
            if (!flush()) Q_EMIT channel->closed();
        });
    }
    ~Writer() {
        // The rest, for a reader that is still there, within a bound.
        notifier.setEnabled(false);
        for (int waited = 0; !broken && !pending.isEmpty() && waited < kDrainMs; waited += 10) {
            if (flush() && !pending.isEmpty()) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
        ::close(fd);
    }
    // Writes what it can; false once the reader has gone, or has left too
    // much unread.
    bool flush() {
        while (!broken && !pending.isEmpty()) {
            const ssize_t n = ::write(fd, pending.constData(), static_cast<size_t>(pending.size()));
            if (n > 0) {
                pending.remove(0, n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                notifier.setEnabled(true);
                if (pending.size() > kMaxUnread) broken = true;
                return !broken;
            } else {
                broken = true;
            }
        }
        notifier.setEnabled(false);
        return !broken;
    }

    int fd;
    QSocketNotifier notifier;
    QByteArray pending;
    bool broken = false;
};

StdioChannel::StdioChannel(QObject* parent) : QObject(parent) {
    // A reader that goes away makes a write fail with EPIPE instead of
    // ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::fflush(stdout);
    const int out = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    if (out >= 0) writer_ = std::make_unique<Writer>(this, out);
    reader_ = std::make_unique<Reader>(this);
}

StdioChannel::~StdioChannel() = default;

bool StdioChannel::send(const QByteArray& bytes) {
    if (!writer_ || writer_->broken) return false;
    writer_->pending.append(bytes);
    return writer_->flush();
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

struct StdioChannel::Writer {};

StdioChannel::StdioChannel(QObject* parent) : QObject(parent), reader_(std::make_unique<Reader>(this)) {}

StdioChannel::~StdioChannel() = default;

bool StdioChannel::send(const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) ==
               static_cast<size_t>(bytes.size()) &&
           std::fflush(stdout) == 0;
}

#endif
