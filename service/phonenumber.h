#pragma once

#include <QString>

// The rules that find a French telephone number in any text and give the form the provider
// dials. Pure functions on Qt Core: no network, no settings.
namespace PhoneNumber {

// Searches `text` for the first callable number. Found: `text` becomes its digits and
// `dialNumber` the form sent to the service. Not found: `text` is cleared and `dialNumber`
// left alone. Both may be the same string, which then ends holding the dial form.
// Linear in the length of `text`.
QString &extract(QString &text, QString &dialNumber);

// Turns "+" into "00", drops everything from the first "(" to the last ")", then every
// non-digit.
QString &normalize(QString &number);

} // namespace PhoneNumber
