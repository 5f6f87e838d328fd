#include "privateplace.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// A directory, not a link, owned by this user and closed to everyone else.
bool isPrivate(const QString &path)
{
    struct stat st = {};
    return QDir::isAbsolutePath(path) && ::lstat(encoded(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// `name` under `base`, made 0700 when missing, and kept only if it is private.
QString ownFolder(const QString &base, const QString &name)
{
    if (base.isEmpty() || !QDir::isAbsolutePath(base) || !QDir().mkpath(base))
        return {};
    const QString path = QDir::cleanPath(base + u'/' + name);
    ::mkdir(encoded(path).constData(), 0700);
    // One of ours that no one else can write into, made under another umask: close it. One that
    // others could write into may hold what they left there: refused.
    struct stat st = {};
    if (::lstat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 022) == 0)
        ::chmod(encoded(path).constData(), 0700);
    return isPrivate(path) ? path : QString();
}

// A home shared between machines must not show one machine's socket to another.
QString hostFolderName()
{
    QString host = QSysInfo::machineHostName();
    for (QChar &c : host)
        if (!c.isLetterOrNumber() && c != u'-' && c != u'.')
            c = u'_';
    return QStringLiteral("tintelle-") + (host.isEmpty() ? QStringLiteral("host") : host);
}

} // namespace

PrivatePlace::Candidates PrivatePlace::candidates()
{
    Candidates where;
    // Not XDG_RUNTIME_DIR: a session may name a folder of its own there, and a start through su,
    // ssh or cron none, and the two would guard different folders. The tests give each test a
    // folder of its own in the account's stead.
    where.accountRuntime = qEnvironmentVariable("TINTELLE_TEST_ACCOUNT_RUNTIME",
                                                QStringLiteral("/run/user/%1").arg(::geteuid()));
    // HOME may be another account's after su; the account database is not.
    if (const passwd *account = ::getpwuid(::geteuid()); account && account->pw_dir)
        where.home = QFile::decodeName(account->pw_dir);
    return where;
}

QString PrivatePlace::folder(const Candidates &where)
{
    if (isPrivate(where.accountRuntime))
        if (const QString folder = ownFolder(where.accountRuntime, QStringLiteral("tintelle"));
            !folder.isEmpty())
            return folder;
    if (!QDir::isAbsolutePath(where.home) || QDir::cleanPath(where.home) == QDir::rootPath())
        return {};
    for (const QString &base : {QStringLiteral("/.cache"), QStringLiteral("/.config")})
        if (const QString folder = ownFolder(where.home + base, hostFolderName());
            !folder.isEmpty())
            return folder;
    return {};
}
