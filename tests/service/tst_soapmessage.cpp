#include "soapmessage.h"

#include <QTest>

namespace {

QByteArray envelope(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?>"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<SOAP-ENV:Body>" +
           body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

} // namespace

class TestSoapMessage : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void unqualifiedMethod();
    void parse_data();
    void parse();
    void faultSerialised();
};

void TestSoapMessage::roundTrip_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QStringList>("values");

    QTest::addRow("plain") << "urn:provider" << QStringList{"alice", "secret", "0123"};
    QTest::addRow("markup characters")
        << "https://example.test/a?b=1&c=2" << QStringList{"a&b", "<x>", "\"'", "]]>"};
    QTest::addRow("accents and symbols") << "urn:p" << QStringList{"éàçœ€", "日本", "😀"};
    QTest::addRow("empty and blank values") << "urn:p" << QStringList{"", " ", "\t  x  "};
}

// What one side writes, the other side must read back unchanged.
void TestSoapMessage::roundTrip()
{
    QFETCH(QString, uri);
    QFETCH(QStringList, values);

    SoapMessage request;
    request.setMethod("telephonyClick2CallDo", uri);
    for (qsizetype i = 0; i < values.size(); ++i)
        request.addMethodArgument(QStringLiteral("arg%1").arg(i), QString(), values.at(i));

    SoapMessage read;
    QVERIFY(read.setContent(request.toXml()));
    QVERIFY(!read.isFault());
    QCOMPARE(read.methodName(), QString("telephonyClick2CallDo"));
    QCOMPARE(read.methodUri(), uri);
    QCOMPARE(read.arguments().size(), values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        QCOMPARE(read.arguments().at(i).name, QStringLiteral("arg%1").arg(i));
        QCOMPARE(read.arguments().at(i).uri, QString());
        QCOMPARE(read.arguments().at(i).value, values.at(i));
    }
}

void TestSoapMessage::unqualifiedMethod()
{
    SoapMessage request;
    request.setMethod("ping");
    request.addMethodArgument("qualified", "urn:q", "v");
    const QByteArray xml = request.toXml();
    QVERIFY2(xml.contains("<ping>"), xml.constData());

    SoapMessage read;
    QVERIFY(read.setContent(xml));
    QCOMPARE(read.methodUri(), QString());
    QCOMPARE(read.arguments().first().uri, QString("urn:q"));
}

void TestSoapMessage::parse_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("fault");
    QTest::addColumn<QString>("faultCode");
    QTest::addColumn<QString>("faultString");
    QTest::addColumn<QString>("method");

    const QByteArray faultOpen = "<SOAP-ENV:Fault>";
    const QByteArray faultClose = "</SOAP-ENV:Fault>";
    QTest::addRow("fault with text")
        << envelope(faultOpen +
                    "<faultcode>SOAP-ENV:Client</faultcode>"
                    "<faultstring>Mot de passe &lt;incorrect&gt; &amp; refusé</faultstring>"
                    "<detail><x>1</x></detail>" +
                    faultClose)
        << true << true << "SOAP-ENV:Client"
        << "Mot de passe <incorrect> & refusé"
        << "";
    QTest::addRow("fault with empty faultstring")
        << envelope(faultOpen + "<faultcode>SOAP-ENV:Server</faultcode><faultstring/>" + faultClose)
        << true << true << "SOAP-ENV:Server"
        << ""
        << "";
    QTest::addRow("fault without children") << envelope("<SOAP-ENV:Fault/>") << true << true << ""
                                            << ""
                                            << "";
    QTest::addRow("fault with qualified children")
        << envelope(faultOpen +
                    "<SOAP-ENV:faultcode> SOAP-ENV:Server </SOAP-ENV:faultcode>"
                    "<SOAP-ENV:faultstring>Indisponible</SOAP-ENV:faultstring>" +
                    faultClose)
        << true << true << "SOAP-ENV:Server"
        << "Indisponible"
        << "";
    QTest::addRow("method response")
        << envelope("<ns:telephonyClick2CallDoResponse xmlns:ns=\"urn:p\"><return>OK</return>"
                    "</ns:telephonyClick2CallDoResponse>")
        << true << false << ""
        << ""
        << "telephonyClick2CallDoResponse";
    QTest::addRow("empty body") << envelope("") << true << false << ""
                                << ""
                                << "";
    QTest::addRow("header before body")
        << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                      "<e:Header><t>1</t></e:Header><e:Body><r/></e:Body></e:Envelope>")
        << true << false << ""
        << ""
        << "r";

    QTest::addRow("empty document") << QByteArray() << false << true << "SOAP-ENV:Client"
                                    << "XML parse error"
                                    << "";
    QTest::addRow("plain text") << QByteArray("Service indisponible") << false << true
                                << "SOAP-ENV:Client"
                                << "XML parse error"
                                << "";
    QTest::addRow("truncated envelope")
        << envelope("<r/>").chopped(20) << false << true << "SOAP-ENV:Client"
        << "XML parse error"
        << "";
    QTest::addRow("garbage after envelope")
        << envelope("<r/>") + "<more/>" << false << true << "SOAP-ENV:Client"
        << "XML parse error"
        << "";
    QTest::addRow("fault after which the document breaks")
        << envelope(faultOpen + "<faultstring>x</faultstring>" + faultClose)
               .replace("</SOAP-ENV:Envelope>", "</SOAP-ENV:Envelop>")
        << false << true << "SOAP-ENV:Client"
        << "XML parse error"
        << "";
    QTest::addRow("html page") << QByteArray("<html><body>502 Bad Gateway</body></html>") << false
                               << true << "SOAP-ENV:Client"
                               << "SOAP structure invalid"
                               << "";
    QTest::addRow("SOAP 1.2 envelope")
        << QByteArray("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\">"
                      "<e:Body/></e:Envelope>")
        << false << true << "SOAP-ENV:Client"
        << "SOAP structure invalid"
        << "";
    QTest::addRow("envelope without body")
        << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\"/>")
        << false << true << "SOAP-ENV:Client"
        << "SOAP structure invalid"
        << "";
    QTest::addRow("body outside the envelope namespace")
        << QByteArray("<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                      "<Body><r/></Body></e:Envelope>")
        << false << true << "SOAP-ENV:Client"
        << "SOAP structure invalid"
        << "";
    QTest::addRow("document type declaration")
        << QByteArray("<!DOCTYPE e:Envelope [<!ENTITY x \"Appel accepté\">]>") +
               envelope("<r>&x;</r>").mid(21)
        << false << true << "SOAP-ENV:Client"
        << "SOAP structure invalid"
        << "";
}

void TestSoapMessage::parse()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, valid);
    QFETCH(bool, fault);
    QFETCH(QString, faultCode);
    QFETCH(QString, faultString);
    QFETCH(QString, method);

    SoapMessage message;
    message.setMethod("stale", "urn:stale");
    QCOMPARE(message.setContent(xml), valid);
    QCOMPARE(message.isFault(), fault);
    QCOMPARE(message.faultCode(), faultCode);
    QCOMPARE(message.faultString(), faultString);
    QCOMPARE(message.methodName(), method);
}

void TestSoapMessage::faultSerialised()
{
    SoapMessage message;
    message.setFault("SOAP-ENV:Server", "Panne & retard");
    SoapMessage read;
    QVERIFY(read.setContent(message.toXml()));
    QVERIFY(read.isFault());
    QCOMPARE(read.faultCode(), QString("SOAP-ENV:Server"));
    QCOMPARE(read.faultString(), QString("Panne & retard"));
}

QTEST_GUILESS_MAIN(TestSoapMessage)
#include "tst_soapmessage.moc"
