#include "check/checkreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// The three report files as the programs that consume them read them: a JUnit reader of
// CI servers, a CSV reader and an HTML parser, for a run whose texts try to break each.
class TestCheckReports : public QObject
{
    Q_OBJECT

private slots:
    void reportText_data();
    void reportText();
    void junitAsCiReadsIt_data();
    void junitAsCiReadsIt();
    void csvAsReadersReadIt();
    void htmlHasNoMarkupFromData();
    void printedLinesHoldNoControlBytes();

private:
    static CheckRun hostileRun(bool interrupted);
    // Runs a Python reader over `path`; its output is JSON.
    QJsonValue read(const char *script, const QString &path);
    QTemporaryDir m_dir;
};

namespace {

const QString kHostile = QStringLiteral("<b>&amp; \"q\" 'a', b\tc\r\nd\re\nf 继电器 \x01\x1f end</b>");

CheckStep step(const QString &group, const QString &name, CheckStep::Result result, const QString &expected,
               const QString &read)
{
    CheckStep s;
    s.group = group;
    s.name = name;
    s.result = result;
    s.expected = expected;
    s.read = read;
    s.ms = 12;
    return s;
}

// Counts from the file's attributes and from its cases, on every level, and each case.
const char *const kJunitReader = R"(
import json, sys
from junitparser import JUnitXml, Failure, Skipped, Error
xml = JUnitXml.fromfile(sys.argv[1])
def counts(node):
    return [node.tests, node.failures, node.errors, node.skipped]
out = {'top': counts(xml), 'suites': [], 'cases': []}
for suite in xml:
    kinds = [0, 0, 0, 0]
    for case in suite:
        kinds[0] += 1
        kind, message = 'pass', None
        for r in case.result:
            kind = {Failure: 'failure', Skipped: 'skipped', Error: 'error'}[type(r)]
            message = r.message
            kinds[{'failure': 1, 'error': 2, 'skipped': 3}[kind]] += 1
        out['cases'].append([case.classname, case.name, kind, message, case.system_out])
    out['suites'].append({'name': suite.name, 'said': counts(suite), 'counted': kinds,
                          'props': {p.name: p.value for p in suite.properties()}})
print(json.dumps(out))
)";

const char *const kCsvReader = R"(
import csv, json, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    print(json.dumps(list(csv.reader(f, strict=True))))
)";

// Every tag the parser met, and the text of each table row's cells.
const char *const kHtmlReader = R"(
import json, sys
from html.parser import HTMLParser
class Reader(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags, self.rows, self.cell = [], [], None
    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        if tag == 'tr': self.rows.append([])
        if tag in ('td', 'th'): self.cell = ''
    def handle_startendtag(self, tag, attrs):
        self.tags.append(tag)
    def handle_endtag(self, tag):
        if tag in ('td', 'th'):
            self.rows[-1].append(self.cell)
            self.cell = None
    def handle_data(self, data):
        if self.cell is not None: self.cell += data
r = Reader()
with open(sys.argv[1], encoding='utf-8', newline='') as f:
    r.feed(f.read())
r.close()
print(json.dumps({'tags': sorted(set(r.tags)), 'rows': r.rows}))
)";

QJsonArray strings(const QStringList &list)
{
    return QJsonArray::fromStringList(list);
}

// A text of the run as every report writes it.
QString t(const QString &text)
{
    return CheckReport::reportText(text);
}

} // namespace

CheckRun TestCheckReports::hostileRun(bool interrupted)
{
    CheckRun run;
    run.model = QStringLiteral("Switch 4-channel outputs ") + kHostile;
    run.version = QStringLiteral("1.0");
    run.started = QDateTime(QDate(2026, 12, 7), QTime(4, 5, 6), Qt::UTC);
    run.durationMs = 2345;
    run.setup.deviceAddress = 17;
    run.setup.endpoint = QStringLiteral("/dev/tty,\"<&>\"\x02 9600 8E1");
    run.identity = QStringLiteral("identity not confirmed: ") + kHostile;
    run.restoreText = QStringLiteral("restored");
    run.interrupted = interrupted;
    run.steps = { step(QStringLiteral("Outputs<"), QStringLiteral("Y1 on ") + kHostile, CheckStep::Pass,
                       QStringLiteral("0001"), QStringLiteral("0001")),
                  step(kHostile, QStringLiteral("Y2, \"on\""), CheckStep::Fail, QStringLiteral("0002 & <x>"),
                       QStringLiteral("0000\r\n") + kHostile),
                  step(QStringLiteral("Analog"), QStringLiteral("AO0\t50 %\rbare CR"), CheckStep::NotApplicable,
                       QString(), QStringLiteral("not on this model: ") + kHostile) };
    return run;
}

QJsonValue TestCheckReports::read(const char *script, const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), { QStringLiteral("-c"), QString::fromUtf8(script), path });
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        return QJsonValue();
    }
    const QJsonDocument document = QJsonDocument::fromJson(python.readAllStandardOutput());
    return document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
}

void TestCheckReports::reportText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rendered");
    const QString r(QChar::ReplacementCharacter);
    QTest::newRow("tab, CR and LF stay") << "a\tb\rc\nd" << "a\tb\rc\nd";
    QTest::newRow("NUL, SOH, ESC and US become U+FFFD") << QStringLiteral("a") + QChar(0) + "\x01\x1b\x1f"
                                                        << "a" + r + r + r + r;
    QTest::newRow("space, DEL and Chinese stay") << "a \x7f继电器" << "a \x7f继电器";
}

