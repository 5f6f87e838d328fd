#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <optional>

// The program's own command line: --help, --version, --autostart, --quit and one optional tel: or
// callto: link.
// Exit statuses: 0 after --help or --version, 2 for a command line the program cannot use; after
// --quit, those of SingleInstance::Stop.
class CommandLine
{
    Q_DECLARE_TR_FUNCTIONS(CommandLine)

public:
    // Answers --help and --version on standard output from the raw arguments, before the
    // application object exists, so that neither needs a display nor reads the settings. Returns
    // the exit status when it answered, nothing when the program is to start.
    static std::optional<int> handleHelpAndVersion(int argc, char *argv[]);

    // How many arguments, from the program's name on, may be options: those before the first
    // link, "--" or "--single-argument" (the link handler's, after which the rest of the command
    // line is one link). Only those are handed to Qt, so that no text of a link can ever reach
    // Qt's own options (-stylesheet, -platformpluginpath...), whatever a launcher did with quotes.
    static int optionCount(const QStringList &arguments);

    // Reads the arguments once the application object has taken Qt's own options (-platform,
    // -style...) out of them. After a link, "--" or "--single-argument", nothing is an option.
    // What it cannot use is reported with the usage on standard error.
    explicit CommandLine(const QStringList &arguments);

    // False for an unknown option, more than one argument, or an argument that is not a tel: or
    // callto: link: the program then ends with status 2.
    bool isValid() const;
    bool hasLink() const;
    // Started by the session's autostart entry: an account that never set the program up is left
    // alone, and a copy already running is not asked for anything.
    bool isAutostart() const;
    // Asks the edition's running copy to end, as its quit entry does, and waits for it: how an
    // installer or uninstaller frees the program's files before it touches them.
    bool isQuit() const;
    // The number of the link as text for the recogniser (PhoneLink::numberText); empty without
    // a link.
    QString linkText() const;

private:
    bool valid = false;
    bool link = false;
    bool session = false;
    bool quitting = false;
    QString text;
};
