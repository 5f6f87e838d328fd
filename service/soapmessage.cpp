#include "soapmessage.h"

#include <QByteArrayView>
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

// QXmlStreamReader compares each attribute of an element with all the others, and looks every
// prefix up through all the namespace declarations in scope, in time quadratic in their numbers:
// count both first, in one pass over the bytes, and refuse before it starts. Malformed markup is
// left for the reader to report.
bool attributesWithinLimit(const QByteArray &xml)
{
    int namespaces = 0;
    const qsizetype size = xml.size();
    qsizetype i = 0;
    const auto skipPast = [&](const char *end) {
        const qsizetype at = xml.indexOf(end, i);
        i = at < 0 ? size : at + qsizetype(qstrlen(end));
    };
    while ((i = xml.indexOf('<', i)) >= 0) {
        ++i;
        const QByteArrayView rest(xml.constData() + i, size - i);
        if (rest.startsWith("!--")) {
            i += 3; // "<!-->" opens a comment that goes on
            skipPast("-->");
        } else if (rest.startsWith("![CDATA[")) {
            skipPast("]]>");
        } else if (rest.startsWith("?")) {
            skipPast("?>");
        } else if (rest.startsWith("!")) {
            skipPast(">"); // a document type declaration, refused anyway
        } else {
            int attributes = 0;
            char quote = 0;
            for (; i < size; ++i) {
                const char c = xml.at(i);
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '=') {
                    if (++attributes > SoapMessage::maxAttributes)
                        return false;
                } else if (c == 'x' &&
                           QByteArrayView(xml.constData() + i, size - i).startsWith("xmlns") &&
                           ++namespaces > SoapMessage::maxAttributes) {
                    return false;
                } else if (c == '>' || c == '<') {
                    break;
                }
            }
        }
    }
    return true;
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

bool SoapMessage::isXmlText(const QString &text)
{
    const QStringView view(text);
    for (qsizetype i = 0; i < view.size(); ++i) {
        const char16_t u = view.utf16()[i];
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r')
            return false;
        if (u == 0xfffe || u == 0xffff || QChar::isLowSurrogate(u))
            return false;
        if (QChar::isHighSurrogate(u)) {
            if (i + 1 == view.size() || !QChar::isLowSurrogate(view.utf16()[i + 1]))
                return false;
            ++i;
        }
    }
    return true;
}

QByteArray SoapMessage::toXml() const
{
    const QString encodingNs = QLatin1String(encodingNamespace);
    const QString xsiNs = QLatin1String(xsiNamespace);
    // The writer would drop some of these characters silently and pass others on malformed.
    for (const Argument &argument : args) {
        if (!isXmlText(argument.value))
            return {};
    }

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
    if (!method.isEmpty()) {
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
    return xml.hasError() ? QByteArray() : out;
}

bool SoapMessage::setContent(const QByteArray &data)
{
    clear();
    const auto invalid = [this] {
        setFault(clientCode, QStringLiteral("SOAP structure invalid"));
        return false;
    };
    if (!attributesWithinLimit(data))
        return invalid();

    // One loop over the tokens, the place in the tree kept in a few numbers: nothing here
    // recurses, so no reply can exhaust the stack.
    QXmlStreamReader xml(data);
    int depth = 0;
    bool envelope = false;
    int bodies = 0;           // Body elements seen; only the first counts
    bool inBody = false;      // inside the first Body
    bool bodyElement = false; // the first Body holds an element
    bool inFault = false;     // inside the Body's first element, a Fault
    QString *field = nullptr; // faultcode or faultstring being read
    int fieldDepth = 0;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            // SOAP forbids it; refusing it also keeps entity tricks out.
            return invalid();
        case QXmlStreamReader::StartElement:
            if (++depth > maxDepth)
                return invalid();
            if (depth == 1) {
                envelope = isEnvelopeElement(xml, QLatin1String("Envelope"));
            } else if (depth == 2 && envelope && isEnvelopeElement(xml, QLatin1String("Body"))) {
                inBody = ++bodies == 1;
            } else if (depth == 3 && inBody && !bodyElement) {
                bodyElement = true;
                inFault = fault = isEnvelopeElement(xml, QLatin1String("Fault"));
            } else if (depth == 4 && inFault) {
                // The children of Fault are unqualified, but some services qualify them.
                field = xml.name() == QLatin1String("faultcode")     ? &faultCodeText
                        : xml.name() == QLatin1String("faultstring") ? &faultText
                                                                     : nullptr;
                fieldDepth = depth;
                if (field)
                    field->clear();
            }
            break;
        case QXmlStreamReader::Characters:
            if (field)
                field->append(xml.text());
            break;
        case QXmlStreamReader::EndElement:
            if (depth == fieldDepth)
                field = nullptr;
            if (depth == 3)
                inFault = false;
            if (depth == 2)
                inBody = false;
            --depth;
            break;
        default:
            break;
        }
    }

    if (xml.hasError()) {
        setFault(clientCode, QStringLiteral("XML parse error"));
        return false;
    }
    if (!bodyElement)
        return invalid();
    faultCodeText = faultCodeText.trimmed();
    return true;
}
