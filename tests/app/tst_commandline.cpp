// The built program's command line: --help, --version and mistakes answer
// without any display, a missing display is named in one line, and a file
// named on the command line opens at start in a window that carries the
// application's icon.
#include "xvfbserver.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT
private slots:
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();
    void namedFileOpensAtStart_data();
    void namedFileOpensAtStart();
};

void tst_CommandLine::answersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // a pattern for standard output
    QTest::addColumn<QString>("err"); // and for standard error
    QTest::addColumn<QString>("display"); // DISPLAY, unset when empty
    const QString usage = QStringLiteral("^Usage: \\S+ \\[options\\] \\[FILE\\]\\n");
    const QString errorThenUsage = QStringLiteral("\\nUsage: \\S+ \\[options\\] \\[FILE\\]\\n");
    const QString noDisplay;
    // A display no server answers: a number far above any a test starts.
    const QString deadDisplay = QStringLiteral(":4711");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << usage << QStringLiteral("^$") << noDisplay;
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << 0 << usage << QStringLiteral("^$") << noDisplay;
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << QStringLiteral("^Veltrano Editor 1\\.01\\n$") << QStringLiteral("^$") << noDisplay;
    QTest::newRow("--help beside a file name") << QStringList{QStringLiteral("x.bin"), QStringLiteral("--help")}
                                               << 0 << usage << QStringLiteral("^$") << noDisplay;
    const QString hint = QStringLiteral(" To open a file whose name begins with \"-\", put \"--\" before it\\.");
    QTest::newRow("an unknown option") << QStringList{QStringLiteral("--bogus")} << 2 << QStringLiteral("^$")
                                       << QStringLiteral("^Unknown option '--bogus'\\.") + hint + errorThenUsage
                                       << noDisplay;
    QTest::newRow("a name with one dash, whole") << QStringList{QStringLiteral("-dash.bin")} << 2 << QStringLiteral("^$")
                                                 << QStringLiteral("^Unknown option '-dash\\.bin'\\.") + hint
            + errorThenUsage << noDisplay;
    QTest::newRow("two file names") << QStringList{QStringLiteral("a.bin"), QStringLiteral("b.bin")} << 2
                                    << QStringLiteral("^$")
                                    << QStringLiteral("^Only one file can be opened\\.") + errorThenUsage << noDisplay;
    QTest::newRow("no display at all") << QStringList{} << 1 << QStringLiteral("^$")
                                       << QStringLiteral("^veltrano: cannot open display \\(DISPLAY is not set\\)\\n$")
                                       << noDisplay;
    QTest::newRow("a display nobody answers") << QStringList{QStringLiteral("x.bin")} << 1 << QStringLiteral("^$")
                                              << QStringLiteral("^veltrano: cannot open display \":4711\"\\n$")
                                              << deadDisplay;
}

void tst_CommandLine::answersWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QString, display);
    QProcess program;
    QProcessEnvironment env = withoutDisplay();
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VELTRANO_BINARY), arguments);
    QVERIFY(program.waitForFinished(30000));
    const QString standardOutput = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString standardError = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    QVERIFY2(QRegularExpression(out).match(standardOutput).hasMatch(), qPrintable(standardOutput));
    QVERIFY2(QRegularExpression(err).match(standardError).hasMatch(), qPrintable(standardError));
}

void tst_CommandLine::namedFileOpensAtStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("caption"); // of the main window once started
    QTest::newRow("a name relative to the working folder") << QStringList{QStringLiteral("data.bin")}
                                                           << QStringLiteral("Veltrano Editor - data.bin");
    QTest::newRow("a name like an option, after --") << QStringList{QStringLiteral("--"), QStringLiteral("-d.bin")}
                                                     << QStringLiteral("Veltrano Editor - -d.bin");
    // The message box comes first; the main window keeps its start-up caption.
    QTest::newRow("a name that cannot be opened") << QStringList{QStringLiteral("missing.bin")}
                                                  << QStringLiteral("Veltrano Editor V1.01");
}

void tst_CommandLine::namedFileOpensAtStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, caption);
    for (const char *tool : {"xdotool", "xprop"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));
    XvfbServer xvfb;
    QString why;
    if (!xvfb.start(&why))
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    for (const char *name : {"data.bin", "-d.bin"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("bytes") == 5);
    }
    QProcessEnvironment env = withoutDisplay();
    env.insert(QStringLiteral("DISPLAY"), xvfb.display());
    QProcess editor;
    editor.setProcessEnvironment(env);
    editor.setWorkingDirectory(dir.path());
    editor.start(QStringLiteral(VELTRANO_BINARY), arguments);
    QVERIFY(editor.waitForStarted(10000));

    // The window appears with the caption; --sync waits for it, and the
    // bound on the wait only keeps a fault from hanging the test.
    QProcess search;
    search.setProcessEnvironment(env);
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(caption) + QLatin1Char('$');
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--sync"),
                                             QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern});
    const bool found = search.waitForFinished(30000) && search.exitCode() == 0;
    search.kill();
    const QString window = QString::fromLatin1(search.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
    // The window carries the application's icon, from small to large.
    QProcess xprop;
    xprop.setProcessEnvironment(env);
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_ICON")});
    const bool answered = xprop.waitForFinished(10000);
    const QString icon = QString::fromLatin1(xprop.readAllStandardOutput());
    editor.kill();
    editor.waitForFinished(5000);
    QVERIFY2(found, qPrintable(QStringLiteral("no window captioned ") + caption));
    QVERIFY(answered);
    for (const char *size : {"Icon (16 x 16)", "Icon (48 x 48)", "Icon (128 x 128)"})
        QVERIFY2(icon.contains(QLatin1String(size)),
                 qPrintable(QLatin1String(size) + QLatin1String(" missing: ") + icon.left(200)));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
