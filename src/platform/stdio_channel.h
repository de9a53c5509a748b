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

    // Writes `bytes` whole to the original stdout; false when the reader
    // has gone (a closed pipe ends nothing but this channel).
    bool send(const QByteArray& bytes);

Q_SIGNALS:
    // Bytes that arrived on stdin, as they came.
    void received(const QByteArray& bytes);
    // stdin ended, or can no longer be read.
    void closed();

private:
    struct Reader;
    std::unique_ptr<Reader> reader_;
    int out_ = -1; // the original stdout (POSIX)
};
