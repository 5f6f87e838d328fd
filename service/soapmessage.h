#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A SOAP 1.1 message whose Body holds one element: either a method (call or response) with its
// argument elements, or a Fault. Requests are built and serialised; replies are parsed.
class SoapMessage
{
public:
    static constexpr char envelopeNamespace[] = "http://schemas.xmlsoap.org/soap/envelope/";
    static constexpr char encodingNamespace[] = "http://schemas.xmlsoap.org/soap/encoding/";
    static constexpr char xsdNamespace[] = "http://www.w3.org/1999/XMLSchema";
    static constexpr char xsiNamespace[] = "http://www.w3.org/1999/XMLSchema-instance";

    struct Argument
    {
        QString name;
        QString uri; // empty: unqualified
        QString value;
    };

    // Sets the Body's element, qualified by `uri` (empty: unqualified), and drops any arguments
    // and fault.
    void setMethod(const QString &name, const QString &uri = QString());
    // Appends a child of the method element holding `value` as xsi:type="xsd:string".
    void addMethodArgument(const QString &name, const QString &uri, const QString &value);

    QString methodName() const { return method; }
    QString methodUri() const { return methodNs; }
    // For a parsed reply: the method element's children in document order, as text.
    const QList<Argument> &arguments() const { return args; }

    // The envelope in UTF-8 with the prefixes SOAP-ENV, SOAP-ENC, xsi and xsd, the SOAP encoding
    // style and the 1999 XML Schema namespaces.
    QByteArray toXml() const;

    // Reads a reply envelope. A document that is not well-formed XML makes the message the fault
    // "XML parse error"; well-formed XML that is no SOAP 1.1 envelope with a Body, or that carries
    // a document type declaration, makes it "SOAP structure invalid". Both return false.
    bool setContent(const QByteArray &xml);

    bool isFault() const { return fault; }
    // The fault's faultstring; empty when there is no fault or the fault gave no text.
    QString faultString() const { return faultText; }
    // The fault's faultcode as written, e.g. "SOAP-ENV:Server".
    QString faultCode() const { return faultCodeText; }
    void setFault(const QString &code, const QString &string);

    void clear();

private:
    QString method;
    QString methodNs;
    QList<Argument> args;
    bool fault = false;
    QString faultCodeText;
    QString faultText;
};
