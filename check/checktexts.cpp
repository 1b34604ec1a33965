#include "check/checktexts.h"

#include "protocol/modelcatalogue.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace CheckTexts {

namespace {

constexpr const char *kContext = "CheckTexts";

struct Phrase
{
    const char *english;
    const char *chinese;
};

// Every fixed phrase the check builds its steps from; a longer phrase wins over the
// shorter ones it contains.
const Phrase kPhrases[] = {
    // Groups
    QT_TRANSLATE_NOOP3("CheckTexts", "Identification", " 识别 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Outputs", " 输出 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Inputs", " 输入 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Analog outputs", " 模拟量输出 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Analog inputs", " 模拟量输入 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Watchdog", " 看门狗 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Network", " 网络 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Restore", " 恢复 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Link", " 链路 "),
    // Identity
    QT_TRANSLATE_NOOP3("CheckTexts", "module identification", " 模块识别 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "model", " 型号 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "identity not confirmed", " 身份未确认 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "no answer to the identification request", " 识别请求无应答 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "no answer", " 无应答 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "address", " 地址 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "type code", " 类型码 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "not in the catalogue", " 不在型号表中 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "another model than", " 型号不是 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "wrong model", " 型号错误 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "confirmed", " 已确认 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "implausible", " 不合理 "),
    // Switch channels
    QT_TRANSLATE_NOOP3("CheckTexts", "switch outputs", " 开关量输出 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "switch inputs", " 开关量输入 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "analog outputs", " 模拟量输出 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "analog inputs", " 模拟量输入 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "the model has none", " 该型号没有 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "read output states", " 读取输出状态 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "read input states", " 读取输入状态 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "a reply", " 有应答 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "short reply", " 应答过短 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "all on", " 全部闭合 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "all off", " 全部断开 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "on", " 闭合 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "off", " 断开 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "unchanged", " 不变 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "any", " 任意 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "write", " 写入 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "read back", " 回读 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "differs at", " 不一致于 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "differs", " 不一致 "),
    // Analog channels
    QT_TRANSLATE_NOOP3("CheckTexts", "values", " 值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "maxima", " 最大值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "modes", " 模式 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "read value, maximum and mode registers", " 读取值、最大值和模式寄存器 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "analog settings plausible", " 模拟量设置合理 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "maximum and mode", " 最大值和模式 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "maximum register 0: no range to write", " 最大值寄存器为0：无可写范围 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "write maximum", " 写入最大值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "write mode", " 写入模式 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "write value", " 写入值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "value", " 值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "maximum", " 最大值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "mode", " 模式 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "read input values", " 读取输入值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "channels", " 通道 "),
    // Watchdog and network
    QT_TRANSLATE_NOOP3("CheckTexts", "communication timeout block", " 通讯超时参数 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "analog models keep their output modes there", " 模拟量型号在此保存输出模式 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "timeout", " 超时 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "watchdog off", " 看门狗关闭 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "fallback", " 超时输出 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "network block", " 网络参数 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "read over TCP only", " 仅通过TCP读取 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "network settings plausible", " 网络设置合理 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "mask", " 子网掩码 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "gateway", " 网关 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "port", " 端口 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "remote IP", " 远程IP "),
    QT_TRANSLATE_NOOP3("CheckTexts", "remote port", " 远程端口 "),
    // Restore
    QT_TRANSLATE_NOOP3("CheckTexts", "output states", " 输出状态 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "registers", " 寄存器 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "not restored", " 未恢复 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "restored", " 已恢复 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "nothing to restore", " 无需恢复 "),
    // Link
    QT_TRANSLATE_NOOP3("CheckTexts", "link", " 链路 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "link lost", " 链路断开 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "lost", " 断开 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "up to the end of the check", " 直到检测结束 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "link figures", " 链路统计 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "every request answered", " 每个请求都有应答 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "requests", " 请求 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "unanswered", " 无应答 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "exceptions", " 异常 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "exception", " 异常 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "bad frames", " 坏帧 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "response last/mean/max", " 响应 最近/平均/最大 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "no reply", " 无应答 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "not sent", " 未发送 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "the link dropped the request", " 链路丢弃了请求 "),
    // Plausibility
    QT_TRANSLATE_NOOP3("CheckTexts", "values a module can hold", " 模块可能有的值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "plausible", " 合理 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is no host address", " 不是主机地址 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is the network or broadcast address of its subnet", " 是其子网的网络地址或广播地址 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is a group address", " 是组地址 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "first byte", " 首字节 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is odd", " 为奇数 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is no device address", " 不是设备地址 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "as a client or over UDP it has no remote peer", " 作为客户端或UDP时没有远程对端 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is not another host of the module's subnet", " 不是模块子网中的另一台主机 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is not a contiguous subnet mask", " 不是连续的子网掩码 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "no output range", " 无输出范围 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "is no output mode", " 不是输出模式 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "network block short", " 网络参数不完整 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "register", " 寄存器 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "holds", " 的值为 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "more than a byte", " 超过一个字节 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "working mode", " 工作模式 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "server", " 服务器 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "client", " 客户端 "),
    // Modbus exceptions
    QT_TRANSLATE_NOOP3("CheckTexts", "Illegal function", " 非法功能码 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Illegal data address", " 非法数据地址 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Illegal data value", " 非法数据值 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Slave device failure", " 从站设备故障 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Acknowledge", " 确认 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Slave device busy", " 从站设备忙 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Negative acknowledge", " 否定确认 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Memory parity error", " 存储奇偶校验错误 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Gateway path unavailable", " 网关路径不可用 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "Gateway target device failed to respond", " 网关目标设备无响应 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "the module closed the connection", " 模块关闭了连接 "),
    QT_TRANSLATE_NOOP3("CheckTexts", "no connection", " 无连接 "),
};

struct Table
{
    QRegularExpression pattern;
    QHash<QString, Phrase> phrases;
    QHash<QString, int> models; // simplified English name -> catalogue row
};

const Table &table()
{
    static const Table built = []() {
        Table t;
        QStringList sources;
        for (const Phrase &phrase : kPhrases) {
            t.phrases.insert(QString::fromUtf8(phrase.english), phrase);
            sources << QString::fromUtf8(phrase.english);
        }
        const QVector<ModelEntry> &models = ModelCatalogue::models();
        for (int row = 0; row < models.size(); ++row) {
            const QString name = QString::fromLatin1(models.at(row).english).simplified();
            t.models.insert(name, row);
            sources << name;
        }
        std::sort(sources.begin(), sources.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        for (QString &source : sources)
            source = QRegularExpression::escape(source);
        // Whole words only: "on" is not translated inside "confirmed".
        t.pattern = QRegularExpression(QStringLiteral("(?<![A-Za-z])(%1)(?![A-Za-z])")
                                           .arg(sources.join(QLatin1Char('|'))));
        return t;
    }();
    return built;
}

QString translatedPhrase(const QString &english)
{
    const Table &t = table();
    const auto model = t.models.constFind(english);
    if (model != t.models.constEnd())
        return ModelCatalogue::models().at(*model).text().simplified();
    const Phrase phrase = t.phrases.value(english);
    return QCoreApplication::translate(kContext, phrase.english, phrase.chinese);
}

} // namespace

QString translated(const QString &english)
{
    QString out;
    int from = 0;
    QRegularExpressionMatchIterator matches = table().pattern.globalMatch(english);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        out += english.midRef(from, match.capturedStart() - from);
        out += translatedPhrase(match.captured(1));
        from = match.capturedEnd();
    }
    return out + english.midRef(from);
}

CheckStep translated(const CheckStep &step)
{
    CheckStep shown = step;
    shown.group = translated(step.group);
    shown.name = translated(step.name);
    shown.expected = translated(step.expected);
    shown.read = translated(step.read);
    return shown;
}

CheckRun translated(const CheckRun &run)
{
    CheckRun shown = run;
    for (CheckStep &step : shown.steps)
        step = translated(step);
    // The menus' own spelling stays where nothing is translated.
    const QString model = translated(run.model.simplified());
    if (model != run.model.simplified())
        shown.model = model;
    shown.restoreText = translated(run.restoreText);
    shown.identity = translated(run.identity);
    return shown;
}

QString resultText(CheckStep::Result result)
{
    switch (result) {
    case CheckStep::Pass:
        return QCoreApplication::translate("CheckTexts", "pass", " 通过 ");
    case CheckStep::Fail:
        return QCoreApplication::translate("CheckTexts", "fail", " 失败 ");
    case CheckStep::NotApplicable:
        break;
    }
    return QCoreApplication::translate("CheckTexts", "n/a", " 不适用 ");
}

QString verdict(const CheckRun &run)
{
    if (run.interrupted)
        return QCoreApplication::translate("CheckTexts", "INTERRUPTED", " 已中断 ");
    if (run.cancelled)
        return QCoreApplication::translate("CheckTexts", "CANCELLED", " 已取消 ");
    return run.passed() ? QCoreApplication::translate("CheckTexts", "PASS", " 合格 ")
                        : QCoreApplication::translate("CheckTexts", "FAIL", " 不合格 ");
}

QString columnJustified(const QString &text, int columns)
{
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x2E80 && c.unicode() <= 0xFFEF ? 2 : 1;
    return text + QString(qMax(0, columns - width), QLatin1Char(' '));
}

} // namespace CheckTexts
