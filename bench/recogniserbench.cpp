// Speed of WS::extractNumber on realistic and hostile texts, next to the literal rules
// (ReferenceRecogniser) measured in the same run, on Google Benchmark.
//
//   bench_recogniser [benchmark options, e.g. --benchmark_filter=office]
//   bench_recogniser --quick
//
// Sizes count UTF-16 characters (1 MiB is 1 048 576 of them). Each text is timed at sizes from
// 64 KiB to 4 MiB, and the fitted complexity shows the growth (O(N) is the target). The literal
// rules are quadratic on some texts, so they are timed on smaller sizes only. --quick times
// nothing: it checks on small sizes that the two recognisers agree, and exits 1 if they do not.

#include "service/ws.h"
#include "tools/reference/referencerecogniser.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

using Extract = QString &(*)(QString &, QString &);
using Maker = std::function<QString(qsizetype)>;

constexpr qsizetype KiB = 1024;
constexpr qsizetype MiB = 1024 * 1024;

// ---------------------------------------------------------------------------------------------
// Realistic office text: mails with dates, amounts, order and invoice numbers, addresses, company
// identifiers and signatures, a number every few hundred characters. Every paragraph starts and
// ends with a word, so no candidate spans two of them.

class OfficeText
{
public:
    // The one callable number, on the last line: everything before it must be read.
    static inline const QString lastLine =
        QStringLiteral("\n\nPour toute question : 06 12 34 56 78");

    // `callable` lets signatures carry plain telephone numbers, as real ones do.
    explicit OfficeText(bool callable) : callable(callable) {}

    QString paragraph()
    {
        static const QStringList greetings{"Bonjour", "Madame, Monsieur", "Chère Madame",
                                           "Bonjour à tous", "Cher client"};
        static const QStringList closings{"Cordialement", "Bien cordialement",
                                          "Je vous prie d'agréer mes salutations distinguées",
                                          "Bonne journée", "Merci d'avance"};
        QString p = pick(greetings) + ",\n\n";
        if (chance(40))
            p += header();
        for (int n = 2 + below(4); n > 0; --n)
            p += sentence() + ' ';
        p += "\n\n" + pick(closings) + ",\n" + signature();
        return p;
    }

    int below(int n) { return int(random() % quint64(n)); }

private:
    bool chance(int percent) { return below(100) < percent; }
    const QString &pick(const QStringList &list) { return list.at(below(int(list.size()))); }

    QString digits(int count, bool leadingZero = true)
    {
        QString out;
        for (int i = 0; i < count; ++i)
            out += QChar(u'0' + ((i == 0 && !leadingZero) ? 1 + below(9) : below(10)));
        return out;
    }
    QString two(int low, int high)
    {
        return QStringLiteral("%1").arg(low + below(high - low + 1), 2, 10, QChar(u'0'));
    }
    QString date()
    {
        return two(1, 28) + '/' + two(1, 12) + '/' + QString::number(2009 + below(8));
    }
    QString amount()
    {
        // Five or six digits in all: "89,50" would be a four-digit short number.
        return chance(50) ? digits(3, false) + ',' + digits(2)
                          : digits(1, false) + ' ' + digits(3) + ',' + digits(2);
    }
    QString person()
    {
        static const QStringList first{"Sophie", "Julien",   "Camille", "Nicolas",
                                       "Élodie", "François", "Hélène",  "Stéphane",
                                       "Amélie", "Jérôme",   "Cécile",  "Loïc"};
        static const QStringList last{"Martin", "Bernard", "Dubois",  "Thomas",
                                      "Robert", "Petit",   "Richard", "Durand",
                                      "Leroy",  "Moreau",  "Simon",   "Laurent"};
        return pick(first) + ' ' + pick(last);
    }
    QString company()
    {
        static const QStringList names{"Ardoise Conseil",
                                       "Berthier & Fils",
                                       "Cabinet Lemaire",
                                       "Duval Logistique",
                                       "Établissements Garnier",
                                       "Imprimerie du Rhône",
                                       "Société Générale de Chauffage"};
        return pick(names);
    }

    QString header()
    {
        const QString who = person();
        QString mail = who.toLower();
        mail.replace(' ', '.');
        return "De : " + who + " <" + mail + "@exemple.fr>\nEnvoyé : " + pickDay() + ' ' + date() +
               " à " + two(8, 18) + 'h' + two(0, 59) + "\nObjet : " + subject() + "\n\n";
    }
    QString pickDay()
    {
        static const QStringList days{"lundi", "mardi", "mercredi", "jeudi", "vendredi"};
        return pick(days);
    }
    QString subject()
    {
        switch (below(4)) {
        case 0:
            return "Facture FA" + digits(4, false) + '-' + digits(5);
        case 1:
            return "Votre commande n° " + digits(6, false);
        case 2:
            return QStringLiteral("Réunion de suivi du projet");
        default:
            return "Devis DV-" + digits(6);
        }
    }

