// SPDX-License-Identifier: MIT
#include "app/windowarguments.h"

#include "common/printabletext.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
QString tr(const char* text) {
    return QCoreApplication::translate("WindowArguments", text);
}

// Qt's own options (QGuiApplication's, QApplication's and those of the X11 platform), which
// QApplication takes out of the arguments. They are known here so that an unknown option can be
// refused before QApplication needs a display.
struct QtOption {
    const char* name;
    bool takesValue;
};
constexpr QtOption QtOwnOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"style", true},
    {"stylesheet", true},
    {"qmljsdebugger", true},
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"icon", true},
    {"name", true},
    {"visual", true},
    {"reverse", false},
    {"widgetcount", false},
    {"testability", false},
    {"nograb", false},
    {"dograb", false},
};

// The one description of the command line, for both looks at it. "-platform" is one option, not
// seven short ones; "-v" and "-h" still work.
struct Parser {
    QCommandLineParser parser;
    QCommandLineOption help;
    QCommandLineOption version;

    Parser() : help(parser.addHelpOption()), version(parser.addVersionOption()) {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const QtOption& qt : QtOwnOptions) {
            QCommandLineOption option(QLatin1String(qt.name));
            if (qt.takesValue)
                option.setValueName(QStringLiteral("VALUE"));
            option.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(option);
        }
        parser.setApplicationDescription(
            tr("Programs a CY22150 clock generator through an i2c-tiny-usb adapter.\n"
               "Qt's own options, such as -platform NAME, are accepted as well."));
        parser.addPositionalArgument(
            QStringLiteral("FILE"),
            tr("A register file (*.cy22150.bin) to load after the start-up scan, as File > Load "
               "does."),
            QStringLiteral("[FILE]"));
    }
};

// Added with the help option; its list of Qt's options is left to Qt's documentation.
const QString HelpAll = QStringLiteral("help-all");

// The parser names the program after argv[0], or "<executable_name>" before QApplication exists.
QString helpText(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const int options = text.indexOf(QLatin1String(" [options]"));
    if (options >= 0)
        text.replace(0, options, QStringLiteral("Usage: ") + QCoreApplication::applicationName());
    return text;
}

QString versionText() {
    return QCoreApplication::applicationName() + QLatin1Char(' ') +
           QCoreApplication::applicationVersion() + QLatin1Char('\n');
}

// --help and --version win over anything else, a bad option included.
WindowArguments helpOrVersionRequest(const QStringList& arguments) {
    Parser p;
    p.parser.parse(arguments);  // an unknown option here may be one of Qt's
    WindowArguments result;
    if (p.parser.isSet(p.help) || p.parser.isSet(HelpAll)) {
        result.action = WindowArguments::Action::PrintHelp;
        result.text = helpText(p.parser);
    } else if (p.parser.isSet(p.version)) {
        result.action = WindowArguments::Action::PrintVersion;
        result.text = versionText();
    }
    return result;
}
}  // namespace

WindowArguments parseWindowArguments(const QStringList& arguments) {
    Parser p;
    QCommandLineParser& parser = p.parser;
    WindowArguments result;
    const QString hint =
        tr("Try '%1 --help'.").arg(printableText(QCoreApplication::applicationName()));
    const WindowArguments request = helpOrVersionRequest(arguments);
    if (request.action != WindowArguments::Action::Run)
        return request;
    if (!parser.parse(arguments)) {
        result.action = WindowArguments::Action::Refuse;
        result.text =
            QStringLiteral("Error: %1\n%2\n").arg(printableText(parser.errorText()), hint);
    } else if (parser.positionalArguments().size() > 1) {
        result.action = WindowArguments::Action::Refuse;
        result.text = QStringLiteral("Error: %1\n%2\n")
                          .arg(tr("Only one register file can be opened at a time."), hint);
    } else if (!parser.positionalArguments().isEmpty()) {
        result.fileName = parser.positionalArguments().constFirst();
        if (result.fileName.isEmpty()) {
            result.action = WindowArguments::Action::Refuse;
            result.text =
                QStringLiteral("Error: %1\n%2\n").arg(tr("The file name is empty."), hint);
        }
    }
    return result;
}
