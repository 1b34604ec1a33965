#include "check/modulecheck.h"

#include "check/modulefinder.h"
#include "check/plausibility.h"
#include "protocol/analogconversion.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "protocol/registermap.h"
#include "protocol/replydecoder.h"

#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {

// The queue reports every request's end; this only catches a link that was torn down
// under the check and took its queue with it.
constexpr int kGuardMs = 15000;
// That many requests in a row unanswered: the module is gone, the check stops.
constexpr int kTimeoutsToGiveUp = 3;
constexpr int kPercents[] = {0, 50, 100};

const QString kIdentification = QStringLiteral("Identification");
const QString kOutputs = QStringLiteral("Outputs");
const QString kInputs = QStringLiteral("Inputs");
const QString kAnalogOutputs = QStringLiteral("Analog outputs");
const QString kAnalogInputs = QStringLiteral("Analog inputs");
const QString kWatchdog = QStringLiteral("Watchdog");
const QString kNetwork = QStringLiteral("Network");
const QString kRestore = QStringLiteral("Restore");
const QString kLink = QStringLiteral("Link");

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

// The first `count` registers of a read reply (address, 03, byte count, data).
bool registersOf(const QString &reply, int count, QVector<quint16> *out)
{
    out->clear();
    bool ok = false;
    const int bytes = reply.midRef(4, 2).toInt(&ok, 16);
    if (!ok || bytes < 2 * count || reply.size() < 6 + 4 * count)
        return false;
    for (int i = 0; i < count; ++i) {
        out->append(quint16(reply.midRef(6 + 4 * i, 4).toUInt(&ok, 16)));
        if (!ok)
            return false;
    }
    return true;
}

bool bitOf(const QVector<quint16> &registers, int channel)
{
    const int word = channel / 16;
    return word < registers.size() && (registers.at(word) >> (channel % 16)) & 1;
}

QString failureText(const QString &failure)
{
    if (failure.startsWith(QLatin1String("exception "))) {
        const int code = failure.midRef(10).toInt(nullptr, 16);
        return QStringLiteral("exception %1 (%2)").arg(failure.mid(10), ModbusRequest::exceptionMeaning(code));
    }
    return QStringLiteral("no reply (%1)").arg(failure);
}

// "Y1-Y4 unchanged, Y5 on" from one state word per channel.
QString runs(const QString &prefix, const QStringList &states)
{
    QStringList parts;
    for (int i = 0; i < states.size();) {
        int j = i;
        while (j + 1 < states.size() && states.at(j + 1) == states.at(i))
            ++j;
        const QString channels = i == j ? QStringLiteral("%1%2").arg(prefix).arg(i + 1)
                                        : QStringLiteral("%1%2-%1%3").arg(prefix).arg(i + 1).arg(j + 1);
        parts << channels + QLatin1Char(' ') + states.at(i);
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

QString analogText(quint16 value, quint16 maximum, quint16 mode)
{
    const int index = AnalogConversion::modeIndexForWord(mode);
    QString text = QStringLiteral("value 0x%1").arg(hex4(value));
    if (index >= 0 && maximum != 0) {
        const AnalogConversion::OutputMode &m = AnalogConversion::modes().at(index);
        text += QStringLiteral(" (%1 %2)")
                    .arg(AnalogConversion::physicalValue(m, value, maximum), 0, 'f', 3)
                    .arg(QLatin1String(m.unit));
    }
    text += QStringLiteral(", maximum 0x%1, mode 0x%2").arg(hex4(maximum), hex4(mode));
    if (index >= 0)
        text += QLatin1Char(' ') + QLatin1String(AnalogConversion::modes().at(index).text);
    return text;
}

} // namespace

QString CheckStep::resultText(Result result)
{
    switch (result) {
    case Pass:
        return QStringLiteral("pass");
    case Fail:
        return QStringLiteral("fail");
    case NotApplicable:
        break;
    }
    return QStringLiteral("n/a");
}

int CheckRun::count(CheckStep::Result result) const
{
    int n = 0;
    for (const CheckStep &step : steps)
        n += step.result == result ? 1 : 0;
    return n;
}

QString CheckRun::verdict() const
{
    if (interrupted)
        return QStringLiteral("INTERRUPTED");
    if (cancelled)
        return QStringLiteral("CANCELLED");
    return passed() ? QStringLiteral("PASS") : QStringLiteral("FAIL");
}

ModuleCheck::ModuleCheck(QObject *parent)
    : QObject(parent)
    , guard(new QTimer(this))
{
    qRegisterMetaType<CheckStep>();
    qRegisterMetaType<CheckRun>();
    guard->setSingleShot(true);
    connect(guard, &QTimer::timeout, this,
            [this]() { complete(QString(), QStringLiteral("the link dropped the request")); });
    identityWait = new QTimer(this);
    identityWait->setSingleShot(true);
    identityWait->setTimerType(Qt::PreciseTimer);
    connect(identityWait, &QTimer::timeout, this, [this]() {
        // No answer on a serial line: quiet until a slave that cuts frames by length has
        // given up on the request, and a late answer still counts.
        if (!run.setup.network && !identitySettling) {
            identitySettling = true;
            identityWait->start(ModuleFinder::kSettleMs);
            return;
        }
        identified(-1, -1);
    });
}

CheckStep ModuleCheck::identityStep(const CheckSetup &setup, int address, int typeCode, QString *mark)
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    const QString chosen = setup.modelIndex >= 0 && setup.modelIndex < models.size()
        ? QString::fromLatin1(models.at(setup.modelIndex).english).simplified()
        : QString();
    CheckStep step;
    step.group = kIdentification;
    step.name = QStringLiteral("module identification");
    step.expected = QStringLiteral("model %1").arg(chosen);
    const QString notConfirmed = QStringLiteral("identity not confirmed");
    const CheckStep::Result unconfirmed = setup.requireIdentity ? CheckStep::Fail : CheckStep::NotApplicable;
    if (typeCode < 0) {
        *mark = notConfirmed + QStringLiteral(": no answer");
        step.read = QStringLiteral("no answer to the identification request: ") + notConfirmed;
        step.result = unconfirmed;
        return step;
    }
    const int named = ModelCatalogue::indexForTypeCode(typeCode);
    const QStringList addressProblems = Plausibility::addressProblems(address);
    step.read = QStringLiteral("address %1, type code %2").arg(address).arg(typeCode);
    if (named < 0) {
        *mark = notConfirmed + QStringLiteral(": type code %1 (not in the catalogue)").arg(typeCode);
        step.read += QStringLiteral(" (not in the catalogue): ") + notConfirmed;
        step.result = unconfirmed;
    } else if (named != setup.modelIndex) {
        const QString other = QString::fromLatin1(models.at(named).english).simplified();
        *mark = QStringLiteral("wrong model: type code %1 is %2, not %3").arg(typeCode).arg(other, chosen);
        step.read += QStringLiteral(" (%1): another model than %2").arg(other, chosen);
        step.result = CheckStep::Fail;
    } else {
        *mark = QStringLiteral("confirmed: type code %1 (%2)").arg(typeCode).arg(chosen);
        step.read += QStringLiteral(" (%1)").arg(chosen);
        step.result = CheckStep::Pass;
    }
    if (!addressProblems.isEmpty()) {
        step.read += QStringLiteral("; implausible: ") + addressProblems.join(QStringLiteral("; "));
        step.result = CheckStep::Fail;
    }
    return step;
}

