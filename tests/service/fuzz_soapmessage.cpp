// libFuzzer target: a reply's body read as SOAP. Whatever it holds, it reads without a crash,
// and what is not SOAP reads as a fault of the client's.

#include "service/soapmessage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SoapMessage message;
    const bool soap =
        message.setContent(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!soap && (!message.isFault() || message.faultCode() != QLatin1String("SOAP-ENV:Client")))
        std::abort();
    return 0;
}
