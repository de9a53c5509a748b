// Files that are whole or absent, journals cut back after a failed append,
// and text from outside made safe to print. A full disk is simulated by a
// file-size limit (RLIMIT_FSIZE), under which a write past the limit fails
// with EFBIG as a write on a full disk fails with ENOSPC.

#include "platform/durable_file.h"
#include "platform/printable_text.h"

#include "support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

TEST(DurableFile, AFileIsReplacedWholeOrLeftAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.json"));
    QString error;
    ASSERT_TRUE(WriteFileDurably(path, "first", &error)) << error.toStdString();
    ASSERT_TRUE(WriteFileDurably(path, "second", &error)) << error.toStdString();
    EXPECT_EQ(Read(path), "second");
    {
        const test::FileSizeLimit limit(4);
        EXPECT_FALSE(WriteFileDurably(path, "third, longer than the limit", &error));
    }
    EXPECT_EQ(error, SystemErrorText(EFBIG));
    EXPECT_EQ(Read(path), "second");
    // Nothing half-written is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("record.json")});

    EXPECT_FALSE(WriteFileDurably(dir.filePath(QStringLiteral("no/such/dir/x")), "x", &error));
    EXPECT_EQ(error, SystemErrorText(ENOENT));
    EXPECT_FALSE(WriteFileDurably(dir.filePath(QString(300, QLatin1Char('n'))), "x", &error));
    EXPECT_EQ(error, SystemErrorText(ENAMETOOLONG));
}

TEST(DurableFile, AFailedAppendIsCutBackAndTheNextOneFollowsTheLastWholeLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.journal"));
    AppendOnlyFile journal;
    QString error;
    ASSERT_TRUE(journal.open(path, &error)) << error.toStdString();
    ASSERT_TRUE(journal.append("line 1\n", &error));
    {
        const test::FileSizeLimit limit(10);
        EXPECT_FALSE(journal.append("line 2 is cut by the limit\n", &error));
        EXPECT_EQ(error, SystemErrorText(EFBIG));
    }
    EXPECT_EQ(journal.size(), 7);
    EXPECT_EQ(Read(path), "line 1\n");
    ASSERT_TRUE(journal.append("line 3\n", &error));
    {
        // Written without a sync, and cut back alike.
        const test::FileSizeLimit limit(16);
        EXPECT_FALSE(journal.append("line x is cut\n", &error, AppendOnlyFile::Durability::Written));
    }
    EXPECT_EQ(journal.size(), 14);
    journal.close();
    // Reopened, it appends after what is there.
    ASSERT_TRUE(journal.open(path, &error));
    EXPECT_EQ(journal.size(), 14);
    ASSERT_TRUE(journal.append("line 4\n", &error));
    EXPECT_EQ(Read(path), "line 1\nline 3\nline 4\n");
    EXPECT_TRUE(RemoveDurably(path, &error));
    EXPECT_TRUE(RemoveDurably(path, &error)) << "a file already gone counts as removed";
}

TEST(PrintableText, EscapesWhatCouldMoveTheCursorOrForgeALine) {
    const struct {
        QString in;
        const char* out;
    } cases[] = {
        {QStringLiteral("QM27-0412"), "QM27-0412"},
        {QStringLiteral("A. Lind, Größe 27\""), "A. Lind, Größe 27\""},
        {QStringLiteral("x\x1b[2K\rQM: PASS"), "x\\x1b[2K\\rQM: PASS"},
        {QStringLiteral("a\nb\tc\x7f"), "a\\nb\\tc\\x7f"},
        {QString(QChar(0x9b)) + QStringLiteral("31m"), "\\x9b31m"},
        {QStringLiteral("abc") + QChar(0x202e) + QStringLiteral("LIAF") + QChar(0x2028), "abc\\u202eLIAF\\u2028"},
        {QString(QChar(0)), "\\x00"},
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableText(c.in).toStdString(), c.out);
}

} // namespace
