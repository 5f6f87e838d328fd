#include "service/soapmessage.h"

#include <QTest>

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
    QTest::addColumn<QString>("faultString"); // or the refusal of a reply that is not SOAP

    const QByteArray open = "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">";
    const auto envelope = [&](const QByteArray &body) {
        return "<?xml version=\"1.0\"?>" + open + "<e:Body>" + body + "</e:Body></e:Envelope>";
    };
    const auto row = [](const char *name, const QByteArray &xml, const char *code,
                        const char *string) {
        QTest::newRow(name) << xml << QString::fromUtf8(code) << QString::fromUtf8(string);
    };
    const auto nested = [&](int depth) { // Envelope and Body count
        return envelope(QByteArray("<a>").repeated(depth - 2) +
                        QByteArray("</a>").repeated(depth - 2));
    };
    QByteArray attributes = "<r xmlns:p='urn:p'";
    for (int i = 2; i <= SoapMessage::maxAttributes; ++i)
        attributes += " a" + QByteArray::number(i) + "='>'";
    QByteArray namespaces; // one each, the envelope's too
    for (int i = 1; i <= SoapMessage::maxAttributes; ++i)
        namespaces += "<n xmlns:p" + QByteArray::number(i) + "='u'/>";
    const char *parseError = "XML parse error", *invalid = "SOAP structure invalid";
    const char *client = "SOAP-ENV:Client";

    row("fault",
        envelope("<e:Fault><faultcode> e:Client </faultcode><faultstring>Mot de passe &lt;faux&gt; "
                 "&amp; <b>refusé</b></faultstring><detail><x>1</x></detail></e:Fault>"),
        "e:Client", "Mot de passe <faux> & refusé");
    row("empty faultstring",
        envelope("<e:Fault><faultcode>e:Server</faultcode><faultstring/>"
                 "</e:Fault>"),
        "e:Server", "");
    row("qualified children", envelope("<e:Fault><e:faultstring>Panne</e:faultstring></e:Fault>"),
        "", "Panne");
    row("response element", envelope("<ns:r xmlns:ns=\"urn:p\"><return>OK</return></ns:r>"), "-",
        "");
    row("header first", open + "<e:Header><t/></e:Header><e:Body><r/></e:Body></e:Envelope>", "-",
        "");
    row("markup hidden in comment, CDATA, quotes",
        envelope("<!-- a=1 b=2 --><r x='=\"=' y=\"='\"><![CDATA[=====]]></r>"), "-", "");
    row("depth at the limit", nested(SoapMessage::maxDepth), "-", "");
    row("attributes at the limit", envelope(attributes + "/>"), "-", "");
    row("too deep", nested(SoapMessage::maxDepth + 1), client, invalid);
    row("too many attributes", envelope(attributes + " z=''/>"), client, invalid);
    row("too many namespaces", envelope(namespaces), client, invalid);
    row("empty body", envelope(""), client, invalid);
    row("html page", "<html><body>502 Bad Gateway</body></html>", client, invalid);
    row("SOAP 1.2",
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body><r/>"
        "</e:Body></e:Envelope>",
        client, invalid);
    row("body outside the namespace", open + "<Body><r/></Body></e:Envelope>", client, invalid);
    row("document type",
        "<!DOCTYPE e:Envelope [<!ENTITY x \"OK\">]>" + envelope("<r>&x;</r>").mid(21), client,
        invalid);
    row("empty document", "", client, parseError);
    row("plain text", "Service indisponible", client, parseError);
    row("truncated", envelope("<r/>").chopped(20), client, parseError);
    row("garbage after the envelope", envelope("<r/>") + "<more/>", client, parseError);
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
