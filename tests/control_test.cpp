// The station's control: JSON-RPC lines in, answers out, through the one
// dispatch; the dispatch's commands and named errors on a real program on
// the offscreen screen; the installed D-Bus description against the
// commands' table; commands while the exit question is open.

#include "support.h"

#include "control/json_line_transport.h"
#include "control/station.h"
#include "program.h"
#include "session/pattern_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <chrono>
#include <memory>
#include <vector>

namespace {

// A program on the offscreen screen with the station over it; the record
// directory is a fresh temporary one.
struct Bench {
    explicit Bench(std::vector<int16_t> sequence = {}) : program(QGuiApplication::primaryScreen()) {
        CommandLine c;
        c.recordDir = dir.path();
        program.setSequence(std::move(sequence), QStringLiteral("1"));
        station = std::make_unique<Station>(program, c);
        program.start();
    }

    // Runs a command and waits (at most 5 s) for its answer.
    CommandOutcome call(const QString& method, const QVariantMap& params = {}) {
        std::optional<CommandOutcome> answer;
        station->call(method, params, [&answer](const CommandOutcome& o) { answer = o; });
        for (int i = 0; i < 500 && !answer; ++i) QTest::qWait(10);
        if (!answer) return CommandOutcome{CommandOutcome::Kind::Failed, {}, QStringLiteral("(no answer)"), {}};
        return *answer;
    }

