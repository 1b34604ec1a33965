#pragma once

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

// A PostgreSQL server of the test's own: initdb and pg_ctl in a temporary folder, run by an
// unprivileged user (nobody, when the test runs as root), listening on 127.0.0.1 only, on a
// free port, with a password (scram) for the user "merovi" and a database "results".
class ThrowawayPostgres
{
public:
    static constexpr const char *kBin = "/usr/lib/postgresql/15/bin/";
    static constexpr const char *kUser = "merovi";
    static constexpr const char *kPassword = "bench-only-3141";
    static constexpr const char *kDatabase = "results";

    ~ThrowawayPostgres() { stop(); }

    // Empty when the server runs; otherwise why not.
    QString start()
    {
        if (!QFile::exists(QStringLiteral("%1initdb").arg(QLatin1String(kBin))))
            return QStringLiteral("no PostgreSQL 15 in %1").arg(QLatin1String(kBin));
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        if (m_port != 0)
            return startServer();
        if (::geteuid() == 0) {
            const struct passwd *nobody = ::getpwnam("nobody");
            if (!nobody)
                return QStringLiteral("running as root, and there is no user nobody to run the server");
            m_owner = true;
            m_uid = nobody->pw_uid;
            m_gid = nobody->pw_gid;
        }
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                | QFile::ReadOther | QFile::ExeOther);
        QFile password(m_dir.filePath(QStringLiteral("pw")));
        if (!password.open(QIODevice::WriteOnly) || password.write(kPassword) < 0)
            return QStringLiteral("cannot write the password file");
        password.close();
        for (const QString &path : { m_dir.path(), password.fileName() }) {
            if (m_owner && ::chown(qPrintable(path), m_uid, m_gid) != 0)
                return QStringLiteral("cannot hand %1 to nobody").arg(path);
        }
        QString out;
        if (!runAsOwner(QStringLiteral("initdb"),
                        { QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), QLatin1String(kUser),
                          QStringLiteral("--pwfile=") + password.fileName(), QStringLiteral("-A"),
                          QStringLiteral("scram-sha-256"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                          QStringLiteral("--locale=C"), QStringLiteral("--no-sync") },
                        &out))
            return QStringLiteral("initdb failed: ") + out;
        m_port = freePort();
        const QString error = startServer();
        if (!error.isEmpty())
            return error;
        if (!runAsOwner(QStringLiteral("createdb"),
                        { QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                          QString::number(m_port), QStringLiteral("-U"), QLatin1String(kUser),
                          QLatin1String(kDatabase) },
                        &out))
            return QStringLiteral("createdb failed: ") + out;
        return QString();
    }

    bool stop()
    {
        if (!m_running)
            return true;
        QString out;
        m_running = !runAsOwner(QStringLiteral("pg_ctl"),
                                { QStringLiteral("-D"), dataDir(), QStringLiteral("-m"), QStringLiteral("fast"),
                                  QStringLiteral("-w"), QStringLiteral("stop") },
                                &out);
        return !m_running;
    }

    QString url() const
    {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(QLatin1String(kUser)).arg(m_port).arg(QLatin1String(kDatabase));
    }

private:
    QString dataDir() const { return m_dir.filePath(QStringLiteral("data")); }

    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    QString startServer()
    {
        QString out;
        const QString options =
            QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off").arg(m_port).arg(m_dir.path());
        if (!runAsOwner(QStringLiteral("pg_ctl"),
                        { QStringLiteral("-D"), dataDir(), QStringLiteral("-l"),
                          m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-o"), options,
                          QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("120"),
                          QStringLiteral("start") },
                        &out))
            return QStringLiteral("pg_ctl start failed: ") + out;
        m_running = true;
        return QString();
    }

    bool runAsOwner(const QString &program, const QStringList &arguments, QString *out)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PGPASSWORD"), QLatin1String(kPassword));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(m_dir.path());
        const QString path = QLatin1String(kBin) + program;
        if (m_owner)
            process.start(QStringLiteral("runuser"),
                          QStringList{ QStringLiteral("-u"), QStringLiteral("nobody"),
                                       QStringLiteral("--"), path } + arguments);
        else
            process.start(path, arguments);
        const bool finished = process.waitForFinished(180000);
        *out = QString::fromLocal8Bit(process.readAll());
        return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    QTemporaryDir m_dir;
    bool m_owner = false; // the server runs as nobody
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    quint16 m_port = 0;
    bool m_running = false;
};
