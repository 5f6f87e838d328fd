#include "phonelink.h"

#include "ws.h"

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
        QString text = QString::fromUtf8(QByteArray::fromPercentEncoding(number.toUtf8()));

        QString digits = text;
        QString dial;
        WS::extractNumber(digits, dial);
        const bool frenchInternational =
            dial.size() == 13 && dial.startsWith(u"0033") && dial.at(4) != u'0';
        if (frenchInternational)
            text = u'0' + dial.mid(4);
        return text;
    }
    return std::nullopt;
}

} // namespace PhoneLink