    QTemporaryDir dir;
    Program program;
    std::unique_ptr<Station> station;
};

// ---------------------------------------------------------------------
// JSON-RPC lines

struct RpcCase {
    const char* line; // sent with a newline
    int code;         // 0: a result; 1: no answer at all
    const char* id;   // the answer's id as JSON
    const char* name; // data.name of a named error, else empty
};

void PrintTo(const RpcCase& r, std::ostream* os) { *os << std::string(r.line).substr(0, 70); }

class ControlJsonRpc : public ::testing::TestWithParam<RpcCase> {};

TEST_P(ControlJsonRpc, EachLineGetsItsAnswer) {
    const RpcCase& r = GetParam();
    Bench bench;
    std::vector<QJsonObject> answers;
    JsonLineTransport transport(*bench.station, [&answers](const QByteArray& line) {
        EXPECT_TRUE(line.endsWith('\n') && line.count('\n') == 1) << line.toStdString();
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains(QStringLiteral("id"))) answers.push_back(o); // notifications aside
        return true;
    });
    QByteArray line = r.line;
    if (line == "overlong") line = "{\"jsonrpc\":\"2.0\",\"id\":9,\"x\":\"" + QByteArray(kMaxRequestLineBytes, 'x') + "\"}";
    // Cut in two, as a pipe may deliver it; a probe after it shows when
    // everything before it was answered.
    const QByteArray input = line + "\n{\"jsonrpc\":\"2.0\",\"id\":\"probe\",\"method\":\"GetState\"}\n";
    transport.receive(QByteArrayView(input).first(input.size() / 2));
    transport.receive(QByteArrayView(input).sliced(input.size() / 2));
    for (int i = 0; i < 500 && (answers.empty() || answers.back().value(QStringLiteral("id")) != QStringLiteral("probe")); ++i)
        QTest::qWait(10);
    ASSERT_FALSE(answers.empty());
    ASSERT_EQ(answers.back().value(QStringLiteral("id")), QStringLiteral("probe"));
    if (r.code == 1) {
        EXPECT_EQ(answers.size(), 1u) << "a notification is not answered";
        return;
    }
    ASSERT_EQ(answers.size(), 2u);
    const QJsonObject& a = answers.front();
    EXPECT_EQ(a.value(QStringLiteral("jsonrpc")), QStringLiteral("2.0"));
    EXPECT_EQ(QJsonDocument(QJsonObject{{QStringLiteral("i"), a.value(QStringLiteral("id"))}}).toJson(QJsonDocument::Compact),
              QByteArray("{\"i\":") + r.id + "}");
    if (r.code == 0) {
        EXPECT_TRUE(a.value(QStringLiteral("result")).isObject()) << QJsonDocument(a).toJson().toStdString();
        return;
    }
    const QJsonObject error = a.value(QStringLiteral("error")).toObject();
    EXPECT_EQ(error.value(QStringLiteral("code")).toInt(), r.code) << QJsonDocument(a).toJson().toStdString();
    EXPECT_FALSE(error.value(QStringLiteral("message")).toString().isEmpty());
    EXPECT_EQ(error.value(QStringLiteral("data")).toObject().value(QStringLiteral("name")).toString(),
              QString::fromLatin1(r.name));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ControlJsonRpc,
    ::testing::Values(
        RpcCase{R"({"jsonrpc":"2.0","id":1,"method":"GetState"})", 0, "1", ""},
        RpcCase{"{\"jsonrpc\":\"2.0\",\"id\":\"crlf\",\"method\":\"ListPatterns\"}\r", 0, "\"crlf\"", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":2,"method":"ShowPattern","params":{"pattern":"classic-07"}})", 0, "2", ""},
        RpcCase{R"({"jsonrpc":"2.0","method":"GetState"})", 1, "", ""},
        RpcCase{R"({"jsonrpc":"2.0","method":"Frobnicate"})", 1, "", ""},
        RpcCase{"   ", 1, "", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":3,"method":"GetState")", kRpcParseError, "null", ""},
        RpcCase{"\xff\xfe", kRpcParseError, "null", ""},
        RpcCase{R"([{"jsonrpc":"2.0","id":4,"method":"GetState"}])", kRpcInvalidRequest, "null", ""},
        RpcCase{R"("GetState")", kRpcInvalidRequest, "null", ""},
        RpcCase{R"({"jsonrpc":"1.0","id":5,"method":"GetState"})", kRpcInvalidRequest, "5", ""},
        RpcCase{R"({"id":6,"method":"GetState"})", kRpcInvalidRequest, "6", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":{"a":1},"method":"GetState"})", kRpcInvalidRequest, "null", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":7,"method":7})", kRpcInvalidRequest, "7", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":8,"method":"GetState","params":"x"})", kRpcInvalidRequest, "8", ""},
        RpcCase{"overlong", kRpcInvalidRequest, "null", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":10,"method":"Frobnicate"})", kRpcMethodNotFound, "10", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":11,"method":"getstate"})", kRpcMethodNotFound, "11", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":12,"method":"GetState","params":[]})", kRpcInvalidParams, "12", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":13,"method":"GetState","params":{"all":true}})", kRpcInvalidParams, "13", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":14,"method":"ShowPattern"})", kRpcInvalidParams, "14", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":15,"method":"ShowPattern","params":{"pattern":7}})", kRpcInvalidParams, "15", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":16,"method":"Mark","params":{"type":"dark","x":1.5,"y":1}})",
                kRpcInvalidParams, "16", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":17,"method":"Mark","params":{"type":"dark","x":2147483648,"y":1}})",
                kRpcInvalidParams, "17", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":18,"method":"StartSession","params":{"options":"panel=P"}})",
                kRpcInvalidParams, "18", ""},
        RpcCase{R"({"jsonrpc":"2.0","id":"x","method":"ShowPattern","params":{"pattern":"99"}})", kRpcNamedError,
                "\"x\"", "BadPattern"},
        RpcCase{R"({"jsonrpc":"2.0","id":19,"method":"TakeBack"})", kRpcNamedError, "19", "NoSession"},
        RpcCase{R"({"jsonrpc":"2.0","id":null,"method":"StartSession","params":{"options":{}}})", kRpcNamedError,
                "null", "BadOption"}));

TEST(ControlLineReader, KeepsAtMostTheLimitOfALineWhateverItsLength) {
    LineReader reader;
    const QByteArray chunk(256 * 1024, 'y');
    std::vector<LineReader::Line> lines;
    for (int i = 0; i < 8; ++i) // 2 MB without a newline
        for (LineReader::Line& l : reader.feed(chunk)) lines.push_back(std::move(l));
    for (LineReader::Line& l : reader.feed("y\nnext\nlast")) lines.push_back(std::move(l));
    for (LineReader::Line& l : reader.finish()) lines.push_back(std::move(l));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].overlong);
    EXPECT_EQ(lines[1].text, QByteArray("next"));
    EXPECT_EQ(lines[2].text, QByteArray("last"));
    QByteArray exact(kMaxRequestLineBytes, 'z');
    const std::vector<LineReader::Line> fits = reader.feed(exact + '\n');
    ASSERT_EQ(fits.size(), 1u);
    EXPECT_FALSE(fits[0].overlong) << "a line of exactly the limit is read";
}

