// libFuzzer target: replies read the same whole and split where the first byte says, in bounds.

#include "service/httpreplyreader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView bytes(data + 1, qsizetype(size - 1));
    const qsizetype split = qMin<qsizetype>(data[0], bytes.size());
    HttpReplyReader whole, pieces;
    whole.feed(bytes);
    pieces.feed(bytes.first(split));
    pieces.feed(bytes.sliced(split));
    const bool closed = data[0] % 2;
    const auto state = closed ? whole.end() : whole.state();
    if (state != (closed ? pieces.end() : pieces.state()) || whole.detail() != pieces.detail() ||
        whole.body() != pieces.body() || whole.body().size() > HttpReplyReader::maxBodySize ||
        (state == HttpReplyReader::State::Complete &&
         (whole.status() / 100 == 3 || whole.status() < 200)))
        std::abort();
    return 0;
}
