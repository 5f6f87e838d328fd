// tintelle-extract [--reference] [FILE]
//
// Runs the number recogniser on FILE, or on standard input, read whole as UTF-8, and prints the
// two strings it leaves: the text, then the dial number (preset to "(unchanged)"). With
// --reference the literal rules answer instead, for comparing the two by hand.

#include "service/ws.h"
#include "tools/reference/referencerecogniser.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    bool reference = false;
    const char *path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reference") == 0 && !reference && !path) {
            reference = true;
        } else if (!path && (argv[i][0] != '-' || std::strcmp(argv[i], "-") == 0)) {
            path = argv[i];
        } else {
            std::fprintf(stderr, "usage: tintelle-extract [--reference] [FILE]\n");
            return 2;
        }
    }

    QFile file;
    bool opened;
    if (path && std::strcmp(path, "-") != 0) {
        file.setFileName(QFile::decodeName(path));
        opened = file.open(QIODevice::ReadOnly);
    } else {
        opened = file.open(stdin, QIODevice::ReadOnly);
    }
    if (!opened) {
        std::fprintf(stderr, "tintelle-extract: %s\n", qPrintable(file.errorString()));
        return 1;
    }

    QString text = QString::fromUtf8(file.readAll());
    QString dialNumber = QStringLiteral("(unchanged)");
    if (reference)
        ReferenceRecogniser::extractNumber(text, dialNumber);
    else
        WS::extractNumber(text, dialNumber);

    const QByteArray out = text.toUtf8() + '\n' + dialNumber.toUtf8() + '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