void ModuleCheck::start(const CheckSetup &setup)
{
    if (active)
        return;
    run = CheckRun();
    run.setup = setup;
    run.version = QStringLiteral(MEROVI_VERSION);
    run.started = QDateTime::currentDateTime();
    clock.start();
    startHealth = latestHealth;
    active = true;
    cancelRequested = aborted = restoring = false;
    sequence = doneExchanges = consecutiveTimeouts = 0;
    retryAfterIdentity = false;
    plan.clear();
    pendingKind.clear();
    outputsRead = outputsTouched = analogRead = false;
    originalOutputs.clear();
    outputs = inputs = analogOutputs = analogInputs = -1;
    analogUnit.clear();

    const QVector<ModelEntry> &models = ModelCatalogue::models();
    if (setup.modelIndex >= 0 && setup.modelIndex < models.size()) {
        const ModelEntry &model = models.at(setup.modelIndex);
        run.model = QLatin1String(model.english);
        outputs = model.outputCount;
        inputs = model.inputCount;
        analogOutputs = qMax(model.voltageOutputCount, model.currentOutputCount);
        analogInputs = qMax(model.voltageInputCount, model.currentInputCount);
        analogUnit = model.voltageInputCount > 0 ? QStringLiteral("V") : QStringLiteral("mA");
    }
    analogTouched = QVector<bool>(qMax(analogOutputs, 0), false);
    analogWritten = QVector<bool>(qMax(analogOutputs, 0), false);
    readBackOffsets = QVector<QList<int>>(qMax(analogOutputs, 0));

    if (setup.identifiedType >= 0)
        judgeIdentity(setup.identifiedAddress, setup.identifiedType);
    else
        then([this]() { askIdentity(); });

    planOutputs();
    planInputs();
    planAnalogOutputs();
    planAnalogInputs();
    planBlocks();
    planned = doneExchanges + 1 + (setup.identifiedType >= 0 ? 0 : 1) + (outputs > 0 ? 1 + 2 * outputs + 4 + 2 : 0) + (inputs > 0 ? 1 : 0)
        + (analogOutputs > 0 ? 3 + 2 * analogOutputs + 3 * (analogOutputs + 3) + 3 * analogOutputs + 3 : 0) + (analogInputs > 0 ? 1 : 0)
        + (setup.network ? 1 : 0);
    QTimer::singleShot(0, this, &ModuleCheck::next);
}

// Nothing else is on the wire: the answer, or the time the wire allows for it, ends the wait.
void ModuleCheck::askIdentity()
{
    pendingKind = kIdentification;
    identitySettling = false;
    pendingSince.start();
    emit progress(doneExchanges, qMax(planned, doneExchanges + 1), QStringLiteral("identification"));
    emit identificationRequested();
    identityWait->start(ModuleFinder::identifyWaitMs(run.setup.network ? 0 : run.setup.baudRate));
}