// ---------------------------------------------------------------------
// The dispatch

struct Step {
    const char* method;
    QVariantMap params;
    const char* error;   // the named error, BadArguments, UnknownMethod, or "" for done
    QVariantList values = {}; // the answer's first values, when given (an invalid one is not looked at)
};

struct DispatchCase {
    const char* name;
    std::vector<int16_t> sequence;
    std::vector<Step> steps;
};

void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name; }

QVariantMap Options(std::initializer_list<std::pair<QString, QVariant>> pairs) {
    QVariantMap map;
    for (const auto& [k, v] : pairs) map.insert(k, v);
    return map;
}
QVariantMap Pattern(const char* p) { return {{QStringLiteral("pattern"), QString::fromLatin1(p)}}; }
QVariantMap At(const char* type, int x, int y) {
    return {{QStringLiteral("type"), QString::fromLatin1(type)}, {QStringLiteral("x"), x}, {QStringLiteral("y"), y}};
}
QVariantMap Session(QVariantMap options) { return {{QStringLiteral("options"), options}}; }
const QVariantMap kPanel = Session(Options({{QStringLiteral("panel"), QStringLiteral("QM-9")}}));

class ControlDispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(ControlDispatch, AnswersEachCommandOrNamesItsError) {
    Bench bench(GetParam().sequence);
    int n = 0;
    for (const Step& s : GetParam().steps) {
        ++n;
        const CommandOutcome o = bench.call(QString::fromLatin1(s.method), s.params);
        const QString got = o.kind == CommandOutcome::Kind::Done            ? QString()
                            : o.kind == CommandOutcome::Kind::BadArguments   ? QStringLiteral("BadArguments")
                            : o.kind == CommandOutcome::Kind::UnknownMethod ? QStringLiteral("UnknownMethod")
                                                                             : o.error;
        ASSERT_EQ(got, QString::fromLatin1(s.error)) << "step " << n << " " << s.method << ": " << o.message.toStdString();
        if (o.kind != CommandOutcome::Kind::Done) {
            EXPECT_FALSE(o.message.isEmpty()) << "step " << n;
        }
        for (qsizetype i = 0; i < s.values.size(); ++i) {
            if (!s.values[i].isValid()) continue;
            EXPECT_EQ(o.values.value(i), s.values[i]) << "step " << n << " " << s.method << " value " << i;
        }
    }
}

const uint k1 = 1, k2 = 2, k7 = 7, k49 = 49, k67 = 67;

