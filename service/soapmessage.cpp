#include "soapmessage.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString envelopeNs = QLatin1String(SoapMessage::envelopeNamespace);
const QString clientCode = QStringLiteral("SOAP-ENV:Client");

// WORKAROUND: QXmlStreamWriter (6.4) writes namespace URIs unescaped, so a URI holding "&" or
// "<" would break the document: declare the namespace as an ordinary, escaped attribute.
void writeStartElement(QXmlStreamWriter &xml, const QString &prefix, const QString &name,
                       const QString &uri)
{
    if (uri.isEmpty()) {
        xml.writeStartElement(name);
        return;
    }
    xml.writeStartElement(prefix + QLatin1Char(':') + name);
    xml.writeAttribute(QStringLiteral("xmlns:") + prefix, uri);
}

bool isEnvelopeElement(const QXmlStreamReader &xml, QLatin1String name)
{
    return xml.namespaceUri() == envelopeNs && xml.name() == name;
}

} // namespace

void SoapMessage::setMethod(const QString &name, const QString &uri)
{
    clear();
    method = name;
    methodNs = uri;
}

void SoapMessage::addMethodArgument(const QString &name, const QString &uri, const QString &value)
{
    args.append({name, uri, value});
}

void SoapMessage::setFault(const QString &code, const QString &string)
{
    clear();
    fault = true;
    faultCodeText = code;
    faultText = string;
}

void SoapMessage::clear()
{
    method.clear();
    methodNs.clear();
    args.clear();
    fault = false;
    faultCodeText.clear();
    faultText.clear();
}

QByteArray SoapMessage::toXml() const
{
    const QString encodingNs = QLatin1String(encodingNamespace);
    const QString xsiNs = QLatin1String(xsiNamespace);

    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeNamespace(envelopeNs, QStringLiteral("SOAP-ENV"));
    xml.writeNamespace(encodingNs, QStringLiteral("SOAP-ENC"));
    xml.writeNamespace(xsiNs, QStringLiteral("xsi"));
    xml.writeNamespace(QLatin1String(xsdNamespace), QStringLiteral("xsd"));
    xml.writeStartElement(envelopeNs, QStringLiteral("Envelope"));
    xml.writeAttribute(envelopeNs, QStringLiteral("encodingStyle"), encodingNs);
    xml.writeStartElement(envelopeNs, QStringLiteral("Body"));
    if (fault) {
        xml.writeStartElement(envelopeNs, QStringLiteral("Fault"));
        xml.writeTextElement(QStringLiteral("faultcode"), faultCodeText);
        xml.writeTextElement(QStringLiteral("faultstring"), faultText);
        xml.writeEndElement();
    } else if (!method.isEmpty()) {
        writeStartElement(xml, QStringLiteral("m"), method, methodNs);
        int prefixes = 0;
        for (const Argument &argument : args) {
            const QString prefix = argument.uri == methodNs ? QStringLiteral("m")
                                                            : QStringLiteral("a%1").arg(++prefixes);
            writeStartElement(xml, prefix, argument.name, argument.uri);
            xml.writeAttribute(xsiNs, QStringLiteral("type"), QStringLiteral("xsd:string"));
            xml.writeCharacters(argument.value);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

bool SoapMessage::setContent(const QByteArray &data)
{
    clear();
    QXmlStreamReader xml(data);
    bool structureValid = false;

    // SOAP forbids a document type declaration; refusing it also keeps entity tricks out.
    bool dtd = false;
    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::StartElement)
        dtd = dtd || xml.tokenType() == QXmlStreamReader::DTD;

    if (!xml.atEnd() && !dtd && isEnvelopeElement(xml, QLatin1String("Envelope"))) {
        while (xml.readNextStartElement()) {
            if (structureValid || !isEnvelopeElement(xml, QLatin1String("Body"))) {
                xml.skipCurrentElement();
                continue;
            }
            structureValid = true;
            if (!xml.readNextStartElement())
                continue; // an empty Body
            if (isEnvelopeElement(xml, QLatin1String("Fault"))) {
                fault = true;
                // The children of Fault are unqualified, but some services qualify them.
                while (xml.readNextStartElement()) {
                    const QString text =
                        xml.readElementText(QXmlStreamReader::IncludeChildElements);
                    if (xml.name() == QLatin1String("faultcode"))
                        faultCodeText = text.trimmed();
                    else if (xml.name() == QLatin1String("faultstring"))
                        faultText = text;
                }
            } else {
                method = xml.name().toString();
                methodNs = xml.namespaceUri().toString();
                while (xml.readNextStartElement()) {
                    Argument argument{xml.name().toString(), xml.namespaceUri().toString(), {}};
                    argument.value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                    args.append(argument);
                }
            }
            while (xml.readNextStartElement())
                xml.skipCurrentElement();
        }
    }
    // Well-formedness is judged on the whole document, not only on the part that was used.
    while (!xml.atEnd())
        xml.readNext();

    if (xml.hasError()) {
        setFault(clientCode, QStringLiteral("XML parse error"));
        return false;
    }
    if (!structureValid || dtd) {
        setFault(clientCode, QStringLiteral("SOAP structure invalid"));
        return false;
    }
    return true;
}
