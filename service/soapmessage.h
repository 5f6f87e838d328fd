#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A SOAP 1.1 message: requests are built and serialised, replies are read for their fault only
// (the provider's success element is not known, so any element in the Body counts as success).
class SoapMessage
{
public:
    static constexpr char envelopeNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
    static constexpr char encodingNamespace[] = "http://schemas.xmlsoap.org/soap/encoding/";
    static constexpr char xsdNamespace[] = "http://www.w3.org/1999/XMLSchema";
    static constexpr char xsiNamespace[] = "http://www.w3.org/1999/XMLSchema-instance";
    // Limits on a reply: deeper nesting, an element with more attributes (namespace declarations
    // included), or more namespace declarations in all, make it "SOAP structure invalid". Real
    // replies stay far below.
    static constexpr int maxDepth = 32;
    static constexpr int maxAttributes = 64;

    // Sets the Body's element, qualified by `uri` (empty: unqualified), and drops any arguments.
    void setMethod(const QString &name, const QString &uri = QString());
    // Appends a child of the method element holding `value` as xsi:type="xsd:string".
    void addMethodArgument(const QString &name, const QString &uri, const QString &value);

    // The envelope in UTF-8 with the prefixes SOAP-ENV, SOAP-ENC, xsi and xsd, the SOAP encoding
    // style and the 1999 XML Schema namespaces. Empty when a value cannot be written as XML 1.0
    // (see isXmlText()).
    QByteArray toXml() const;
    // Whether XML 1.0 can carry `text`: no control character but tab, LF and CR, no lone
    // surrogate, neither U+FFFE nor U+FFFF.
    static bool isXmlText(const QString &text);

    // Reads a reply in time linear in its size, without recursion. A document that is not
    // well-formed XML makes the message the fault "XML parse error"; well-formed XML that is no
    // SOAP 1.1 envelope with an element in its Body, that carries a document type declaration or
    // that exceeds the limits makes it "SOAP structure invalid". Both return false.
    bool setContent(const QByteArray &xml);

    bool isFault() const { return fault; }
    // The fault's faultstring; empty when there is no fault or the fault gave no text.
    QString faultString() const { return faultText; }
    // The fault's faultcode as written, e.g. "SOAP-ENV:Server".
    QString faultCode() const { return faultCodeText; }
    void setFault(const QString &code, const QString &string);

private:
    struct Argument
    {
        QString name;
        QString uri; // empty: unqualified
        QString value;
    };

    void clear();

    QString method;
    QString methodNs;
    QList<Argument> args;
    bool fault = false;
    QString faultCodeText;
    QString faultText;
};
