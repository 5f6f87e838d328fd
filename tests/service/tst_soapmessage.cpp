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
    void read_data()
    {
        // What a reply reads as; one that is not SOAP as a fault of the client's, saying why.
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("soap");
        QTest::addColumn<QString>("faultCode");
        QTest::addColumn<QString>("faultString");
        const auto reply = [](const char *name, const QByteArray &xml, const QString &code = {},
                              const QString &string = {}) {
            QTest::addRow("%s", name) << xml << true << code << string;
        };
        const auto refused = [](const char *name, const QByteArray &xml, const QString &reason) {
            QTest::addRow("%s", name) << xml << false << QString("SOAP-ENV:Client") << reason;
        };
        const QByteArray marked = "<faultcode> e:Client </faultcode><faultstring>Mot de passe &lt;"
                                  "faux&gt; &amp; <b>refusé</b></faultstring><detail><x>1</x>"
                                  "</detail>";
        reply("fault", envelope("<e:Fault>" + marked + "</e:Fault>"), "e:Client",
              "Mot de passe <faux> & refusé");
        reply("sibling after the fault",
              envelope("<e:Fault><faultstring>A</faultstring></e:Fault><s><faultstring/></s>"), {},
              "A");
        reply("qualified children",
              envelope("<e:Fault><e:faultcode>c</e:faultcode><e:faultstring>s</e:faultstring>"
                       "</e:Fault>"),
              "c", "s");
        const QByteArray hidden = "> <a " + QByteArray(SoapMessage::maxAttributes + 1, '=');
        reply("markup hidden in comment, CDATA, quotes, instruction",
              envelope("<!--" + hidden + "--><r x='" + hidden.mid(5) + "\"'><![CDATA[" + hidden +
                       "]]><?pi " + hidden + "?></r>"));
        reply("depth at the limit", nested(SoapMessage::maxDepth));
        reply("attributes at the limit", envelope(attributes() + "/>"));
        const QString parseError = "XML parse error", invalid = "SOAP structure invalid";
        QByteArray namespaces; // one each, the envelope's too
        for (int i = 1; i <= SoapMessage::maxAttributes; ++i)
            namespaces += "<n xmlns:p" + QByteArray::number(i) + "='u'/>";
        refused("too deep", nested(SoapMessage::maxDepth + 1), invalid);
        refused("too many attributes", envelope(attributes() + " z=''/>"), invalid);
        refused("too many namespaces", envelope(namespaces), invalid);
        refused("empty body", envelope(""), invalid);
        refused("only the first Body", open + "<e:Body/><e:Body><r/></e:Body></e:Envelope>",
                invalid);
        refused("body outside the namespace", open + "<Body><r/></Body></e:Envelope>", invalid);
        refused("document type",
                "<!DOCTYPE e:Envelope [<!ENTITY x \"OK\">]>" + envelope("<r>&x;</r>").mid(21),
                invalid);
        refused("garbage after the envelope", envelope("<r/>") + "<more/>", parseError);
    }

    void read()
    {
        QFETCH(QByteArray, xml);
        SoapMessage message;
        message.setFault("stale", "stale");
        QTEST(message.setContent(xml), "soap");
        QTEST(message.faultCode(), "faultCode");
        QTEST(message.faultString(), "faultString");
        QCOMPARE(message.isFault(), !(message.faultCode() + message.faultString()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSoapMessage)
#include "tst_soapmessage.moc"
