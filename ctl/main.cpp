#include "ctl/commands.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("px8107ctl", text);
}

QString overview(const QCommandLineParser &parser)
{
    QList<QStringList> rows;
    for (int i = 0; i < commandCount; ++i)
        rows << QStringList{QStringLiteral("  ") + QLatin1String(commandTable[i].name),
                            tr(commandTable[i].summary)};
    QString help = parser.helpText();
    help += QLatin1Char('\n') + tr("Commands:") + QLatin1Char('\n') + Output::table(rows);
    help += QLatin1Char('\n') +
            tr("px8107ctl COMMAND --help describes a command. Exit codes: 0 success, 1 mismatch, "
               "2 usage, 3 no answer, 4 bad reply, 5 device exception, 6 port error, 7 output "
               "error, 8 MQTT broker refused.") +
            QLatin1Char('\n');
    return help;
}

int usageError(Output &out, const QString &message)
{
    out.diagnostic(QStringLiteral("px8107ctl: ") + message);
    return toInt(ExitCode::Usage);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("px8107ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PX8107_VERSION));
    Output out;
    const QStringList arguments = QCoreApplication::arguments();

    // The global options may come before the command; everything after it is the command's.
    QCommandLineParser front;
    front.setApplicationDescription(
        tr("Command-line companion of the PX8107 particulate-matter sensor."));
    const QCommandLineOption help = front.addHelpOption();
    const QCommandLineOption version = front.addVersionOption();
    addGlobalOptions(front);
    front.addPositionalArgument(QStringLiteral("command"), tr("What to do; see below."),
                                QStringLiteral("COMMAND [ARGS...]"));
    front.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!front.parse(arguments))
        return usageError(out, front.errorText());
    const QStringList positional = front.positionalArguments();
    if (positional.isEmpty()) {
        if (front.isSet(version))
            return out.write(QStringLiteral("px8107ctl %1\n").arg(PX8107_VERSION))
                       ? 0
                       : toInt(ExitCode::OutputError);
        if (front.isSet(help))
            return out.write(overview(front)) ? 0 : toInt(ExitCode::OutputError);
        return usageError(out, tr("no command given; px8107ctl --help lists them"));
    }
    const CommandRow *command = findCommand(positional.first());
    if (!command)
        return usageError(
            out, tr("unknown command '%1'; px8107ctl --help lists them").arg(positional.first()));

    QStringList commandArguments = arguments;
    commandArguments.removeAt(arguments.size() - positional.size());
    QCommandLineParser parser;
    parser.setApplicationDescription(tr(command->summary));
    parser.addHelpOption();
    addGlobalOptions(parser);
    command->addOptions(parser);
    const QString syntax = QLatin1String(command->arguments);
    parser.addPositionalArgument(
        QLatin1String(command->name),
        syntax.isEmpty() ? tr("The command.")
                         : tr("The command, then %1; px8107ctl keys lists the keys.").arg(syntax),
        QLatin1String(command->name) + QLatin1Char(' ') + syntax);
    if (!parser.parse(commandArguments))
        return usageError(
            out, QStringLiteral("%1: %2").arg(QLatin1String(command->name), parser.errorText()));
    if (parser.isSet(help))
        return out.write(parser.helpText()) ? 0 : toInt(ExitCode::OutputError);

    QString error;
    const std::optional<GlobalOptions> options = readGlobalOptions(parser, &error);
    if (!options)
        return usageError(out, error);
    if (QLatin1String(command->arguments).isEmpty() && !parser.positionalArguments().isEmpty())
        return usageError(
            out, tr("%1: unexpected argument '%2'")
                     .arg(QLatin1String(command->name), parser.positionalArguments().first()));
    Session session(parser, *options, out);
    return toInt(command->run(session));
}