void ModuleCheck::identified(int address, int typeCode)
{
    if (pendingKind != kIdentification)
        return;
    identityWait->stop();
    pendingKind.clear();
    ++doneExchanges;
    retryAfterIdentity = typeCode < 0;
    judgeIdentity(address, typeCode);
    next();
}

void ModuleCheck::judgeIdentity(int address, int typeCode)
{
    CheckStep step = identityStep(run.setup, address, typeCode, &run.identity);
    run.identifiedType = typeCode;
    addStep(step.group, step.name, step.result, step.expected, step.read, step.ms);
}

void ModuleCheck::problemsStep(const QString &group, const QString &name, const QStringList &problems)
{
    addStep(group, name, problems.isEmpty() ? CheckStep::Pass : CheckStep::Fail,
            QStringLiteral("values a module can hold"),
            problems.isEmpty() ? QStringLiteral("plausible") : problems.join(QStringLiteral("; ")));
}

void ModuleCheck::interrupt()
{
    if (!active)
        return;
    run.interrupted = true;
    cancel();
}

void ModuleCheck::cancel()
{
    if (active && !restoring)
        cancelRequested = true;
}

void ModuleCheck::replyReceived(const QString &kind, const QString &reply)
{
    if (!pendingKind.isEmpty() && kind == pendingKind)
        complete(reply, QString());
}

void ModuleCheck::requestFailed(const QString &kind, const QString &reason)
{
    if (pendingKind.isEmpty() || kind != pendingKind)
        return;
    // The queue gives up a request on the wire, or refuses one, only when no link is up:
    // the link is lost, whichever of the two reports reaches the check first.
    if (reason == QLatin1String("link lost") || reason == QLatin1String("not sent")) {
        linkLost(reason == QLatin1String("not sent") ? QStringLiteral("no connection") : reason);
        return;
    }
    complete(QString(), reason.isEmpty() ? QStringLiteral("failed") : reason);
}

void ModuleCheck::request(const QString &label, const QString &frame, const Done &done)
{
    pendingKind = QLatin1String(kKindPrefix) + QString::number(++sequence) + QLatin1Char(' ') + label;
    pendingDone = done;
    pendingFrame = frame;
    pendingSince.start();
    guard->start(kGuardMs);
    emit progress(doneExchanges, qMax(planned, doneExchanges + 1), label);
    emit write(new Sender(pendingKind, frame));
}

void ModuleCheck::then(const std::function<void()> &item)
{
    plan.append(item);
}

void ModuleCheck::complete(const QString &reply, const QString &failure)
{
    guard->stop();
    // A server that does not know the identification request may lose the request after
    // it; that one is asked again before anything is judged.
    if (retryAfterIdentity && failure == QLatin1String("timeout")) {
        retryAfterIdentity = false;
        pendingSince.start();
        guard->start(kGuardMs);
        emit write(new Sender(pendingKind, pendingFrame));
        return;
    }
    retryAfterIdentity = false;
    const Done done = pendingDone;
    const qint64 ms = pendingSince.elapsed();
    pendingKind.clear();
    pendingDone = nullptr;
    ++doneExchanges;
    ++run.health.sent;
    if (failure.isEmpty()) {
        run.health.recordReply(ms, QDateTime::currentMSecsSinceEpoch());
        consecutiveTimeouts = 0;
    } else if (failure.startsWith(QLatin1String("exception"))) {
        ++run.health.exceptions;
        consecutiveTimeouts = 0;
    } else {
        // Unanswered, whatever the reason: silence, no link, a link lost on the way.
        ++run.health.timeouts;
        ++consecutiveTimeouts;
    }
    if (done)
        done(reply, failure, failure.isEmpty() ? ms : -1);
    if (consecutiveTimeouts >= kTimeoutsToGiveUp && !restoring && !aborted) {
        aborted = true;
        addStep(kLink, QStringLiteral("module answers"), CheckStep::Fail,
                QStringLiteral("replies"),
                QStringLiteral("%1 requests in a row unanswered: check stopped").arg(consecutiveTimeouts));
    }
    if (pendingKind.isEmpty())
        next();
}

void ModuleCheck::next()
{
    while (active && pendingKind.isEmpty()) {
        if ((cancelRequested || aborted) && !restoring) {
            run.cancelled = cancelRequested;
            plan.clear();
            restoring = true;
            planRestore();
        }
        if (plan.isEmpty()) {
            if (restoring) {
                finish();
                return;
            }
            restoring = true;
            planRestore();
            continue;
        }
        const std::function<void()> item = plan.takeFirst();
        item();
    }
}

void ModuleCheck::addStep(const QString &group, const QString &name, CheckStep::Result result,
                          const QString &expected, const QString &read, qint64 ms)
{
    CheckStep step;
    step.group = group;
    step.name = name;
    step.result = result;
    step.expected = expected;
    step.read = read;
    step.ms = ms;
    run.steps.append(step);
    emit stepDone(step);
}

// Recorded in its turn, so the report keeps the order of the groups.
void ModuleCheck::notApplicable(const QString &group, const QString &name, const QString &why)
{
    then([this, group, name, why]() { addStep(group, name, CheckStep::NotApplicable, QString(), why); });
}

