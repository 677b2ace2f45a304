// Veltrano Editor: reads the command line, then starts the main window.
#include "diskname.h"
#include "heldkeys.h"
#include "hexdisplay.h"
#include "windowsystem.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>
#include <optional>

namespace {

// The one place where a command-line entry becomes a file name: the bytes
// are kept exactly, even where they are not valid UTF-8.
QString nameFromArgument(const char *argument)
{
    return DiskName::fromDisk(QByteArrayView(argument));
}

void setApplicationNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("Veltrano Editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.01"));
}

struct StartRequest {
    std::optional<int> exitCode; // set: print `output` and end with this code
    QString output;
    bool toStandardError = false;
    std::optional<QString> fileName; // none: start with the start-up buffer
};

// Reads the command line without a display, so that --help and --version
// work anywhere. Qt's own window-system options are not offered.
StartRequest readCommandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << nameFromArgument(argv[i]);
    QCoreApplication probe(argc, argv);
    setApplicationNames();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Edit the raw bytes of any file."));
    // Our own rather than addHelpOption(), whose --help-all offers Qt's
    // options that this command line does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The file to open."),
                                 QStringLiteral("[FILE]"));

    StartRequest request;
    if (!parser.parse(arguments) || parser.positionalArguments().size() > 1) {
        const QString reason = parser.positionalArguments().size() > 1
            ? QStringLiteral("Only one file can be opened.")
            : parser.errorText();
        request.exitCode = 2;
        request.output = reason + QLatin1Char('\n') + parser.helpText();
        request.toStandardError = true;
    } else if (parser.isSet(help)) {
        request.exitCode = 0;
        request.output = parser.helpText();
    } else if (parser.isSet(version)) {
        request.exitCode = 0;
        request.output = QCoreApplication::applicationName() + QLatin1Char(' ')
            + QCoreApplication::applicationVersion() + QLatin1Char('\n');
    } else if (!parser.positionalArguments().isEmpty()) {
        request.fileName = parser.positionalArguments().constFirst();
    }
    return request;
}

} // namespace

int main(int argc, char *argv[])
{
    const StartRequest request = readCommandLine(argc, argv);
    if (request.exitCode) {
        std::fputs(request.output.toLocal8Bit().constData(), request.toStandardError ? stderr : stdout);
        return *request.exitCode;
    }

    // Qt sees only the program's name: a file called "-reverse" given after
    // "--" must not turn into one of Qt's own options.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    setApplicationNames();
    QApplication::setDesktopFileName(QStringLiteral("veltrano"));
    // The icons live in the editor's static library: pull them in.
    Q_INIT_RESOURCE(editor);
    // PNGs rather than the SVG, which would need Qt's SVG plugin at run time.
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/veltrano/icons/%1.png").arg(size));
    QApplication::setWindowIcon(icon);
    // A held key is one press and one release for the editor: the character
    // box moves once, the scroll bar repeats until the key comes up. On X11
    // the server can say so itself; where it cannot, a filter tells repeats
    // apart. Other platforms already report held keys that way.
    const bool detectable = WindowSystem::create()->requestDetectableAutoRepeat();
    if (!detectable && QGuiApplication::platformName() == QLatin1String("xcb"))
        HeldKeys::install(&app);
    HexDisplay window;
    window.show();
    if (request.fileName)
        window.openNamedFile(*request.fileName);
    return app.exec();
}
