#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

// Folders are the layers: protocol <- link <- check <- ui, cli; the simulated module and
// the fuzz targets stand on protocol alone; protocol needs Qt Core and nothing else.
// Every #include of the tool's sources is held against this table.
namespace {

struct Layer
{
    const char *folder;
    QStringList folders; // folders whose headers it may include, its own among them
    QStringList qtModules; // Qt modules whose headers it may include; empty: any
};

const QStringList kBelowLink = {QStringLiteral("QtLibrary"), QStringLiteral("protocol")};

const QVector<Layer> &layers()
{
    static const QStringList core = {QStringLiteral("QtCore")};
    static const QStringList linkModules = {QStringLiteral("QtCore"), QStringLiteral("QtNetwork"),
                                            QStringLiteral("QtSerialPort")};
    // The results store speaks to its databases through Qt SQL.
    static const QStringList checkModules = linkModules + QStringList{QStringLiteral("QtSql")};
    static const QVector<Layer> table = {
        {"QtLibrary", {QStringLiteral("QtLibrary")}, core},
        {"protocol", kBelowLink, core},
        {"link", kBelowLink + QStringList{QStringLiteral("link")}, linkModules},
        {"check", kBelowLink + QStringList{QStringLiteral("link"), QStringLiteral("check")}, checkModules},
        {"cli",
         kBelowLink + QStringList{QStringLiteral("link"), QStringLiteral("check"), QStringLiteral("cli")},
         checkModules},
        {"ui",
         kBelowLink + QStringList{QStringLiteral("link"), QStringLiteral("check"), QStringLiteral("ui")},
         {}},
        {"simulator", kBelowLink + QStringList{QStringLiteral("simulator")},
         {QStringLiteral("QtCore"), QStringLiteral("QtNetwork")}},
        {"fuzz", kBelowLink + QStringList{QStringLiteral("fuzz")}, core},
    };
    return table;
}

const Layer *layerOf(const QString &folder)
{
    for (const Layer &layer : layers()) {
        if (folder == QLatin1String(layer.folder))
            return &layer;
    }
    return nullptr;
}

// The Qt module a header such as <QColor> or <QtGui/QColor> belongs to, empty if none.
QString qtModuleOf(const QString &header)
{
    const int slash = header.indexOf(QLatin1Char('/'));
    if (slash > 0)
        return header.startsWith(QLatin1String("Qt")) ? header.left(slash) : QString();
    if (!header.startsWith(QLatin1Char('Q')))
        return QString();
    const QDir root(QStringLiteral(MEROVI_QT_INCLUDE_ROOT));
    for (const QString &module : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (module.startsWith(QLatin1String("Qt")) && QFile::exists(root.filePath(module + QLatin1Char('/') + header)))
            return module;
    }
    return QString();
}

// Why `file` (relative to the source root) may not include `include`, or empty.
// `quoted`: the include was written "…" rather than <…>.
QString refusal(const QString &file, const QString &include, bool quoted)
{
    const int slash = file.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString(); // main.cpp assembles every layer
    const Layer *layer = layerOf(file.left(slash));
    if (!layer)
        return QStringLiteral("%1 is in no layer").arg(file);
    if (quoted) {
        const int includeSlash = include.indexOf(QLatin1Char('/'));
        if (includeSlash < 0) {
            // A form's generated header, or a header beside the file.
            if (layer->qtModules.isEmpty() && include.startsWith(QLatin1String("ui_")))
                return QString();
            if (QFile::exists(QStringLiteral(MEROVI_SOURCE_DIR "/") + file.left(slash + 1) + include))
                return QString();
            return QStringLiteral("%1 includes \"%2\", which names no layer").arg(file, include);
        }
        const QString folder = include.left(includeSlash);
        if (!layer->folders.contains(folder))
            return QStringLiteral("%1 includes \"%2\": %3 may include only %4")
                .arg(file, include, QLatin1String(layer->folder), layer->folders.join(QLatin1String(", ")));
        return QString();
    }
    if (layer->qtModules.isEmpty())
        return QString();
    const QString module = qtModuleOf(include);
    if (!module.isEmpty() && !layer->qtModules.contains(module))
        return QStringLiteral("%1 includes <%2> of %3: %4 may use only %5")
            .arg(file, include, module, QLatin1String(layer->folder), layer->qtModules.join(QLatin1String(", ")));
    return QString();
}

} // namespace

