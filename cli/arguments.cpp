// SPDX-License-Identifier: MIT
#include "cli/arguments.h"

#include "cli/commandlog.h"

#include "frequency/typedfrequency.h"

#include <QRegularExpression>

std::optional<int> parseCommand(QCommandLineParser& parser, const QString& usage,
                                const QStringList& arguments, const CliContext& cli) {
    const QCommandLineOption help({"h", "help"}, "Shows this help.");
    parser.addOption(help);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // QCommandLineParser takes the program as the first argument.
    if (!parser.parse(QStringList{"vantrel-cli"} + arguments.mid(1)))
        return cli.fail(ExitCode::Usage, parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text = text.mid(text.indexOf('\n') + 1);  // the generic usage line, replaced below
        cli.out << "Usage: vantrel-cli " << usage << '\n' << text;
        cli.out.flush();
        return ExitCode::Done;
    }
    return openLogIfAsked(parser, cli);
}

// One grammar for every frequency on the command line, the plan dialog's as well.
std::optional<double> parseFrequency(const QString& text) {
    return readTypedFrequency(text);
}

std::optional<quint8> parseI2cAddress7(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^0[xX]([0-9a-fA-F]{1,2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int value = match.captured(1).toInt(nullptr, 16);
    if (value > 0x7F)
        return std::nullopt;
    return quint8(value);
}

std::optional<BusDevice> parseBusDevice(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,3}):([0-9]{1,3})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return BusDevice{match.captured(1).toInt(), match.captured(2).toInt()};
}

std::optional<int> parseCount(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,6}$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return text.toInt();
}

std::optional<double> parseScaledFrequency(const QString& text) {
    return parseFrequency(text);
}

std::optional<quint8> parseByte(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral("^(0[xX][0-9a-fA-F]{1,2}|0|[1-9][0-9]{0,2})$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const int value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                          ? text.mid(2).toInt(nullptr, 16)
                          : text.toInt(nullptr, 10);
    if (value > 0xFF)
        return std::nullopt;
    return quint8(value);
}
