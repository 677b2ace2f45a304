// Veltrano Editor: reads the command line, then starts the main window.
#include "diskname.h"
#include "heldkeys.h"
#include "hexdisplay.h"
#include "windowsystem.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
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

// Names the first argument the parser refused exactly as it was typed, and
// says how to open a file whose name looks like an option.
QString optionError(const QStringList &arguments, const QCommandLineParser &parser)
{
    const QStringList unknown = parser.unknownOptionNames();
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (!argument.startsWith(QLatin1Char('-')) || argument.size() < 2)
            continue;
        const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1).section(QLatin1Char('='), 0, 0);
        if (unknown.contains(name))
            return QStringLiteral("Unknown option '%1'. To open a file whose name begins with \"-\", put \"--\" before it.")
                .arg(argument);
    }
    return parser.errorText();
}

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
    // "-dash.bin" is one word, not the letters d, a, s...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
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
            : optionError(arguments, parser);
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

// Without a display Qt ends the program from inside QApplication's
// constructor (an abort with advice to reinstall). Its messages are held back
// until then; if it gives up, one line names the display instead, and the
// program ends with status 1. Otherwise they go out as Qt would print them.
namespace DisplayCheck {

struct HeldMessage {
    QtMsgType type;
    // The context's strings are literals of the code that logged: they
    // outlive the call. The message itself is copied.
    const char *file, *function, *category;
    int line;
    QString message;
};

QtMessageHandler s_previous = nullptr;
QList<HeldMessage> s_held;

// The display the platform was to open, as the user set it.
QString displayName()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool wayland = platform.startsWith("wayland")
        || (platform.isEmpty() && qgetenv("XDG_SESSION_TYPE") == "wayland" && qEnvironmentVariableIsEmpty("DISPLAY"));
    const char *variable = wayland ? "WAYLAND_DISPLAY" : "DISPLAY";
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty())
        return QStringLiteral("(%1 is not set)").arg(QLatin1String(variable));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

void hold(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "veltrano: cannot open display %s\n", displayName().toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(1);
    }
    s_held.append({type, context.file, context.function, context.category, context.line, message});
}

void begin()
{
    s_previous = qInstallMessageHandler(hold);
}

void end()
{
    qInstallMessageHandler(s_previous);
    for (const HeldMessage &held : std::as_const(s_held))
        qt_message_output(held.type, QMessageLogContext(held.file, held.line, held.function, held.category),
                          held.message);
    s_held.clear();
}

} // namespace DisplayCheck

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
    DisplayCheck::begin();
    QApplication app(qtArgc, argv);
    DisplayCheck::end();
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
