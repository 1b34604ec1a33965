#include "check/checkreport.h"

#include "check/checktexts.h"
#include "protocol/csv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QXmlStreamWriter>

namespace CheckReport {

namespace {

QString address(const CheckRun &run)
{
    return QString::number(run.setup.deviceAddress);
}

QString timeText(const CheckRun &run)
{
    return run.started.toString(Qt::ISODate);
}

QString csvField(const QString &raw)
{
    return Csv::field(reportText(raw));
}

QString msText(qint64 ms)
{
    return ms < 0 ? QString() : QString::number(ms);
}

// XML text normalises a bare CR to LF on reading; a character reference keeps it.
void writeText(QXmlStreamWriter &xml, const QString &raw)
{
    const QStringList parts = reportText(raw).split(QLatin1Char('\r'));
    for (int i = 0; i < parts.size(); ++i) {
        if (i > 0)
            xml.writeEntityReference(QStringLiteral("#13"));
        xml.writeCharacters(parts.at(i));
    }
}

void writeAttribute(QXmlStreamWriter &xml, const QString &name, const QString &value)
{
    xml.writeAttribute(name, reportText(value));
}

} // namespace

QString reportText(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const ushort u = c.unicode();
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r')
            c = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

QString stepLine(const CheckStep &step)
{
    QString line = QStringLiteral("%1 %2 / %3")
                       .arg(CheckTexts::columnJustified(CheckTexts::resultText(step.result).toUpper(), 4))
                       .arg(step.group, step.name);
    if (!step.expected.isEmpty())
        line += QCoreApplication::translate("CheckReport", ": expected %1, read %2", " ：期望 %1，读取 %2 ")
                    .arg(step.expected, step.read);
    else if (!step.read.isEmpty())
        line += QStringLiteral(": ") + step.read;
    if (step.ms >= 0)
        line += QStringLiteral(" (%1 ms)").arg(step.ms);
    // A terminal would act on an escape sequence in a name.
    return reportText(line);
}

QString summaryLine(const CheckRun &run)
{
    return reportText(QCoreApplication::translate("CheckReport",
                                       "%1: %2 passed, %3 failed, %4 not applicable; %5 in %6 ms; restore: %7; identity: %8",
                                       " %1：%2 项通过，%3 项失败，%4 项不适用；%5 用时 %6 ms；恢复：%7；身份：%8 ")
        .arg(CheckTexts::verdict(run))
        .arg(run.count(CheckStep::Pass))
        .arg(run.count(CheckStep::Fail))
        .arg(run.count(CheckStep::NotApplicable))
        .arg(run.model)
        .arg(run.durationMs)
        .arg(run.restoreText)
        .arg(run.identity));
}

QString html(const CheckRun &run)
{
    auto e = [](const QString &text) { return reportText(text).toHtmlEscaped(); };
    QString out;
    out += QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"/>\n<title>Module check: %1</title>\n")
               .arg(e(run.model));
    out += QStringLiteral(
        "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
        "td,th{border:1px solid #999;padding:3px 8px;text-align:left;vertical-align:top}"
        "tr.fail{background:#fcc}tr.pass{background:#dfd}tr.na{background:#eee}"
        ".verdict{font-size:150%;font-weight:bold}</style>\n</head><body>\n");
    // Read by people: headings and results in the report's language; the verdict mark
    // and the row classes stay as they are for whatever reads the file.
    out += QStringLiteral("<h1>%1</h1>\n<table class=\"head\">\n")
               .arg(e(QCoreApplication::translate("CheckReport", "Module check", " 模块检测 ")));
    const QList<QPair<QString, QString>> head = {
        {QCoreApplication::translate("CheckReport", "Date", " 日期 "), timeText(run)},
        {QCoreApplication::translate("CheckReport", "Tool version", " 工具版本 "), run.version},
        {QCoreApplication::translate("CheckReport", "Model", " 型号 "), run.model},
        {QCoreApplication::translate("CheckReport", "Device address", " 设备地址 "), address(run)},
        {QCoreApplication::translate("CheckReport", "Endpoint", " 连接地址 "), run.setup.endpoint},
        {QCoreApplication::translate("CheckReport", "Duration", " 用时 "),
         QStringLiteral("%1 ms").arg(run.durationMs)},
        {QCoreApplication::translate("CheckReport", "Restore", " 恢复 "), run.restoreText},
        {QCoreApplication::translate("CheckReport", "Identity", " 身份 "), run.identity},
        {QCoreApplication::translate("CheckReport", "Verdict", " 结论 "), run.verdict()}};
    for (const auto &row : head)
        out += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n").arg(e(row.first), e(row.second));
    out += QStringLiteral("</table>\n<p class=\"verdict\" id=\"verdict\">%1</p>\n").arg(run.verdict());
    out += QStringLiteral("<table class=\"steps\">\n<tr><th>%1</th><th>%2</th><th>%3</th>"
                          "<th>%4</th><th>%5</th><th>ms</th></tr>\n")
               .arg(e(QCoreApplication::translate("CheckReport", "Group", " 组 ")),
                    e(QCoreApplication::translate("CheckReport", "Step", " 步骤 ")),
                    e(QCoreApplication::translate("CheckReport", "Result", " 结果 ")),
                    e(QCoreApplication::translate("CheckReport", "Expected", " 期望 ")),
                    e(QCoreApplication::translate("CheckReport", "Read", " 读取 ")));
    for (const CheckStep &step : run.steps) {
        const QString result = CheckStep::resultText(step.result);
        out += QStringLiteral("<tr class=\"%1\"><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td><td>%7</td></tr>\n")
                   .arg(step.result == CheckStep::NotApplicable ? QStringLiteral("na") : result,
                        e(step.group), e(step.name), e(CheckTexts::resultText(step.result)), e(step.expected),
                        e(step.read), msText(step.ms));
    }
    out += QStringLiteral("</table>\n</body></html>\n");
    return out;
}

QString csv(const CheckRun &run)
{
    QString out = QStringLiteral("date,version,model,address,endpoint,verdict,group,step,result,expected,read,ms,identity\n");
    const QString prefix = QStringList{timeText(run), csvField(run.version), csvField(run.model), address(run),
                                       csvField(run.setup.endpoint), run.verdict()}
                               .join(QLatin1Char(','));
    for (const CheckStep &step : run.steps) {
        out += prefix + QLatin1Char(',')
            + QStringList{csvField(step.group), csvField(step.name), CheckStep::resultText(step.result),
                          csvField(step.expected), csvField(step.read), msText(step.ms),
                          csvField(run.identity)}
                  .join(QLatin1Char(','))
            + QLatin1Char('\n');
    }
    return out;
}

QString junit(const CheckRun &run)
{
    QString out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    // A run that did not finish is an error to a CI server, never a green build.
    const bool unfinished = run.interrupted || run.cancelled;
    auto counts = [&]() {
        xml.writeAttribute(QStringLiteral("tests"), QString::number(run.steps.size() + (unfinished ? 1 : 0)));
        xml.writeAttribute(QStringLiteral("failures"), QString::number(run.count(CheckStep::Fail)));
        xml.writeAttribute(QStringLiteral("errors"), QString::number(unfinished ? 1 : 0));
        xml.writeAttribute(QStringLiteral("skipped"), QString::number(run.count(CheckStep::NotApplicable)));
    };
    xml.writeStartElement(QStringLiteral("testsuites"));
    counts();
    xml.writeStartElement(QStringLiteral("testsuite"));
    writeAttribute(xml, QStringLiteral("name"), QStringLiteral("Module check: ") + run.model);
    counts();
    xml.writeAttribute(QStringLiteral("timestamp"), timeText(run));
    xml.writeAttribute(QStringLiteral("time"), QString::number(run.durationMs / 1000.0, 'f', 3));
    xml.writeStartElement(QStringLiteral("properties"));
    const QList<QPair<QString, QString>> properties = {
        {QStringLiteral("version"), run.version},       {QStringLiteral("model"), run.model},
        {QStringLiteral("address"), address(run)},      {QStringLiteral("endpoint"), run.setup.endpoint},
        {QStringLiteral("restore"), run.restoreText},   {QStringLiteral("identity"), run.identity},
        {QStringLiteral("verdict"), run.verdict()}};
    for (const auto &p : properties) {
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), p.first);
        writeAttribute(xml, QStringLiteral("value"), p.second);
    }
    xml.writeEndElement();
    for (const CheckStep &step : run.steps) {
        xml.writeStartElement(QStringLiteral("testcase"));
        writeAttribute(xml, QStringLiteral("classname"), step.group);
        writeAttribute(xml, QStringLiteral("name"), step.name);
        xml.writeAttribute(QStringLiteral("time"), QString::number(qMax<qint64>(step.ms, 0) / 1000.0, 'f', 3));
        if (step.result == CheckStep::Fail) {
            xml.writeStartElement(QStringLiteral("failure"));
            writeAttribute(xml, QStringLiteral("message"),
                           QStringLiteral("expected %1, read %2").arg(step.expected, step.read));
            xml.writeEndElement();
        } else if (step.result == CheckStep::NotApplicable) {
            xml.writeEmptyElement(QStringLiteral("skipped"));
            writeAttribute(xml, QStringLiteral("message"), step.read);
        }
        if (step.result != CheckStep::Fail && !step.read.isEmpty()) {
            xml.writeStartElement(QStringLiteral("system-out"));
            writeText(xml, step.read);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    if (unfinished) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), QStringLiteral("Run"));
        xml.writeAttribute(QStringLiteral("name"), QStringLiteral("check finished"));
        xml.writeStartElement(QStringLiteral("error"));
        writeAttribute(xml, QStringLiteral("message"),
                       QStringLiteral("%1; restore: %2").arg(run.verdict(), run.restoreText));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QString suggestedFileName(const CheckRun &run, const QString &suffix)
{
    QString model = run.model.simplified();
    model.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9-]+")), QStringLiteral("_"));
    return QStringLiteral("check-%1-%2.%3")
        .arg(model, run.started.toString(QStringLiteral("yyyyMMdd-HHmmss")), suffix);
}

QString serialEndpoint(const QString &port, int baudRate, int dataBits, QChar parity, int stopBits)
{
    return QStringLiteral("%1 %2 %3%4%5").arg(port).arg(baudRate).arg(dataBits).arg(parity).arg(stopBits);
}

QString pathProblem(const QString &path)
{
    const QFileInfo file(path);
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')) || file.isDir())
        return QStringLiteral("is a folder, not a file");
    const QFileInfo folder(file.absolutePath());
    if (folder.exists() && !folder.isDir())
        return QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isDir())
        return QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder.filePath()));
    // The file is written beside itself first and then renamed over the old one.
    if (!folder.isWritable())
        return QStringLiteral("the folder %1 is not writable").arg(QDir::toNativeSeparators(folder.filePath()));
    if (file.exists() && !file.isWritable())
        return QStringLiteral("the file is not writable");
    return QString();
}

bool save(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace CheckReport
