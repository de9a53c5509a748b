#pragma once
// The program's standard input and output as a channel to the process that
// runs it: bytes as they arrive on stdin, and whole writes to the original
// stdout. On POSIX systems, while the channel lives, whatever else the
// program prints on stdout goes to stderr, so that stdout carries the
// channel's bytes alone.

#include <QByteArray>
#include <QObject>

#include <memory>

class StdioChannel : public QObject {
    Q_OBJECT
public:
    explicit StdioChannel(QObject* parent = nullptr);
    ~StdioChannel() override;

    // Writes `bytes` whole to the original stdout, in order; what a pipe's
    // reader has not taken yet is kept and written as it can be (at the
    // end, for at most 2 s). False when the reader has gone, or has left
    // more than 16 MB unread (a closed pipe ends nothing but this channel).
    bool send(const QByteArray& bytes);

Q_SIGNALS:
    // Bytes that arrived on stdin, as they came.
    void received(const QByteArray& bytes);
    // stdin ended or can no longer be read, or stdout has no reader any
    // more.
    void closed();

private:
    struct Reader;
    struct Writer;
    std::unique_ptr<Reader> reader_;
    std::unique_ptr<Writer> writer_; // POSIX
};