QVector<quint16> ModuleCheck::outputMask() const
{
    QVector<quint16> mask(ModbusRequest::registerCount(outputs), 0);
    for (int channel = 0; channel < outputs; ++channel)
        mask[channel / 16] |= quint16(1u << (channel % 16));
    return mask;
}

QString ModuleCheck::outputText(const QVector<quint16> &registers) const
{
    QStringList words;
    QStringList on;
    for (quint16 word : registers)
        words << hex4(word);
    for (int channel = 0; channel < outputs; ++channel) {
        if (bitOf(registers, channel))
            on << QStringLiteral("Y%1").arg(channel + 1);
    }
    const QString states = on.isEmpty() ? QStringLiteral("all off")
        : on.size() == outputs          ? QStringLiteral("all on")
                                        : QStringLiteral("on: ") + on.join(QLatin1Char(' '));
    return words.join(QLatin1Char(' ')) + QStringLiteral(" (") + states + QLatin1Char(')');
}

void ModuleCheck::planOutputs()
{
    if (outputs <= 0) {
        notApplicable(kOutputs, QStringLiteral("switch outputs"), QStringLiteral("the model has none"));
        return;
    }
    then([this]() {
        request(QStringLiteral("read outputs"), ModbusRequest::checkStatus(outputs),
                [this](const QString &reply, const QString &failure, qint64 ms) {
                    outputsRead = failure.isEmpty()
                        && registersOf(reply, ModbusRequest::registerCount(outputs), &originalOutputs);
                    addStep(kOutputs, QStringLiteral("read output states"),
                            outputsRead ? CheckStep::Pass : CheckStep::Fail,
                            QStringLiteral("a reply"),
                            outputsRead ? outputText(originalOutputs)
                                        : failure.isEmpty() ? QStringLiteral("short reply %1").arg(reply)
                                                            : failureText(failure),
                            ms);
                });
    });
    // One output on at a time; each read-back proves every channel, so the next pattern
    // proves this one off again (the last one by "all off").
    const int registers = ModbusRequest::registerCount(outputs);
    for (int channel = 0; channel < outputs; ++channel) {
        then([this, channel, registers]() {
            QVector<quint16> expected(registers, 0);
            expected[channel / 16] = quint16(1u << (channel % 16));
            outputStep(QStringLiteral("Y%1 on").arg(channel + 1), expected, true);
        });
    }
    then([this]() { outputStep(QStringLiteral("all on"), outputMask(), true); });
    then([this, registers]() {
        outputStep(QStringLiteral("all off"), QVector<quint16>(registers, 0), false);
    });
}

// Writes the output registers and reads them back; only the channels the model has count.
void ModuleCheck::outputStep(const QString &name, const QVector<quint16> &expected, bool on)
{
    if (!outputsRead)
        return;
    outputsTouched = true;
    QString frame;
    int single = -1;
    for (int channel = 0; channel < outputs && on; ++channel) {
        if (bitOf(expected, channel)) {
            if (single >= 0) {
                single = -2;
                break;
            }
            single = channel;
        }
    }
    frame = single >= 0 ? ModbusRequest::singleChoice(single, outputs)
                        : ModbusRequest::allOutputs(outputs, on);
    const QString expectedText = outputText(expected);
    request(QStringLiteral("write ") + name, frame,
            [this, name, expected, expectedText](const QString &, const QString &failure, qint64 writeMs) {
                if (!failure.isEmpty()) {
                    addStep(kOutputs, name, CheckStep::Fail, expectedText,
                            QStringLiteral("write: ") + failureText(failure));
                    return;
                }
                request(QStringLiteral("read ") + name, ModbusRequest::checkStatus(outputs),
                        [this, name, expected, expectedText, writeMs](const QString &reply,
                                                                      const QString &failure,
                                                                      qint64 ms) {
                            QVector<quint16> read;
                            if (!failure.isEmpty() || !registersOf(reply, expected.size(), &read)) {
                                addStep(kOutputs, name, CheckStep::Fail, expectedText,
                                        QStringLiteral("read back: ") + failureText(failure));
                                return;
                            }
                            QStringList differ;
                            for (int channel = 0; channel < outputs; ++channel) {
                                if (bitOf(read, channel) != bitOf(expected, channel))
                                    differ << QStringLiteral("Y%1").arg(channel + 1);
                            }
                            QString text = outputText(read);
                            if (!differ.isEmpty())
                                text += QStringLiteral("; differs at ") + differ.join(QLatin1Char(' '));
                            addStep(kOutputs, name, differ.isEmpty() ? CheckStep::Pass : CheckStep::Fail,
                                    expectedText, text, writeMs + ms);
                        });
            });
}

