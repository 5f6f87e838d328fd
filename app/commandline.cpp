#include "commandline.h"

#include "app/phonelink.h"
#include "app/versionconfig.h"
#include "edition/edition.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

namespace {

const QString help = QStringLiteral("help");
const QString version = QStringLiteral("version");
const QString autostart = QStringLiteral("autostart");
const QString quit = QStringLiteral("quit");
const QString endOfOptions = QStringLiteral("--");
const QString singleArgument = QStringLiteral("--single-argument");

// Qt's own options are single-dash words (-platform, -stylesheet): read as long options, they
// are never mistaken for a run of short ones such as -h.
void describe(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        CommandLine::tr("Appelle le numéro de téléphone copié dans le presse-papiers."));
    parser.addOption({{QStringLiteral("h"), help}, CommandLine::tr("Affiche cette aide.")});
    parser.addOption({{QStringLiteral("v"), version}, CommandLine::tr("Affiche la version.")});
    parser.addOption(
        {autostart, CommandLine::tr("Lancement avec la session : sans identifiant "
                                    "enregistré, quitte aussitôt sans rien afficher.")});
    parser.addOption(
        {quit, CommandLine::tr("Ferme l'exemplaire lancé, comme « Quitter », une fois son appel "
                               "en cours terminé, et attend sa fin. Statut : 0 s'il s'est "
                               "fermé, 1 si aucun ne tournait, 3 s'il tourne encore.")});
    parser.addPositionalArgument(
        CommandLine::tr("lien"),
        CommandLine::tr("Lien tel: ou callto: dont le numéro s'affiche dans la fenêtre d'appel."),
        CommandLine::tr("[lien]"));
}

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

std::optional<int> CommandLine::handleHelpAndVersion(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    describe(parser);
    // Errors wait for the second reading: among the raw arguments are Qt's own options.
    parser.parse(arguments);
    if (!parser.isSet(help) && !parser.isSet(version))
        return std::nullopt;

    // A core application needs no display; it names the program in the usage and the edition.
    QCoreApplication application(argc, argv);
    Edition::selectForExecutable(QCoreApplication::applicationFilePath());
    if (parser.isSet(help))
        print(stdout, parser.helpText());
    else
        print(stdout, QCoreApplication::applicationName() + u' ' +
                          QStringLiteral(TINTELLE_VERSION) + u'\n');
    return 0;
}

int CommandLine::optionCount(const QStringList &arguments)
{
    int count = 1;
    while (count < arguments.size() && arguments.at(count) != endOfOptions &&
           arguments.at(count) != singleArgument && !PhoneLink::numberText(arguments.at(count)))
        ++count;
    return qMin(count, int(arguments.size()));
}

CommandLine::CommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    describe(parser);
    const int options = optionCount(arguments);
    QStringList rest = arguments.mid(options);
    if (!rest.isEmpty() &&
        (rest.constFirst() == endOfOptions || rest.constFirst() == singleArgument))
        rest.removeFirst();
    QString error;
    if (!parser.parse(arguments.mid(0, options) + QStringList{endOfOptions} + rest)) {
        error = parser.errorText();
    } else if (parser.positionalArguments().size() > 1) {
        error = tr("Un seul lien à la fois.");
    } else if (parser.isSet(quit) && !parser.positionalArguments().isEmpty()) {
        error = tr("--quit ne prend pas de lien.");
    } else if (!parser.positionalArguments().isEmpty()) {
        const QString argument = parser.positionalArguments().constFirst();
        const std::optional<QString> number = PhoneLink::numberText(argument);
        if (number) {
            link = true;
            text = *number;
        } else {
            error = tr("« %1 » n'est pas un lien tel: ou callto:.").arg(argument);
        }
    }
    session = parser.isSet(autostart);
    quitting = parser.isSet(quit);
    valid = error.isEmpty();
    if (!valid)
        print(stderr, error + u'\n' + parser.helpText());
}

bool CommandLine::isValid() const
{
    return valid;
}

bool CommandLine::hasLink() const
{
    return link;
}

bool CommandLine::isAutostart() const
{
    return session;
}

bool CommandLine::isQuit() const
{
    return quitting;
}

QString CommandLine::linkText() const
{
    return text;
}
