// Speed of WS::extractNumber on realistic and hostile texts, next to the literal rules
// (ReferenceRecogniser) measured in the same run.
//
//   bench_recogniser [--quick]
//
// Sizes count UTF-16 characters: 1 MiB is 1 048 576 of them (2 MB of memory). Each time is the
// median of repeated runs, in CPU time of the running thread: the machine is shared, and on an
// idle one wall time is the same. The reference is slow, quadratic on some inputs, so it is
// measured on the full size only when that fits its time budget, and otherwise on the largest size
// that does, which the table shows. --quick runs small sizes only, to check that the program works;
// it exits with status 1 if the two recognisers ever disagree.

#include "referencerecogniser.h"
#include "ws.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

namespace {

using Extract = QString &(*)(QString &, QString &);
using Maker = std::function<QString(qsizetype)>;

constexpr qsizetype KiB = 1024;
constexpr qsizetype MiB = 1024 * 1024;

bool quick = false;
bool disagreed = false;

struct Outcome
{
    QString text;
    QString dialNumber;
    bool operator==(const Outcome &o) const { return text == o.text && dialNumber == o.dialNumber; }
};

double cpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double runOnce(Extract extract, const QString &input, Outcome *outcome = nullptr)
{
    QString text = input; // shared, not copied: the copy happens only where the code writes
    QString dialNumber = QStringLiteral("(unchanged)");
    const double start = cpuSeconds();
    extract(text, dialNumber);
    const double seconds = cpuSeconds() - start;
    if (outcome)
        *outcome = {text, dialNumber};
    return seconds;
}

// At least five runs, more while the budget lasts.
std::vector<double> runTimes(Extract extract, const QString &input, double budget)
{
    std::vector<double> times;
    double total = 0;
    while (times.size() < 5 || (total < budget && times.size() < 201)) {
        times.push_back(runOnce(extract, input));
        total += times.back();
    }
    return times;
}

double medianTime(Extract extract, const QString &input, double budget = 0.25)
{
    std::vector<double> times = runTimes(extract, input, budget);
    std::nth_element(times.begin(), times.begin() + qsizetype(times.size() / 2), times.end());
    return times[times.size() / 2];
}

double bestTime(Extract extract, const QString &input, double budget)
{
    const std::vector<double> times = runTimes(extract, input, budget);
    return *std::min_element(times.begin(), times.end());
}

QString sizeText(qsizetype size)
{
    if (size >= MiB && size % MiB == 0)
        return QStringLiteral("%1 MiB").arg(size / MiB);
    if (size >= MiB)
        return QStringLiteral("%1 MiB").arg(double(size) / MiB, 0, 'f', 2);
    return QStringLiteral("%1 KiB").arg(double(size) / KiB, 0, 'f', size % KiB ? 1 : 0);
}

QString timeText(double seconds)
{
    if (seconds >= 1)
        return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
    if (seconds >= 1e-3)
        return QStringLiteral("%1 ms").arg(seconds * 1e3, 0, 'f', 2);
    return QStringLiteral("%1 us").arg(seconds * 1e6, 0, 'f', 1);
}

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
// Paragraphs that a generator accident made callable are left out, and counted.
QString officeText(qsizetype size, qsizetype *dropped = nullptr)
{
    OfficeText generator(false);
    QString text;
    text.reserve(size + 4 * KiB);
    const qsizetype body = size - OfficeText::lastLine.size();
    while (text.size() < body) {
        QString p = generator.paragraph();
        QString probe = p;
        QString dial;
        if (!WS::extractNumber(probe, dial).isEmpty()) {
            if (dropped)
                ++*dropped;
            continue;
        }
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
    qsizetype size; // the size the target is set for
    double target;  // seconds
};

struct Measured
{
    double seconds = 0;
    qsizetype referenceSize = 0;
    double referenceSeconds = 0;
    double ratio = 0;
    bool agree = true;
};

// The reference on the full size if it fits the budget, or on the largest power-of-two
// fraction of it that does; the implementation is timed again on that size for the ratio.
Measured measure(const Case &c, double referenceBudget)
{
    Measured m;
    const QString input = c.make(c.size);
    m.seconds = medianTime(&WS::extractNumber, input);

    qsizetype size = std::min(c.size, 16 * KiB);
    for (;;) {
        const QString sample = size == c.size ? input : c.make(size);
        Outcome reference;
        Outcome actual;
        const double seconds = runOnce(&ReferenceRecogniser::extractNumber, sample, &reference);
        runOnce(&WS::extractNumber, sample, &actual);
        m.agree = m.agree && reference == actual;
        m.referenceSize = size;
        m.referenceSeconds = seconds;
        // Twice the size may take four times as long.
        if (size == c.size || seconds * 4 > referenceBudget)
            break;
        size = std::min(c.size, size * 2);
    }
    const double actualSeconds = m.referenceSize == c.size
                                     ? m.seconds
                                     : medianTime(&WS::extractNumber, c.make(m.referenceSize));
    m.ratio = m.referenceSeconds / actualSeconds;
    if (!m.agree)
        disagreed = true;
    return m;
}

void printSpeeds(const std::vector<Case> &cases, double referenceBudget)
{
    std::printf("%-34s %9s %10s %9s %8s  %-24s %9s %s\n", "text", "size", "time", "MiB/s", "target",
                "reference (size: time)", "ratio", "results");
    for (const Case &c : cases) {
        const Measured m = measure(c, referenceBudget);
        const QString reference =
            QStringLiteral("%1: %2").arg(sizeText(m.referenceSize), timeText(m.referenceSeconds));
        std::printf("%-34s %9s %10s %9.0f %8s  %-24s %8.0fx %s\n", c.name,
                    qPrintable(sizeText(c.size)), qPrintable(timeText(m.seconds)),
                    double(c.size) / MiB / m.seconds,
                    quick ? "-" : (m.seconds <= c.target ? "met" : "MISSED"), qPrintable(reference),
                    m.ratio, m.agree ? "agree" : "DIFFER");
        std::fflush(stdout);
    }
}

// Least-squares slope of log(time) against log(size).
double exponent(const std::vector<double> &sizes, const std::vector<double> &times)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const double n = double(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        const double x = std::log(sizes[i]);
        const double y = std::log(times[i]);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

void printGrowth(const std::vector<Case> &cases, qsizetype from, qsizetype to)
{
    std::printf("%-34s", "text");
    for (qsizetype size = from; size <= to; size *= 2)
        std::printf(" %9s", qPrintable(sizeText(size)));
    std::printf(" %8s\n", "exponent");
    for (const Case &c : cases) {
        std::vector<double> sizes;
        std::vector<double> times;
        std::printf("%-34s", c.name);
        for (qsizetype size = from; size <= to; size *= 2) {
            const QString input = c.make(size);
            sizes.push_back(double(input.size()));
            times.push_back(bestTime(&WS::extractNumber, input, 0.1));
            std::printf(" %9s", qPrintable(timeText(times.back())));
            std::fflush(stdout);
        }
        const double e = exponent(sizes, times);
        std::printf(" %8.2f%s\n", e, quick ? "" : (e <= 1.1 ? "" : "  MISSED"));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    quick = argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--quick");
    const qsizetype realistic = quick ? 256 * KiB : 10 * MiB;
    const qsizetype hostile = quick ? 32 * KiB : MiB;
    const double referenceBudget = quick ? 0.05 : 5;

    qsizetype dropped = 0;
    const QString office = officeText(realistic, &dropped);
    {
        QString text = office;
        QString dial;
        WS::extractNumber(text, dial);
        if (text != QLatin1String("0612345678")) {
            std::fprintf(stderr, "The office text holds a callable number before its end.\n");
            return 1;
        }
    }
    // Shorter office texts are cut from the long one at a paragraph end.
    const Maker officeOfSize = [&](qsizetype size) {
        if (size >= office.size())
            return office;
        const qsizetype cut =
            office.lastIndexOf(QStringLiteral("\n\n"), size - OfficeText::lastLine.size());
        return office.left(std::max<qsizetype>(0, cut)) + OfficeText::lastLine;
    };

    const std::vector<Case> hostileCases{
        {"\"(\" repeated", [](qsizetype n) { return QString(n, u'('); }, hostile, 5e-3},
        {"\"0 \" repeated", [](qsizetype n) { return repeated("0 ", n); }, hostile, 5e-3},
        {"\"+\" repeated", [](qsizetype n) { return QString(n, u'+'); }, hostile, 5e-3},
        {"\"()\" repeated", [](qsizetype n) { return repeated("()", n); }, hostile, 5e-3},
        {"one candidate of digits and signs", hugeCandidate, hostile, 5e-3},
        {"\"(\" then digits", [](qsizetype n) { return "(" + repeated("0123456789", n - 1); },
         hostile, 5e-3},
        {"\"1a\" repeated (short candidates)", [](qsizetype n) { return repeated("1a", n); },
         hostile, 5e-3},
    };

    std::printf(
        "Number recogniser%s. Sizes in characters (1 MiB = 1 048 576); times are medians.\n",
        quick ? " (quick run, small sizes, no targets)" : "");
    std::printf("Office text: %lld paragraphs left out for holding a callable number.\n\n",
                static_cast<long long>(dropped));

    std::vector<Case> cases{
        {"office text, one number at the end", officeOfSize, realistic, 20e-3},
        {"office text, numbers throughout", officeTextWithNumbers, realistic, 20e-3},
    };
    cases.insert(cases.end(), hostileCases.begin(), hostileCases.end());
    printSpeeds(cases, referenceBudget);

    std::printf(
        "\nGrowth of the time with the size (target: exponent at most 1.1). Best of repeated\n"
        "runs: the other load of a shared machine only ever adds time.\n");
    std::vector<Case> growth{{"office text, one number at the end", officeOfSize, 0, 0}};
    growth.insert(growth.end(), hostileCases.begin(), hostileCases.end());
    printGrowth(growth, quick ? 16 * KiB : 64 * KiB, quick ? 64 * KiB : 4 * MiB);

    if (disagreed) {
        std::fprintf(stderr, "\nThe recogniser and the reference disagree.\n");
        return 1;
    }
    return 0;
}