void ModuleCheck::planInputs()
{
    if (inputs <= 0) {
        notApplicable(kInputs, QStringLiteral("switch inputs"), QStringLiteral("the model has none"));
        return;
    }
    then([this]() {
        request(QStringLiteral("read inputs"), ModbusRequest::startDetecting(inputs),
                [this](const QString &reply, const QString &failure, qint64 ms) {
                    QVector<quint16> words;
                    const bool ok = failure.isEmpty()
                        && registersOf(reply, ModbusRequest::registerCount(inputs), &words);
                    QStringList hex;
                    for (quint16 word : words)
                        hex << hex4(word);
                    addStep(kInputs, QStringLiteral("read input states"),
                            ok ? CheckStep::Pass : CheckStep::Fail, QStringLiteral("a reply"),
                            ok ? hex.join(QLatin1Char(' ')) : failureText(failure), ms);
                    if (!ok)
                        return;
                    const bool judged = run.setup.inputsExpected;
                    for (int channel = 0; channel < inputs; ++channel) {
                        const bool state = bitOf(words, channel);
                        const bool wanted = (run.setup.expectedInputs >> channel) & 1;
                        const QString onOff = state ? QStringLiteral("on") : QStringLiteral("off");
                        addStep(kInputs, QStringLiteral("IN%1").arg(channel + 1),
                                !judged || state == wanted ? CheckStep::Pass : CheckStep::Fail,
                                judged ? (wanted ? QStringLiteral("on") : QStringLiteral("off"))
                                       : QStringLiteral("any"),
                                onOff);
                    }
                });
    });
}

void ModuleCheck::readAnalogBlocks(
    const std::function<void(bool, const QVector<quint16> &, const QVector<quint16> &,
                             const QVector<quint16> &, qint64, const QString &)> &done)
{
    using ModbusRequest::AnalogBlock;
    const int readCount = ModbusRequest::analogOutputReadCount(analogOutputs);
    const int channels = qMin(readCount, analogOutputs);
    auto fail = [done](const QString &failure) {
        done(false, {}, {}, {}, -1, failure);
    };
    request(QStringLiteral("AO read values"), ModbusRequest::analogOutputRead(AnalogBlock::Value, readCount),
            [=](const QString &reply, const QString &failure, qint64 ms1) {
                QVector<quint16> value;
                if (!failure.isEmpty() || !registersOf(reply, channels, &value))
                    return fail(QStringLiteral("values: ") + failureText(failure));
                request(QStringLiteral("AO read maxima"),
                        ModbusRequest::analogOutputRead(AnalogBlock::Max, readCount),
                        [=](const QString &reply, const QString &failure, qint64 ms2) {
                            QVector<quint16> max;
                            if (!failure.isEmpty() || !registersOf(reply, channels, &max))
                                return fail(QStringLiteral("maxima: ") + failureText(failure));
                            request(QStringLiteral("AO read modes"),
                                    ModbusRequest::analogOutputRead(AnalogBlock::Mode, readCount),
                                    [=](const QString &reply, const QString &failure, qint64 ms3) {
                                        QVector<quint16> mode;
                                        if (!failure.isEmpty() || !registersOf(reply, channels, &mode))
                                            return fail(QStringLiteral("modes: ") + failureText(failure));
                                        done(true, value, max, mode, ms1 + ms2 + ms3, QString());
                                    });
                        });
            });
}

void ModuleCheck::planAnalogOutputs()
{
    if (analogOutputs <= 0) {
        notApplicable(kAnalogOutputs, QStringLiteral("analog outputs"), QStringLiteral("the model has none"));
        return;
    }
    then([this]() {
        readAnalogBlocks([this](bool ok, const QVector<quint16> &value, const QVector<quint16> &max,
                                const QVector<quint16> &mode, qint64 ms, const QString &failure) {
            analogRead = ok;
            originalValue = value;
            originalMax = max;
            originalMode = mode;
            QStringList text;
            for (int c = 0; ok && c < value.size(); ++c)
                text << QStringLiteral("AO%1 %2").arg(c).arg(analogText(value.at(c), max.at(c), mode.at(c)));
            addStep(kAnalogOutputs, QStringLiteral("read value, maximum and mode registers"),
                    ok ? CheckStep::Pass : CheckStep::Fail, QStringLiteral("a reply"),
                    ok ? text.join(QStringLiteral("; ")) : failure, ms);
            if (!ok)
                return;
            QStringList problems;
            for (int c = 0; c < value.size(); ++c) {
                for (const QString &problem : Plausibility::analogOutputProblems(max.at(c), mode.at(c)))
                    problems << QStringLiteral("AO%1 %2").arg(c).arg(problem);
            }
            problemsStep(kAnalogOutputs, QStringLiteral("analog settings plausible"), problems);
        });
    });
    then([this]() { analogRanges(0); });
    for (int point = 0; point < int(std::size(kPercents)); ++point)
        then([this, point]() { analogPoint(point, 0); });
}