    QString sentence()
    {
        switch (below(14)) {
        case 0:
            return "Veuillez trouver ci-joint la facture FA" + digits(4, false) + '-' + digits(5) +
                   " d'un montant de " + amount() + " € TTC, payable sous trente jours.";
        case 1:
            return "Votre commande n° " + digits(6, false) + " du " + date() +
                   " a été expédiée ce matin par transporteur.";
        case 2:
            return "La réunion est prévue le " + date() + " à " + two(8, 17) + 'h' + two(0, 59) +
                   " en salle B" + digits(1) + ", au troisième étage.";
        case 3:
            return "Merci de rappeler la référence client CLT-" + digits(5) +
                   " dans toute correspondance.";
        case 4:
            return "Le colis pèse " + digits(1, false) + ',' + digits(1) +
                   " kg et sera livré entre le " + date() + " et le " + date() + '.';
        case 5:
            return "Nous vous accordons une remise de " + digits(2, false) + " % sur les " +
                   digits(2, false) + " articles de la gamme Horizon.";
        case 6:
            return "Le règlement de " + amount() + " € a bien été reçu le " + date() +
                   ", nous vous en remercions.";
        case 7:
            return "Nos bureaux sont ouverts du lundi au vendredi, de " + two(8, 9) + "h à " +
                   two(17, 19) + "h.";
        case 8:
            return "Le devis DV-" + digits(6) + " reste valable jusqu'au " + date() + " inclus.";
        case 9:
            return "Pourriez-vous me confirmer la quantité souhaitée, " + digits(3, false) +
                   " ou " + digits(3, false) + " unités ?";
        case 10:
            return QStringLiteral("Je reviens vers vous dès que possible avec les éléments "
                                  "demandés, n'hésitez pas à me relancer si besoin.");
        case 11:
            return "L'avoir AV-" + digits(5) + " de " + amount() +
                   " € sera déduit de la prochaine échéance.";
        case 12:
            return QStringLiteral("Comme convenu lors de notre échange téléphonique, je vous "
                                  "transmets le dossier complet.");
        default:
            return "Le rendez-vous du " + date() + " est déplacé au " + date() + " à " +
                   two(8, 17) + "h" + two(0, 59) + '.';
        }
    }

    QString phone(bool mobile)
    {
        QString n = mobile ? QStringLiteral("0") + QChar(u'6' + below(2)) : "0" + digits(1, false);
        for (int i = 0; i < 4; ++i)
            n += ' ' + digits(2);
        return n;
    }

    QString signature()
    {
        static const QStringList streets{"rue de la République", "avenue Jean-Jaurès",
                                         "boulevard Haussmann",  "place Bellecour",
                                         "impasse des Lilas",    "chemin du Moulin"};
        static const QStringList cities{"75008 Paris",    "69002 Lyon",   "13001 Marseille",
                                        "31000 Toulouse", "44000 Nantes", "59000 Lille"};
        QString s = person() + "\nService comptabilité\n" + company() + '\n' +
                    QString::number(1 + below(120)) + ", " + pick(streets) + '\n' + pick(cities) +
                    '\n';
        // Two numbers joined by a slash make twenty digits: nothing to call.
        s += "Tél. : " + phone(false) + " / " + phone(true) + '\n';
        if (callable)
            s += "Ligne directe : " + phone(false) + '\n';
        s += "SIRET : " + digits(3, false) + ' ' + digits(3) + ' ' + digits(3) + ' ' + digits(5) +
             "\nTVA : FR " + digits(2) + ' ' + digits(9, false) + "\nwww.exemple.fr";
        return s;
    }

    std::mt19937_64 random{20130314};
    bool callable;
};

// Office text of about `size` characters; the only callable number is on its last line.
// Paragraphs that a generator accident made callable are left out.
QString officeText(qsizetype size)
{
    OfficeText generator(false);
    QString text;
    text.reserve(size + 4 * KiB);
    const qsizetype body = size - OfficeText::lastLine.size();
    while (text.size() < body) {
        QString p = generator.paragraph();
        QString probe = p;
        QString dial;
        if (!WS::extractNumber(probe, dial).isEmpty())
            continue;
        text += p;
        text += QStringLiteral("\n\n");
    }
    text.truncate(std::max<qsizetype>(0, text.lastIndexOf(QStringLiteral("\n\n"), body)));
    return text + OfficeText::lastLine;
}

