#include "service/soapmessage.h"

#include <QTest>

namespace {

const QByteArray open = "<e:Envelope xmlns:e=\"http://schemas.xmlsoap.org/soap/envelope/\">";

QByteArray envelope(const QByteArray &body)
{
    return "<?xml version=\"1.0\"?>" + open + "<e:Body>" + body + "</e:Body></e:Envelope>";
}

QByteArray nested(int depth) // Envelope and Body count
{
    return envelope(QByteArray("<a>").repeated(depth - 2) + QByteArray("</a>").repeated(depth - 2));
}

QByteArray faultEnvelope(const QByteArray &inside)
{
    return envelope("<e:Fault>" + inside + "</e:Fault>");
}

QByteArray attributes() // as many as allowed, the namespace's too
{
    QByteArray element = "<r xmlns:p='urn:p'";
    for (int i = 2; i <= SoapMessage::maxAttributes; ++i)
        element += " a" + QByteArray::number(i) + "='>'";
    return element;
}

} // namespace

class TestSoapMessage : public QObject
{
    Q_OBJECT

private slots:
    void fault_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("faultCode");
        QTest::addColumn<QString>("faultString");
        const QByteArray marked = "<faultcode> e:Client </faultcode><faultstring>Mot de passe &lt;"
                                  "faux&gt; &amp; <b>refusé</b></faultstring><detail><x>1</x>"
                                  "</detail>";
        const QByteArray empty = "<faultcode>e:Server</faultcode><faultstring/>";
        const QByteArray qualified = "<e:faultstring>Panne</e:faultstring>";
        const QString client = "e:Client", server = "e:Server", none;
        QTest::addRow("fault") << faultEnvelope(marked) << client << "Mot de passe <faux> & refusé";
        QTest::addRow("empty faultstring") << faultEnvelope(empty) << server << none;
        QTest::addRow("qualified children") << faultEnvelope(qualified) << none << "Panne";
    }

    void fault()
    {
        QFETCH(QByteArray, xml);
        SoapMessage message;
        QVERIFY(message.setContent(xml));
        QVERIFY(message.isFault());
        QTEST(message.faultCode(), "faultCode");
        QTEST(message.faultString(), "faultString");
    }

    void reply_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addRow("response element")
            << envelope("<ns:r xmlns:ns=\"urn:p\"><return>OK</return></ns:r>");
        QTest::addRow("header first")
            << open + "<e:Header><t/></e:Header><e:Body><r/></e:Body></e:Envelope>";
        QTest::addRow("markup hidden in comment, CDATA, quotes")
            << envelope("<!-- a=1 b=2 --><r x='=\"=' y=\"='\"><![CDATA[=====]]></r>");
        QTest::addRow("depth at the limit") << nested(SoapMessage::maxDepth);
        QTest::addRow("attributes at the limit") << envelope(attributes() + "/>");
    }

    void reply()
    {
        QFETCH(QByteArray, xml);
        SoapMessage message;
        message.setFault("stale", "stale");
        QVERIFY(message.setContent(xml));
        QVERIFY(!message.isFault());
        QCOMPARE(message.faultCode(), QString());
        QCOMPARE(message.faultString(), QString());
    }

    void refuse_data()
    {
        // A reply that is not SOAP reads as a fault of the client's, saying why.
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("reason");
        const QString parseError = "XML parse error", invalid = "SOAP structure invalid";
        QByteArray namespaces; // one each, the envelope's too
        for (int i = 1; i <= SoapMessage::maxAttributes; ++i)
            namespaces += "<n xmlns:p" + QByteArray::number(i) + "='u'/>";
        QTest::addRow("too deep") << nested(SoapMessage::maxDepth + 1) << invalid;
        QTest::addRow("too many attributes") << envelope(attributes() + " z=''/>") << invalid;
        QTest::addRow("too many namespaces") << envelope(namespaces) << invalid;
        QTest::addRow("empty body") << envelope("") << invalid;
        QTest::addRow("html page")
            << QByteArray("<html><body>502 Bad Gateway</body></html>") << invalid;
        const QByteArray soap12 = "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\">"
                                  "<e:Body><r/></e:Body></e:Envelope>";
        QTest::addRow("SOAP 1.2") << soap12 << invalid;
        QTest::addRow("body outside the namespace")
            << open + "<Body><r/></Body></e:Envelope>" << invalid;
        QTest::addRow("document type")
            << "<!DOCTYPE e:Envelope [<!ENTITY x \"OK\">]>" + envelope("<r>&x;</r>").mid(21)
            << invalid;
        QTest::addRow("empty document") << QByteArray() << parseError;
        QTest::addRow("plain text") << QByteArray("Service indisponible") << parseError;
        QTest::addRow("truncated") << envelope("<r/>").chopped(20) << parseError;
        QTest::addRow("garbage after the envelope") << envelope("<r/>") + "<more/>" << parseError;
    }

    void refuse()
    {
        QFETCH(QByteArray, xml);
        SoapMessage message;
        QVERIFY(!message.setContent(xml));
        QVERIFY(message.isFault());
        QCOMPARE(message.faultCode(), "SOAP-ENV:Client");
        QTEST(message.faultString(), "reason");
    }
};

QTEST_GUILESS_MAIN(TestSoapMessage)
#include "tst_soapmessage.moc"
