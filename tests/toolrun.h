#pragma once

#include "simulator/modulesimulator.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QtTest>

#include <functional>

// merovitest run as a headless command to its end, while this thread's event loop keeps
// serving the simulated module. An exit code of -1: it crashed, or still ran after two minutes.
struct ToolRun
{
    int exitCode = -1;
    QString out, err;
};

inline ToolRun runTool(const QStringList &arguments, const QProcessEnvironment &extra = {},
                       const QString &folder = {}, const std::function<void(QProcess &)> &meanwhile = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(MEROVITEST_PATH), arguments);
    process.waitForStarted();
    if (meanwhile)
        meanwhile(process);
    if (process.state() != QProcess::NotRunning) {
        QEventLoop loop;
        QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    ToolRun run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// merovitest with its window, offscreen, its settings in `home`, never the user's.
inline void startWindowTool(QProcess &tool, const QStringList &arguments, const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(MEROVITEST_PATH), arguments);
}

// `merovitest --check` of a model on the simulated module listening on 127.0.0.1.
inline QStringList checkOverTcp(const QString &model, const ModuleSimulator &module)
{
    return { QStringLiteral("--check"), QStringLiteral("--model"), model, QStringLiteral("--remote"),
             QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()) };
}

// The generic Modbus TCP server of another library (tests/modbusserver.cpp), every register
// 0: its port on 127.0.0.1, or an empty text when it did not start.
inline QString startBlankServer(QProcess &server)
{
    server.start(QStringLiteral(MODBUSSERVER_PATH), { QStringLiteral("tcp") });
    if (!server.waitForReadyRead(10000))
        return QString();
    return QString::fromLatin1(server.readLine()).section(QLatin1Char(' '), 1).trimmed();
}

// That library's RTU slave at 9600 baud on one end of a socat pair in `dir`: the other
// end for the tool, or an empty text when either did not start.
inline QString startRtuSlave(QProcess &socat, QProcess &slave, const QDir &dir, int address)
{
    const QString slaveEnd = dir.filePath(QStringLiteral("slave")), toolEnd = dir.filePath(QStringLiteral("tool"));
    socat.start(QStringLiteral("socat"), { QStringLiteral("pty,raw,echo=0,link=") + slaveEnd,
                                           QStringLiteral("pty,raw,echo=0,link=") + toolEnd });
    if (!QTest::qWaitFor([&]() { return QFileInfo::exists(slaveEnd) && QFileInfo::exists(toolEnd); }, 10000))
        return QString();
    slave.start(QStringLiteral(MODBUSSERVER_PATH),
                { QStringLiteral("rtu"), slaveEnd, QStringLiteral("9600"), QString::number(address) });
    return slave.waitForReadyRead(10000) ? toolEnd : QString();
}