// Maximum and mode written as they stand, channel after channel, before the first point.
void ModuleCheck::analogRanges(int channel)
{
    using ModbusRequest::AnalogBlock;
    if (!analogRead || channel >= originalValue.size())
        return;
    const quint16 max = originalMax.at(channel);
    const quint16 mode = originalMode.at(channel);
    const QString name = QStringLiteral("AO%1 maximum and mode").arg(channel);
    if (max == 0) {
        addStep(kAnalogOutputs, QStringLiteral("AO%1").arg(channel), CheckStep::NotApplicable,
                QString(), QStringLiteral("maximum register 0: no range to write"));
        return analogRanges(channel + 1);
    }
    analogTouched[channel] = true;
    const QString expected = analogText(originalValue.at(channel), max, mode);
    request(QStringLiteral("AO%1 write maximum").arg(channel),
            ModbusRequest::analogOutputWrite(AnalogBlock::Max, channel, max),
            [=](const QString &, const QString &failure, qint64) {
                if (!failure.isEmpty()) {
                    addStep(kAnalogOutputs, name, CheckStep::Fail, expected,
                            QStringLiteral("write maximum: ") + failureText(failure));
                    return analogRanges(channel + 1);
                }
                request(QStringLiteral("AO%1 write mode").arg(channel),
                        ModbusRequest::analogOutputWrite(AnalogBlock::Mode, channel, mode),
                        [=](const QString &, const QString &failure, qint64) {
                            if (!failure.isEmpty())
                                addStep(kAnalogOutputs, name, CheckStep::Fail, expected,
                                        QStringLiteral("write mode: ") + failureText(failure));
                            analogRanges(channel + 1);
                        });
            });
}

// The percent of its range a channel is given at a point: staggered, so that at every
// point neighbouring channels hold different values and one read of each block proves
// every channel, a write that lands on another channel included.
int ModuleCheck::analogPercent(int point, int channel)
{
    return kPercents[(point + channel) % int(std::size(kPercents))];
}

// One point: every channel's value written, then the three blocks read once for all.
void ModuleCheck::analogPoint(int point, int channel)
{
    using ModbusRequest::AnalogBlock;
    if (!analogRead)
        return;
    if (channel < originalValue.size()) {
        const quint16 max = originalMax.at(channel);
        if (max == 0)
            return analogPoint(point, channel + 1);
        const int percent = analogPercent(point, channel);
        const quint16 value = quint16((quint32(max) * quint32(percent) + 50) / 100);
        request(QStringLiteral("AO%1 write value %2").arg(channel).arg(value),
                ModbusRequest::analogOutputWrite(AnalogBlock::Value, channel, value),
                [=](const QString &, const QString &failure, qint64) {
                    if (!failure.isEmpty())
                        addStep(kAnalogOutputs, QStringLiteral("AO%1 %2 %").arg(channel).arg(percent),
                                CheckStep::Fail, analogText(value, max, originalMode.at(channel)),
                                QStringLiteral("write value: ") + failureText(failure));
                    analogWritten[channel] = failure.isEmpty();
                    analogPoint(point, channel + 1);
                });
        return;
    }
    readAnalogBlocks([this, point](bool ok, const QVector<quint16> &v, const QVector<quint16> &m,
                                   const QVector<quint16> &o, qint64 ms, const QString &failure) {
        for (int c = 0; c < originalValue.size(); ++c) {
            const quint16 max = originalMax.at(c);
            const quint16 mode = originalMode.at(c);
            if (max == 0 || !analogWritten.at(c))
                continue;
            const int percent = analogPercent(point, c);
            const quint16 value = quint16((quint32(max) * quint32(percent) + 50) / 100);
            const QString name = QStringLiteral("AO%1 %2 %").arg(c).arg(percent);
            const QString expected = analogText(value, max, mode);
            if (!ok) {
                addStep(kAnalogOutputs, name, CheckStep::Fail, expected, QStringLiteral("read back: ") + failure);
                continue;
            }
            if (m.at(c) == max && o.at(c) == mode)
                readBackOffsets[c].append(int(v.at(c)) - int(value));
            QStringList differ;
            if (v.at(c) != value)
                differ << QStringLiteral("value");
            if (m.at(c) != max)
                differ << QStringLiteral("maximum");
            if (o.at(c) != mode)
                differ << QStringLiteral("mode");
            QString text = analogText(v.at(c), m.at(c), o.at(c));
            if (!differ.isEmpty())
                text += QStringLiteral("; AO%1 %2 differs").arg(c).arg(differ.join(QStringLiteral(", ")));
            addStep(kAnalogOutputs, name, differ.isEmpty() ? CheckStep::Pass : CheckStep::Fail, expected,
                    text, ms);
        }
    });
}

// The value the channel held before the check. A channel that read back every point
// of its range off by the same counts read its old value off by them too.
quint16 ModuleCheck::heldValue(int channel) const
{
    const QList<int> &offsets = readBackOffsets.at(channel);
    const bool steady = offsets.size() == int(std::size(kPercents))
        && std::all_of(offsets.begin(), offsets.end(), [&](int d) { return d == offsets.first(); });
    const int offset = steady ? offsets.first() : 0;
    return quint16(qBound(0, int(originalValue.at(channel)) - offset, 0xFFFF));
}

void ModuleCheck::planAnalogInputs()
{
    if (analogInputs <= 0) {
        notApplicable(kAnalogInputs, QStringLiteral("analog inputs"), QStringLiteral("the model has none"));
        return;
    }
    then([this]() {
        request(QStringLiteral("read analog inputs"),
                ModbusRequest::analogInputRead(QStringLiteral("01"), analogInputs),
                [this](const QString &reply, const QString &failure, qint64 ms) {
                    QVector<quint16> values;
                    const bool ok = failure.isEmpty() && registersOf(reply, analogInputs, &values);
                    addStep(kAnalogInputs, QStringLiteral("read input values"),
                            ok ? CheckStep::Pass : CheckStep::Fail, QStringLiteral("a reply"),
                            ok ? QStringLiteral("%1 channels").arg(values.size()) : failureText(failure),
                            ms);
                    for (int c = 0; c < values.size(); ++c) {
                        addStep(kAnalogInputs, QStringLiteral("AI%1").arg(c), CheckStep::Pass,
                                QStringLiteral("any"),
                                QStringLiteral("%1 %2").arg(values.at(c) / 1000.0, 0, 'f', 3).arg(analogUnit));
                    }
                });
    });
}

