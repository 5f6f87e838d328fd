#include "phonelink.h"

#include <QByteArray>
#include <QStringList>

namespace {

const QStringList schemes = {QStringLiteral("tel:"), QStringLiteral("callto:")};

} // namespace

namespace PhoneLink {

std::optional<QString> numberText(const QString &argument)
{
    for (const QString &scheme : schemes) {
        if (!argument.startsWith(scheme, Qt::CaseInsensitive))
            continue;
        // Split before decoding: an encoded ";" belongs to the number, not to a parameter.
        const QString number = argument.mid(scheme.size()).section(u';', 0, 0);
        return QString::fromUtf8(QByteArray::fromPercentEncoding(number.toUtf8()));
    }
    return std::nullopt;
}

} // namespace PhoneLink
