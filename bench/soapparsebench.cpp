// Time to read a reply of the worst shapes that fit under the reply cap
// (SoapHttpTransport::maxReplySize), on Google Benchmark. Every reply under the cap must be read
// in well under 50 ms, on the GUI thread. "unguarded reader" times QXmlStreamReader alone on the
// attribute shape, which SoapMessage refuses before the reader's quadratic attribute checks.
//
//   bench_soapparse [benchmark options]

#include "service/soaphttptransport.h"
#include "service/soapmessage.h"

#include <QXmlStreamReader>
#include <benchmark/benchmark.h>
#include <functional>

namespace {

constexpr qsizetype cap = SoapHttpTransport::maxReplySize;
const QByteArray open = "<?xml version=\"1.0\"?><e:Envelope "
                        "xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Body>";
const QByteArray close = "</e:Body></e:Envelope>";

// `unit` repeated into the Body, as often as the cap allows with `tail` after it.
QByteArray filled(const QByteArray &head, const std::function<QByteArray(int)> &unit,
                  const QByteArray &tail)
{
    QByteArray body = open + head;
    for (int i = 0;; ++i) {
        const QByteArray next = unit(i);
        if (body.size() + next.size() + tail.size() + close.size() > cap)
            break;
        body += next;
    }
    return body + tail + close;
}

QByteArray deep()
{
    const qsizetype levels = (cap - open.size() - close.size()) / 7;
    return open + QByteArray("<a>").repeated(levels) + QByteArray("</a>").repeated(levels) + close;
}

QByteArray oneElementAttributes()
{
    return filled(
        "<r", [](int i) { return " a" + QByteArray::number(i) + "=''"; }, "/>");
}

// Elements each at the attribute limit: all of them pass the count and reach the reader.
QByteArray elementsAtTheLimit()
{
    return filled(
        "",
        [](int i) {
            QByteArray element = "<r" + QByteArray::number(i);
            for (int a = 0; a < SoapMessage::maxAttributes; ++a)
                element += " a" + QByteArray::number(a) + "=''";
            return element + "/>";
        },
        "");
}

// As many namespace declarations as allowed (the envelope's included), all in scope of elements
// whose prefixes are looked up.
QByteArray namespaces()
{
    QByteArray head = "<x";
    for (int n = 1; n < SoapMessage::maxAttributes; ++n)
        head += " xmlns:p" + QByteArray::number(n) + "='u'";
    return filled(
        head + ">", [](int i) { return "<p" + QByteArray::number(1 + i % 63) + ":y/>"; }, "</x>");
}

QByteArray longName()
{
    return filled(
        "<", [](int) { return QByteArray("n"); }, "/>");
}

QByteArray entities()
{
    return filled(
        "<e:Fault><faultstring>",
        [](int i) { return i % 2 ? QByteArray("&amp;&lt;&gt;") : QByteArray("&#233;&#x20AC;"); },
        "</faultstring></e:Fault>");
}

QByteArray realReply()
{
    return open +
           "<ns1:telephonyClick2CallDoResponse xmlns:ns1=\"urn:p\"><return "
           "xsi:type=\"xsd:string\">Appel lancé</return></ns1:telephonyClick2CallDoResponse>" +
           close;
}

void parse(benchmark::State &state, const QByteArray &reply)
{
    for (auto _ : state) {
        SoapMessage message;
        benchmark::DoNotOptimize(message.setContent(reply));
    }
    state.SetBytesProcessed(state.iterations() * reply.size());
    state.counters["bytes"] = double(reply.size());
}

void unguarded(benchmark::State &state, const QByteArray &reply)
{
    for (auto _ : state) {
        QXmlStreamReader xml(reply);
        while (!xml.atEnd())
            xml.readNext();
    }
    state.counters["bytes"] = double(reply.size());
}

} // namespace

int main(int argc, char *argv[])
{
    const std::pair<const char *, QByteArray> shapes[] = {
        {"real reply", realReply()},
        {"nesting", deep()},
        {"attributes, one element", oneElementAttributes()},
        {"attributes, elements at the limit", elementsAtTheLimit()},
        {"namespaces", namespaces()},
        {"long name", longName()},
        {"entities", entities()},
    };
    for (const auto &[name, reply] : shapes) {
        benchmark::RegisterBenchmark((std::string("SoapMessage/") + name).c_str(), parse, reply)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("unguarded reader/attributes, one element", unguarded,
                                 oneElementAttributes())
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