void ModuleCheck::planBlocks()
{
    if (outputs >= 0 || inputs >= 0) {
        then([this]() {
            request(QStringLiteral("read watchdog"), ModbusRequest::timeoutRead(outputs),
                    [this](const QString &reply, const QString &failure, qint64 ms) {
                        QString text;
                        if (failure.isEmpty()) {
                            QStringList items = ReplyDecoder::timeoutBlock(reply).split(
                                QLatin1Char(' '), Qt::SkipEmptyParts);
                            const QString timeout = items.isEmpty() ? QStringLiteral("?") : items.takeFirst();
                            text = timeout == QLatin1String("0")
                                ? QStringLiteral("timeout 0 ms (watchdog off)")
                                : QStringLiteral("timeout %1 ms").arg(timeout);
                            QStringList states;
                            for (int i = 0; i < items.size() && i < outputs; ++i) {
                                states << (items.at(i) == QLatin1String("1")   ? QStringLiteral("on")
                                               : items.at(i) == QLatin1String("0") ? QStringLiteral("off")
                                                                                 : QStringLiteral("unchanged"));
                            }
                            if (!states.isEmpty())
                                text += QStringLiteral("; fallback ") + runs(QStringLiteral("Y"), states);
                        }
                        addStep(kWatchdog, QStringLiteral("communication timeout block"),
                                failure.isEmpty() ? CheckStep::Pass : CheckStep::Fail,
                                QStringLiteral("a reply"), failure.isEmpty() ? text : failureText(failure), ms);
                    });
        });
    } else {
        notApplicable(kWatchdog, QStringLiteral("communication timeout block"),
                      QStringLiteral("analog models keep their output modes there"));
    }
    if (!run.setup.network) {
        notApplicable(kNetwork, QStringLiteral("network block"), QStringLiteral("read over TCP only"));
        return;
    }
    then([this]() {
        request(QStringLiteral("read network"), ModbusRequest::networkRead(),
                [this](const QString &reply, const QString &failure, qint64 ms) {
                    QString text;
                    if (failure.isEmpty()) {
                        const QStringList items = ReplyDecoder::networkBlock(reply).split(QLatin1Char(' '));
                        const QStringList names = {QStringLiteral("IP"),          QStringLiteral("mask"),
                                                   QStringLiteral("gateway"),     QStringLiteral("port"),
                                                   QStringLiteral("remote IP"),   QStringLiteral("remote port"),
                                                   QStringLiteral("mode"),        QStringLiteral("MAC")};
                        QStringList parts;
                        for (int i = 0; i < items.size() && i < names.size(); ++i)
                            parts << names.at(i) + QLatin1Char(' ') + items.at(i);
                        text = parts.join(QStringLiteral(", "));
                    }
                    addStep(kNetwork, QStringLiteral("network block"),
                            failure.isEmpty() ? CheckStep::Pass : CheckStep::Fail,
                            QStringLiteral("a reply"), failure.isEmpty() ? text : failureText(failure), ms);
                    QVector<quint16> block;
                    if (failure.isEmpty() && registersOf(reply, RegisterMap::kNetworkRegisters, &block))
                        problemsStep(kNetwork, QStringLiteral("network settings plausible"),
                                     Plausibility::networkProblems(block));
                });
    });
}