void TestCheckReports::reportText()
{
    QFETCH(QString, text);
    QFETCH(QString, rendered);
    QCOMPARE(CheckReport::reportText(text), rendered);
}

void TestCheckReports::junitAsCiReadsIt_data()
{
    QTest::addColumn<bool>("interrupted");
    QTest::newRow("finished, one failure") << false;
    QTest::newRow("interrupted: an error besides") << true;
}

void TestCheckReports::junitAsCiReadsIt()
{
    QFETCH(bool, interrupted);
    const CheckRun run = hostileRun(interrupted);
    const QString path = m_dir.filePath(QStringLiteral("r%1.xml").arg(interrupted));
    QVERIFY(CheckReport::save(path, CheckReport::junit(run)));
    const QJsonObject read = this->read(kJunitReader, path).toObject();
    QVERIFY(!read.isEmpty());

    const QJsonArray counts{ 3 + int(interrupted), 1, int(interrupted), 1 };
    QCOMPARE(read.value("top").toArray(), counts);
    const QJsonArray suites = read.value("suites").toArray();
    QCOMPARE(suites.size(), 1);
    const QJsonObject suite = suites.at(0).toObject();
    QCOMPARE(suite.value("said").toArray(), counts);
    QCOMPARE(suite.value("counted").toArray(), counts);
    QCOMPARE(suite.value("name").toString(), t(QStringLiteral("Module check: ") + run.model));
    const QJsonObject props = suite.value("props").toObject();
    QCOMPARE(props.value("model").toString(), t(run.model));
    QCOMPARE(props.value("endpoint").toString(), t(run.setup.endpoint));
    QCOMPARE(props.value("identity").toString(), t(run.identity));
    QCOMPARE(props.value("verdict").toString(), run.verdict());

    const QJsonArray cases = read.value("cases").toArray();
    QCOMPARE(cases.size(), 3 + int(interrupted));
    const QString na = t(run.steps.at(2).read);
    const QList<QJsonArray> expected = {
        { t(run.steps.at(0).group), t(run.steps.at(0).name), "pass", QJsonValue(), "0001" },
        { t(run.steps.at(1).group), t(run.steps.at(1).name), "failure",
          t("expected 0002 & <x>, read " + run.steps.at(1).read), QJsonValue() },
        { "Analog", "AO0\t50 %\rbare CR", "skipped", na, na } };
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(cases.at(i).toArray(), expected.at(i));
    if (interrupted)
        QCOMPARE(cases.at(3).toArray().at(3).toString(), QStringLiteral("INTERRUPTED; restore: restored"));
}

void TestCheckReports::csvAsReadersReadIt()
{
    const CheckRun run = hostileRun(true);
    const QString path = m_dir.filePath(QStringLiteral("r.csv"));
    QVERIFY(CheckReport::save(path, CheckReport::csv(run)));
    const QJsonArray rows = read(kCsvReader, path).toArray();
    QCOMPARE(rows.size(), 1 + run.steps.size());
    for (int i = 1; i < rows.size(); ++i) {
        const CheckStep &s = run.steps.at(i - 1);
        QCOMPARE(rows.at(i).toArray(), strings({ "2026-12-07T04:05:06Z", "1.0", t(run.model), "17",
                                                 t(run.setup.endpoint), "INTERRUPTED", t(s.group), t(s.name),
                                                 CheckStep::resultText(s.result), t(s.expected), t(s.read), "12",
                                                 t(run.identity) }));
        // As wide as the header above.
        QCOMPARE(rows.at(i).toArray().size(), rows.at(0).toArray().size());
    }
}

void TestCheckReports::htmlHasNoMarkupFromData()
{
    const CheckRun run = hostileRun(true);
    const QString path = m_dir.filePath(QStringLiteral("r.html"));
    QVERIFY(CheckReport::save(path, CheckReport::html(run)));
    const QJsonObject read = this->read(kHtmlReader, path).toObject();
    QVERIFY(!read.isEmpty());
    QCOMPARE(read.value("tags").toArray(), strings({ "body", "h1", "head", "html", "meta", "p", "style", "table",
                                                      "td", "th", "title", "tr" }));
    QList<QStringList> expected = { { "Model", t(run.model) }, { "Endpoint", t(run.setup.endpoint) },
                                    { "Identity", t(run.identity) }, { "Verdict", "INTERRUPTED" } };
    for (const CheckStep &s : run.steps)
        expected << QStringList{ t(s.group), t(s.name), CheckStep::resultText(s.result), t(s.expected), t(s.read), "12" };
    const QJsonArray rows = read.value("rows").toArray();
    for (const QStringList &row : expected)
        QVERIFY2(rows.contains(strings(row)), qPrintable(row.join(QLatin1Char('|'))));
}

// What the headless check prints reaches a terminal, which would act on an escape sequence.
void TestCheckReports::printedLinesHoldNoControlBytes()
{
    const CheckRun run = hostileRun(false);
    QStringList lines{ CheckReport::summaryLine(run) };
    for (const CheckStep &s : run.steps)
        lines << CheckReport::stepLine(s);
    for (const QString &line : lines) {
        for (const QChar c : line)
            QVERIFY2(c.unicode() >= 0x20 || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'),
                     qPrintable(line));
    }
}

QTEST_MAIN(TestCheckReports)
#include "tst_checkreports.moc"