INSTANTIATE_TEST_SUITE_P(
    Commands, ControlDispatch,
    ::testing::Values(
        DispatchCase{"PatternsByNumberAndId",
                     {},
                     {{"ShowPattern", Pattern("7"), "", {k7, {}, 0u}},
                      {"ShowPattern", Pattern("classic-02"), "", {k2}},
                      {"ShowPattern", Pattern("49"), "", {k49}},
                      {"ShowPattern", Pattern("0"), "BadPattern"},
                      {"ShowPattern", Pattern("68"), "BadPattern"},
                      {"ShowPattern", Pattern("classic-68"), "BadPattern"},
                      {"ShowPattern", Pattern(""), "BadPattern"},
                      {"ShowPattern", Pattern("gamma"), "", {112u}},
                      {"ShowPattern", Pattern("Inversion-Dot-B"), "", {102u}},
                      {"ShowPattern", Pattern("101-102"), "BadPattern"},
                      {"ShowPattern", Pattern("inversion"), "BadPattern"},
                      {"GetState", {}, ""},
                      {"ShowPattern", Pattern("67"), "", {k67}},
                      {"Next", {}, "", {k1}},
                      {"Previous", {}, "", {k67}},
                      {"Frobnicate", {}, "UnknownMethod"}}},
        DispatchCase{"StepsFollowTheSequence",
                     {7, 1, 49},
                     {{"ShowPattern", Pattern("1"), "", {k1}},
                      {"Next", {}, "", {k49}},
                      {"Next", {}, "", {k7}},
                      {"Previous", {}, "", {k49}},
                      {"ShowPattern", Pattern("2"), "", {k2}}}},
        DispatchCase{"NoSessionNoMarks",
                     {},
                     {{"Mark", At("dark", 1, 1), "NoSession"},
                      {"TakeBack", {}, "NoSession"},
                      {"FinishSession", {}, "NoSession"},
                      {"Mark", {{QStringLiteral("type"), QStringLiteral("dark")}}, "BadArguments"}}},
        DispatchCase{"SessionOptionsAreChecked",
                     {},
                     {{"StartSession", Session({}), "BadOption"},
                      {"StartSession", Session(Options({{QStringLiteral("panel"), QStringLiteral("a/b")}})), "BadOption"},
                      {"StartSession", Session(Options({{QStringLiteral("panel"), 5}})), "BadOption"},
                      {"StartSession",
                       Session(Options({{QStringLiteral("panel"), QStringLiteral("P")}, {QStringLiteral("class"), QStringLiteral("V")}})),
                       "BadOption"},
                      {"StartSession",
                       Session(Options({{QStringLiteral("panel"), QStringLiteral("P")}, {QStringLiteral("colour"), QStringLiteral("red")}})),
                       "BadOption"},
                      {"GetState", {}, "", {}},
                      {"StartSession", kPanel, ""},
                      {"StartSession", kPanel, "SessionOpen"}}},
        DispatchCase{"MarksAreCheckedKeptAndTakenBack",
                     {},
                     {{"StartSession", kPanel, ""},
                      {"Mark", At("dark", 1, 1), "BadMark"}, // no pattern on the screen yet
                      {"ShowPattern", Pattern("7"), ""},
                      {"Mark", At("purple", 1, 1), "BadMark"},
                      {"Mark", At("Dark", 1, 1), "BadMark"},
                      {"Mark", At("dark", 0, 1), "BadMark"},
                      {"Mark", At("dark", 1, -5), "BadMark"},
                      {"Mark", At("dark", 100000, 1), "BadMark"},
                      {"Mark", At("dark", 10, 20), "", {k1}},
                      {"Mark", At("sub-pixel", 3, 4), "", {k2}},
                      {"TakeBack", {}, "", {k2}},
                      {"Mark", At("row", 1, 1), "", {k2}},
                      {"TakeBack", {}, "", {k2}},
                      {"TakeBack", {}, "", {k1}},
                      {"TakeBack", {}, "BadMark"},
                      {"Mark", At("bright", 5, 5), "", {k1}},
                      {"FinishSession", {}, ""},
                      {"FinishSession", {}, "NoSession"}}}));

TEST(ControlDispatch, ASessionFinishedByCommandIsWrittenAndGetStateFollowsIt) {
    Bench bench;
    ASSERT_EQ(bench.call(QStringLiteral("StartSession"), kPanel).kind, CommandOutcome::Kind::Done);
    EXPECT_EQ(bench.call(QStringLiteral("GetState")).values.value(0).toMap().value(QStringLiteral("panel")),
              QStringLiteral("QM-9"));
    QSignalSpy presented(bench.station.get(), &Station::patternPresented);
    const auto before = std::chrono::steady_clock::now().time_since_epoch();
    const CommandOutcome shown = bench.call(QStringLiteral("ShowPattern"), Pattern("7"));
    ASSERT_EQ(shown.kind, CommandOutcome::Kind::Done);
    ASSERT_EQ(presented.size(), 1) << "answered once the picture was presented";
    EXPECT_EQ(presented.at(0), shown.values);
    EXPECT_GE(shown.values.value(1).toLongLong(), std::chrono::duration_cast<std::chrono::nanoseconds>(before).count());
    QSignalSpy marked(bench.station.get(), &Station::markAdded);
    ASSERT_EQ(bench.call(QStringLiteral("Mark"), At("column", 8, 9)).kind, CommandOutcome::Kind::Done);
    ASSERT_EQ(marked.size(), 1);
    EXPECT_EQ(marked.at(0), (QVariantList{1u, QStringLiteral("column"), 8, 9}));
    const CommandOutcome done = bench.call(QStringLiteral("FinishSession"));
    ASSERT_EQ(done.kind, CommandOutcome::Kind::Done) << done.message.toStdString();
    EXPECT_EQ(done.values.value(1), QStringLiteral("none")) << "a line defect fails every class";
    EXPECT_EQ(done.values.value(2), false);
    const QString path = done.values.value(3).toString();
    EXPECT_TRUE(path.startsWith(bench.dir.path()) && QFile::exists(path)) << path.toStdString();
    const QVariantMap state = bench.call(QStringLiteral("GetState")).values.value(0).toMap();
    EXPECT_EQ(state.value(QStringLiteral("sessionOpen")), false);
    EXPECT_FALSE(state.contains(QStringLiteral("panel")));
    EXPECT_EQ(state.value(QStringLiteral("pattern")), 7u);
    EXPECT_EQ(state.value(QStringLiteral("patternId")), QStringLiteral("classic-07"));
    EXPECT_EQ(bench.call(QStringLiteral("StartSession"), Session(Options({{QStringLiteral("panel"), QStringLiteral("QM-10")}})))
                  .kind,
              CommandOutcome::Kind::Done)
        << "a new session opens after the last one is finished";
}

