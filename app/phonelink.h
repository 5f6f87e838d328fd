#pragma once

#include <QString>
#include <optional>

// Telephone links as browsers and mail programs hand them over: tel: (RFC 3966) and callto:.
namespace PhoneLink {

// The text of the link's number, for the number recogniser as if it had been copied: the scheme
// (in any letter case) and the parameters after ";" are dropped, the rest is percent-decoded
// ("callto://" keeps its slashes, which the recogniser ignores). The number is recognised once,
// by whoever opens its dialog. Nothing when `argument` is not a tel: or callto: link.
std::optional<QString> numberText(const QString &argument);

} // namespace PhoneLink