void ModuleCheck::planRestore()
{
    using ModbusRequest::AnalogBlock;
    auto restored = [this](const QString &name, bool ok, const QString &expected,
                           const QString &read, qint64 ms) {
        run.restoreOk = run.restoreOk && ok;
        if (!ok)
            run.restoreText += (run.restoreText.isEmpty() ? QString() : QStringLiteral("; "))
                + name + QStringLiteral(" not restored");
        addStep(kRestore, name, ok ? CheckStep::Pass : CheckStep::Fail, expected, read, ms);
    };
    if (outputsTouched) {
        run.restoreNeeded = true;
        then([this, restored]() {
            const QString expected = outputText(originalOutputs);
            request(QStringLiteral("restore outputs"), ModbusRequest::outputStates(originalOutputs),
                    [=](const QString &, const QString &failure, qint64 writeMs) {
                        if (!failure.isEmpty())
                            return restored(QStringLiteral("output states"), false, expected,
                                            QStringLiteral("write: ") + failureText(failure), -1);
                        request(QStringLiteral("read restored outputs"), ModbusRequest::checkStatus(outputs),
                                [=](const QString &reply, const QString &failure, qint64 ms) {
                                    QVector<quint16> read;
                                    bool ok = failure.isEmpty()
                                        && registersOf(reply, originalOutputs.size(), &read);
                                    for (int c = 0; ok && c < outputs; ++c)
                                        ok = bitOf(read, c) == bitOf(originalOutputs, c);
                                    restored(QStringLiteral("output states"), ok, expected,
                                             failure.isEmpty() ? outputText(read) : failureText(failure),
                                             writeMs + ms);
                                });
                    });
        });
    }
    if (!analogTouched.contains(true))
        return;
    run.restoreNeeded = true;
    for (int channel = 0; channel < analogTouched.size(); ++channel) {
        if (!analogTouched.at(channel))
            continue;
        // Maximum and mode first, so the value lands in the range it came from.
        const struct { AnalogBlock block; const char *label; } writes[] = {
            {AnalogBlock::Max, "maximum"}, {AnalogBlock::Mode, "mode"}, {AnalogBlock::Value, "value"}};
        for (const auto &w : writes) {
            const AnalogBlock block = w.block;
            const QString label = QLatin1String(w.label);
            then([this, channel, block, label, restored]() {
                const quint16 word = block == AnalogBlock::Max    ? originalMax.at(channel)
                    : block == AnalogBlock::Mode                  ? originalMode.at(channel)
                                                                  : heldValue(channel);
                request(QStringLiteral("restore AO%1 %2").arg(channel).arg(label),
                        ModbusRequest::analogOutputWrite(block, channel, word),
                        [=](const QString &, const QString &failure, qint64) {
                            if (!failure.isEmpty())
                                restored(QStringLiteral("AO%1 %2").arg(channel).arg(label), false,
                                         QStringLiteral("0x%1").arg(hex4(word)),
                                         QStringLiteral("write: ") + failureText(failure), -1);
                        });
            });
        }
    }
    then([this, restored]() {
        readAnalogBlocks([=](bool ok, const QVector<quint16> &v, const QVector<quint16> &m,
                             const QVector<quint16> &o, qint64 ms, const QString &failure) {
            for (int c = 0; c < analogTouched.size(); ++c) {
                if (!analogTouched.at(c))
                    continue;
                const QString expected = analogText(originalValue.at(c), originalMax.at(c), originalMode.at(c));
                if (!ok) {
                    restored(QStringLiteral("AO%1 registers").arg(c), false, expected, failure, -1);
                    continue;
                }
                const bool same = v.at(c) == originalValue.at(c) && m.at(c) == originalMax.at(c)
                    && o.at(c) == originalMode.at(c);
                restored(QStringLiteral("AO%1 registers").arg(c), same, expected,
                         analogText(v.at(c), m.at(c), o.at(c)), ms);
            }
        });
    });
}

void ModuleCheck::setLinkHealth(const LinkHealth &health)
{
    latestHealth = health;
}

void ModuleCheck::linkLost(const QString &reason)
{
    if (!active)
        return;
    guard->stop();
    identityWait->stop();
    if (!pendingKind.isEmpty()) {
        if (pendingKind != kIdentification)
            ++run.health.sent;
        ++run.health.timeouts;
    }
    pendingKind.clear();
    pendingDone = nullptr;
    plan.clear();
    addStep(kLink, QStringLiteral("link"), CheckStep::Fail, QStringLiteral("up to the end of the check"),
            QStringLiteral("lost: ") + reason);
    run.restoreNeeded = outputsTouched || analogTouched.contains(true);
    run.restoreOk = !run.restoreNeeded;
    if (run.restoreNeeded)
        run.restoreText = QStringLiteral("not restored (link lost)");
    finish();
}

void ModuleCheck::finish()
{
    guard->stop();
    identityWait->stop();
    // Whatever of the check is still queued would land later, unasked for.
    emit withdraw(QLatin1String(kKindPrefix));
    run.durationMs = clock.elapsed();
    if (!run.restoreNeeded)
        run.restoreText = QStringLiteral("nothing to restore");
    else if (run.restoreOk)
        run.restoreText = QStringLiteral("restored");
    // Bad frames are counted by the link, not per request.
    run.health.badCrc = latestHealth.badCrc - qMin(latestHealth.badCrc, startHealth.badCrc);
    run.health.unmatched = latestHealth.unmatched - qMin(latestHealth.unmatched, startHealth.unmatched);
    run.health.garbage = latestHealth.garbage - qMin(latestHealth.garbage, startHealth.garbage);
    const LinkHealth &h = run.health;
    addStep(kLink, QStringLiteral("link figures"),
            h.timeouts == 0 && h.sent == h.accepted + h.exceptions ? CheckStep::Pass : CheckStep::Fail,
            QStringLiteral("every request answered"),
            QStringLiteral("requests %1, unanswered %2, exceptions %3, bad frames %4, response "
                           "last/mean/max %5/%6/%7 ms")
                .arg(h.sent)
                .arg(h.timeouts)
                .arg(h.exceptions)
                .arg(h.badFrames())
                .arg(h.accepted ? QString::number(h.lastMs) : QStringLiteral("-"))
                .arg(h.accepted ? QString::number(h.meanMs(), 'f', 1) : QStringLiteral("-"))
                .arg(h.accepted ? QString::number(h.maxMs) : QStringLiteral("-")));
    active = false;
    emit finished(run);
}