class TestLayers : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("include");
        QTest::addColumn<bool>("quoted");
        QTest::addColumn<bool>("allowed");

        QTest::newRow("link uses protocol") << "link/x.cpp" << "protocol/framecutter.h" << true << true;
        QTest::newRow("protocol uses link") << "protocol/x.cpp" << "link/threadserialport.h" << true << false;
        QTest::newRow("ui uses cli") << "ui/x.cpp" << "cli/checkcommand.h" << true << false;
        QTest::newRow("simulator uses link") << "simulator/x.cpp" << "link/threadadministrator.h" << true << false;
        QTest::newRow("protocol uses the form of a window") << "protocol/x.cpp" << "ui_mainwindow.h" << true << false;
        QTest::newRow("ui uses its form") << "ui/x.cpp" << "ui_mainwindow.h" << true << true;
        QTest::newRow("main assembles everything") << "main.cpp" << "ui/mainwindow.h" << true << true;
        QTest::newRow("protocol uses Qt Core") << "protocol/x.cpp" << "QString" << false << true;
        QTest::newRow("protocol uses Qt Gui") << "protocol/x.cpp" << "QColor" << false << false;
        QTest::newRow("protocol uses Qt Gui by path") << "protocol/x.cpp" << "QtGui/QColor" << false << false;
        QTest::newRow("protocol uses the C++ library") << "protocol/x.cpp" << "cmath" << false << true;
        QTest::newRow("check uses Qt Widgets") << "check/x.cpp" << "QWidget" << false << false;
        QTest::newRow("ui uses Qt Widgets") << "ui/x.cpp" << "QWidget" << false << true;
        QTest::newRow("a folder of no layer") << "stray/x.cpp" << "QString" << false << false;
    }

    void rule()
    {
        QFETCH(QString, file);
        QFETCH(QString, include);
        QFETCH(bool, quoted);
        QFETCH(bool, allowed);
        const QString why = refusal(file, include, quoted);
        QVERIFY2(why.isEmpty() == allowed, qPrintable(why.isEmpty() ? QStringLiteral("allowed") : why));
    }

    void sourcesFollowTheTable()
    {
        static const QRegularExpression includeLine(
                QStringLiteral("^\\s*#\\s*include\\s*([<\"])([^>\"]+)[>\"]"),
                QRegularExpression::MultilineOption);
        const QDir root(QStringLiteral(MEROVI_SOURCE_DIR));
        QStringList files = {QStringLiteral("main.cpp")};
        for (const Layer &layer : layers()) {
            QDirIterator it(root.filePath(QLatin1String(layer.folder)), {QStringLiteral("*.h"), QStringLiteral("*.cpp")},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << root.relativeFilePath(it.next());
        }
        QVERIFY(files.size() > 40);

        QStringList refusals;
        int includes = 0;
        for (const QString &file : qAsConst(files)) {
            QFile source(root.filePath(file));
            QVERIFY2(source.open(QIODevice::ReadOnly), qPrintable(file));
            const QString text = QString::fromUtf8(source.readAll());
            auto matches = includeLine.globalMatch(text);
            while (matches.hasNext()) {
                const QRegularExpressionMatch match = matches.next();
                ++includes;
                const QString why = refusal(file, match.captured(2), match.captured(1) == QLatin1String("\""));
                if (!why.isEmpty())
                    refusals << why;
            }
        }
        QVERIFY(includes > 200);
        QVERIFY2(refusals.isEmpty(), qPrintable(refusals.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestLayers)
#include "tst_layers.moc"
