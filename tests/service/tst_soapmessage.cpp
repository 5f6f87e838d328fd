#include "soapmessage.h"

#include <QTest>

namespace {

QByteArray envelope(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?><e:Envelope "
           "xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<e:Body>" +
           body + "</e:Body></e:Envelope>";
}

QByteArray nested(int depth)
{
    return QByteArray("<a>").repeated(depth - 2) + QByteArray("</a>").repeated(depth - 2);
}

QByteArray attributes(int count)
{
    QByteArray element = "<r xmlns:p=\"urn:p\"";
    for (int i = 1; i < count; ++i)
        element += " a" + QByteArray::number(i) + "='>'";
    return element + "/>";
}

} // namespace

class TestSoapMessage : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
};

void TestSoapMessage::parse_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("faultCode");   // "-": no fault
    QTest::addColumn<QString>("faultString"); // also the refusal of a reply that is no SOAP

    const auto add = [](const char *name, const QByteArray &xml, const char *code,
                        const char *string) {
        QTest::newRow(name) << xml << QString::fromUtf8(code) << QString::fromUtf8(string);
    };
    const char *parseError = "XML parse error", *invalid = "SOAP structure invalid";
    add("fault with text",
        envelope("<e:Fault><faultcode>e:Client</faultcode><faultstring>Mot de passe &lt;faux&gt; "
                 "&amp; <b>refusé</b></faultstring><detail><x>1</x></detail></e:Fault>"),
        "e:Client", "Mot de passe <faux> & refusé");
    add("empty faultstring",
        envelope("<e:Fault><faultcode> e:Server </faultcode><faultstring/></e:Fault>"), "e:Server",
        "");
    add("qualified fault children",
        envelope("<e:Fault><e:faultstring>Indisponible</e:faultstring></e:Fault>"), "",
        "Indisponible");
    add("response element", envelope("<ns:r xmlns:ns=\"urn:p\"><return>OK</return></ns:r>"), "-",
        "");
    add("header before body",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><e:Header><t/>"
        "</e:Header><e:Body><r/></e:Body></e:Envelope>",
        "-", "");
    add("comment, CDATA and quotes hide markup",
        envelope("<!-- a=1 b=2 --><r x='=\"=' y=\"='\"><![CDATA[=====]]></r>"), "-", "");
    add("depth at the limit", envelope(nested(SoapMessage::maxDepth)), "-", "");
    add("attributes at the limit", envelope(attributes(SoapMessage::maxAttributes)), "-", "");
    add("empty body", envelope(""), "SOAP-ENV:Client", invalid);
    add("too deep", envelope(nested(SoapMessage::maxDepth + 1)), "SOAP-ENV:Client", invalid);
    add("too many attributes", envelope(attributes(SoapMessage::maxAttributes + 1)),
        "SOAP-ENV:Client", invalid);
    add("html page", "<html><body>502 Bad Gateway</body></html>", "SOAP-ENV:Client", invalid);
    add("SOAP 1.2",
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><r/>"
        "</e:Body></e:Envelope>",
        "SOAP-ENV:Client", invalid);
    add("body outside the namespace",
        "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"><Body><r/></Body>"
        "</e:Envelope>",
        "SOAP-ENV:Client", invalid);
    add("document type declaration",
        "<!DOCTYPE e:Envelope [<!ENTITY x \"OK\">]>" + envelope("<r>&x;</r>").mid(21),
        "SOAP-ENV:Client", invalid);
    add("empty document", "", "SOAP-ENV:Client", parseError);
    add("plain text", "Service indisponible", "SOAP-ENV:Client", parseError);
    add("truncated", envelope("<r/>").chopped(20), "SOAP-ENV:Client", parseError);
    add("garbage after the envelope", envelope("<r/>") + "<more/>", "SOAP-ENV:Client", parseError);
}

void TestSoapMessage::parse()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, faultCode);
    QFETCH(QString, faultString);

    SoapMessage message;
    message.setFault("stale", "stale");
    const bool soap = faultString != "XML parse error" && faultString != "SOAP structure invalid";
    QCOMPARE(message.setContent(xml), soap);
    QCOMPARE(message.isFault(), faultCode != "-");
    QCOMPARE(message.faultCode(), faultCode == "-" ? QString() : faultCode);
    QCOMPARE(message.faultString(), faultString);
}

QTEST_GUILESS_MAIN(TestSoapMessage)
#include "tst_soapmessage.moc"