QString officeTextWithNumbers(qsizetype size)
{
    OfficeText generator(true);
    QString text;
    while (text.size() < size)
        text += generator.paragraph() + QStringLiteral("\n\n");
    return text.left(size);
}

// ---------------------------------------------------------------------------------------------
// Hostile texts, without any callable number, so that all of them is read.

QString repeated(const QString &unit, qsizetype size)
{
    return unit.repeated(size / unit.size() + 1).left(size);
}

QString hugeCandidate(qsizetype size)
{
    // Digits and every character that stays inside a candidate, "(" and ")" included.
    static const QString kept = QString::fromUtf8("0123456789 /()*+,-.\t\u00a0\u2003");
    std::mt19937_64 random(7);
    QString s(size, Qt::Uninitialized);
    for (QChar &c : s)
        c = kept.at(qsizetype(random() % quint64(kept.size())));
    return s;
}

struct Case
{
    const char *name;
    Maker make;
    qsizetype literalMax; // the largest size the literal rules are timed on
};

std::vector<Case> cases()
{
    // Shorter office texts are cut from one long text at a paragraph end.
    static const QString office = officeText(4 * MiB);
    const Maker officeOfSize = [](qsizetype size) {
        const qsizetype cut =
            office.lastIndexOf(QStringLiteral("\n\n"), size - OfficeText::lastLine.size());
        return size >= office.size()
                   ? office
                   : office.left(std::max<qsizetype>(0, cut)) + OfficeText::lastLine;
    };
    return {
        {"office text, one number at the end", officeOfSize, MiB},
        {"office text, numbers throughout", officeTextWithNumbers, MiB},
        {"\"(\" repeated", [](qsizetype n) { return QString(n, u'('); }, 256 * KiB},
        {"\"0 \" repeated", [](qsizetype n) { return repeated("0 ", n); }, 64 * KiB},
        {"\"+\" repeated", [](qsizetype n) { return QString(n, u'+'); }, 64 * KiB},
        {"\"()\" repeated", [](qsizetype n) { return repeated("()", n); }, 256 * KiB},
        {"one candidate of digits and signs", hugeCandidate, 256 * KiB},
        {"\"(\" then digits", [](qsizetype n) { return "(" + repeated("0123456789", n - 1); },
         64 * KiB},
        {"\"1a\" repeated (short candidates)", [](qsizetype n) { return repeated("1a", n); },
         64 * KiB},
    };
}

void run(benchmark::State &state, Extract extract, const Maker &make)
{
    const QString input = make(state.range(0));
    for (auto _ : state) {
        QString text = input; // shared, not copied: the copy happens only where the code writes
        QString dialNumber;
        benchmark::DoNotOptimize(extract(text, dialNumber));
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(state.iterations() * state.range(0) * qint64(sizeof(QChar)));
}

// Small sizes, untimed: the two recognisers give the same strings on every text.
int quick()
{
    int differences = 0;
    for (const Case &c : cases()) {
        for (qsizetype size : {KiB, 16 * KiB}) {
            const QString input = c.make(size);
            QString text = input, dial = QStringLiteral("(unchanged)");
            QString literalText = input, literalDial = dial;
            WS::extractNumber(text, dial);
            ReferenceRecogniser::extractNumber(literalText, literalDial);
            const bool same = text == literalText && dial == literalDial;
            differences += same ? 0 : 1;
            std::printf("%-36s %6lld KiB  %s\n", c.name, static_cast<long long>(size / KiB),
                        same ? "agree" : "DIFFER");
        }
    }
    return differences ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--quick") == 0)
        return quick();
    for (const Case &c : cases()) {
        const Maker make = c.make;
        benchmark::RegisterBenchmark(
            (std::string("recogniser/") + c.name).c_str(),
            [make](benchmark::State &state) { run(state, &WS::extractNumber, make); })
            ->RangeMultiplier(4)
            ->Range(64 * KiB, 4 * MiB)
            ->Complexity(benchmark::oN)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((std::string("literal/") + c.name).c_str(),
                                     [make](benchmark::State &state) {
                                         run(state, &ReferenceRecogniser::extractNumber, make);
                                     })
            ->RangeMultiplier(4)
            ->Range(16 * KiB, c.literalMax)
            ->Complexity()
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