TEST(ControlDispatch, CommandsWaitWhileTheOperatorAnswersTheExitQuestion) {
    Bench bench;
    ASSERT_EQ(bench.call(QStringLiteral("ShowPattern"), Pattern("7")).kind, CommandOutcome::Kind::Done);
    Background& window = bench.program.background();
    std::optional<CommandOutcome> whileOpen;
    test::ModalAnswerer cancel(QMessageBox::Cancel, [&] {
        if (!whileOpen) whileOpen = bench.call(QStringLiteral("ShowPattern"), Pattern("2"));
        return true;
    });
    QTest::keyClick(&window, Qt::Key_Escape);
    ASSERT_TRUE(whileOpen);
    EXPECT_EQ(whileOpen->error, QStringLiteral("Busy"));
    EXPECT_EQ(SessionState.PatternIndex, 7) << "the refused command changed nothing";
    EXPECT_EQ(bench.call(QStringLiteral("ShowPattern"), Pattern("2")).values.value(0), 2u)
        << "once the question is answered, commands run again";
}

// ---------------------------------------------------------------------
// The installed D-Bus description

TEST(ControlDBusInterface, TheInstalledDescriptionListsTheCommandsAndSignalsOfTheTable) {
    QFile file(QStringLiteral(VANTREL_TEST_DIR "/../src/control/example.quillmere.Vantrel1.Station.xml"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QStringList described;
    QString member;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("interface")) {
            EXPECT_EQ(a.value(QLatin1String("name")), QLatin1String("example.quillmere.Vantrel1.Station"));
        }
        if (xml.name() == QLatin1String("method") || xml.name() == QLatin1String("signal")) {
            member = xml.name().toString() + QLatin1Char(' ') + a.value(QLatin1String("name")).toString();
            described << member;
        }
        if (xml.name() == QLatin1String("arg"))
            described << QStringLiteral("%1 %2 %3 %4")
                             .arg(member, a.value(QLatin1String("direction")).toString(),
                                  a.value(QLatin1String("name")).toString(), a.value(QLatin1String("type")).toString());
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    QStringList table;
    for (const auto& [kind, specs] : {std::pair{"method", StationCommands()}, std::pair{"signal", StationSignals()}})
        for (const CommandEntry& s : specs) {
            const QString m = QStringLiteral("%1 %2").arg(QLatin1String(kind), QLatin1String(s.name));
            table << m;
            const bool isSignal = qstrcmp(kind, "signal") == 0;
            for (const CommandArg& a : s.in)
                table << QStringLiteral("%1 %2 %3 %4").arg(m, isSignal ? QString() : QStringLiteral("in"),
                                                          QLatin1String(a.name), QLatin1String(DBusSignature(a.type)));
            for (const CommandArg& a : s.out)
                table << QStringLiteral("%1 out %2 %3").arg(m, QLatin1String(a.name), QLatin1String(DBusSignature(a.type)));
        }
    EXPECT_EQ(described, table);
}

} // namespace
