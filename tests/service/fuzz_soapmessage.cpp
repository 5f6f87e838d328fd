// libFuzzer target: any reply body reads as SOAP without a crash; what is not, as a client fault.

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
