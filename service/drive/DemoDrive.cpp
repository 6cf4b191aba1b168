// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DemoDrive.h"

#include "drive/DriveChange.h"
#include "drive/DriveMutations.h"
#include "drive/Thumbnails.h"
#include "drive/TinyPng.h"
#include "storage/ContentStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <array>

namespace OrvelanNimbal::Service {

namespace {

constexpr std::int64_t hour = 3600;
constexpr std::int64_t day = 24 * hour;

const std::array<QString, 6> clients = {
    QStringLiteral("Famille Martin"),  QStringLiteral("Boulangerie Lefèvre"),
    QStringLiteral("Cabinet Moreau"),  QStringLiteral("Association Les Tilleuls"),
    QStringLiteral("Garage Da Silva"), QStringLiteral("Mme Nguyen")};

const std::array<QString, 5> services = {
    QStringLiteral("entretien du jardin"), QStringLiteral("réparation de la toiture"),
    QStringLiteral("révision de la chaudière"), QStringLiteral("pose d'étagères"),
    QStringLiteral("peinture du salon")};

const std::array<QString, 4> coldClasses = {QStringLiteral("glacier"), QStringLiteral("archiving"),
                                            QStringLiteral("unarchiving"),
                                            QStringLiteral("restoring")};

// Writes the demo's items one after the other, each a little older than the one before.
class DemoWriter {
public:
    DemoWriter(DriveChange &change, const ContentStore &store)
        : m_change(change)
        , m_store(store)
    {}

    std::int64_t folder(const QString &name, std::int64_t parent = driveRoot)
    {
        ++m_counts.folders;
        return DriveMutations::createFolder(m_change, name, parent);
    }

    struct Content {
        QByteArray bytes;
        QString type;
        QString storageClass = standardStorageClass;
        std::optional<QString> thumbnails = std::nullopt;
    };

    std::int64_t file(std::int64_t folder, const QString &name, const Content &content)
    {
        const QString key = ContentStore::newKey(m_change.accountId());
        m_store.write(key, content.bytes);
        FileRecord file;
        file.folderId = folder;
        file.name = name;
        file.size = content.bytes.size();
        file.contentKey = key;
        file.contentHash = contentHash(content.bytes);
        file.contentType = content.type;
        file.storageClass = content.storageClass;
        file.thumbnailPath = content.thumbnails;
        m_age += 7 * hour;
        file.dateCreation = m_change.now() - m_age - day;
        file.dateUpload = m_change.now() - m_age;
        file.dateModified = file.dateUpload;
        ++m_counts.files;
        if (file.isArchived())
            ++m_counts.archivedFiles;
        return DriveMutations::addFile(m_change, file).id;
    }

    void thumbnail(const QString &key, int size, Rgb top, Rgb bottom)
    {
        Thumbnails::put(m_change.connection(), m_change.accountId(), key,
                        {QStringLiteral("image/png"), gradientPng(size, size, top, bottom)});
    }

    DemoDriveCounts &counts() { return m_counts; }

private:
    DriveChange &m_change;
    const ContentStore &m_store;
    DemoDriveCounts m_counts;
    std::int64_t m_age = 0;
};

QByteArray text(const QString &content)
{
    return content.toUtf8();
}

DemoWriter::Content textFile(const QString &content)
{
    return {text(content), QStringLiteral("text/plain; charset=utf-8")};
}

QString euros(int cents)
{
    return QLocale(QLocale::French).toString(cents / 100.0, 'f', 2) + QStringLiteral(" €");
}

void invoices(DemoWriter &writer, std::int64_t folder, int year, int count)
{
    for (int n = 1; n <= count; ++n) {
        const int cents = 4500 + (n * 7919 + year) % 90000;
        const QString content =
            QStringLiteral("Facture n° %1-%2\nDate : %3/%4/%1\nClient : %5\nPrestation : %6\n"
                           "Montant TTC : %7\nRèglement à 30 jours.\n")
                .arg(year)
                .arg(n, 3, 10, QLatin1Char('0'))
                .arg(1 + n % 28, 2, 10, QLatin1Char('0'))
                .arg(1 + n % 12, 2, 10, QLatin1Char('0'))
                .arg(clients[size_t(n) % clients.size()], services[size_t(n) % services.size()],
                     euros(cents));
        writer.file(folder,
                    QStringLiteral("Facture %1-%2.txt").arg(year).arg(n, 3, 10, QLatin1Char('0')),
                    textFile(content));
    }
}

Rgb colourOf(int n, int shift)
{
    return {std::uint8_t((n * 37 + shift) % 256), std::uint8_t((n * 91 + 2 * shift) % 256),
            std::uint8_t((n * 53 + 3 * shift) % 256)};
}

// A photo with its thumbnails; `bothSizes` names them as a JSON array, otherwise as one key.
void photo(DemoWriter &writer, std::int64_t folder, const QString &name, int n, bool bothSizes)
{
    const Rgb top = colourOf(n, 0);
    const Rgb bottom = colourOf(n, 120);
    const QString stem =
        QStringLiteral("miniatures/%1/%2").arg(folder).arg(name.section(u'.', 0, 0));
    const QString small = stem + QStringLiteral("_64x64.png");
    const QString large = stem + QStringLiteral("_256x256.png");
    writer.thumbnail(large, 256, top, bottom);
    QString thumbnails = large;
    if (bothSizes) {
        writer.thumbnail(small, 64, top, bottom);
        thumbnails = QString::fromUtf8(
            QJsonDocument(QJsonArray{small, large}).toJson(QJsonDocument::Compact));
    }
    writer.file(folder, name,
                {gradientPng(48, 32, top, bottom), QStringLiteral("image/png"),
                 standardStorageClass, thumbnails});
}

void documents(DemoWriter &writer)
{
    const std::int64_t documents = writer.folder(QStringLiteral("Documents"));
    const std::int64_t bills = writer.folder(QStringLiteral("Factures"), documents);
    invoices(writer, writer.folder(QStringLiteral("2023"), bills), 2023, 48);
    invoices(writer, writer.folder(QStringLiteral("2024"), bills), 2024, 48);
    const std::int64_t contracts = writer.folder(QStringLiteral("Contrats"), documents);
    for (const QString &what :
         {QStringLiteral("Assurance habitation"), QStringLiteral("Électricité"),
          QStringLiteral("Internet"), QStringLiteral("Bail"), QStringLiteral("Mutuelle"),
          QStringLiteral("Téléphone")})
        writer.file(contracts, QStringLiteral("Contrat %1.txt").arg(what),
                    textFile(QStringLiteral("Contrat : %1\nSouscrit par la famille Martin.\n"
                                            "Résiliable chaque année à la date anniversaire.\n")
                                 .arg(what)));
    const std::int64_t taxes = writer.folder(QStringLiteral("Impôts"), documents);
    for (int year = 2019; year <= 2023; ++year)
        writer.file(taxes, QStringLiteral("Avis d'imposition %1.txt").arg(year),
                    textFile(QStringLiteral("Avis d'imposition sur les revenus de %1\n"
                                            "Montant : %2\n")
                                 .arg(year)
                                 .arg(euros(120000 + year * 37 % 50000))));
}

void photos(DemoWriter &writer)
{
    const std::int64_t photos = writer.folder(QStringLiteral("Photos"));
    const std::int64_t holidays = writer.folder(QStringLiteral("Vacances en Bretagne"), photos);
    for (int n = 1; n <= 60; ++n)
        photo(writer, holidays, QStringLiteral("IMG_%1.png").arg(n, 4, 10, QLatin1Char('0')), n,
              true);
    const std::int64_t birthday = writer.folder(QStringLiteral("Anniversaire de Léa"), photos);
    for (int n = 1; n <= 24; ++n)
        photo(writer, birthday, QStringLiteral("Léa %1.png").arg(n, 2, 10, QLatin1Char('0')),
              100 + n, false);
}

void projects(DemoWriter &writer)
{
    const std::int64_t projects = writer.folder(QStringLiteral("Projets"));
    const std::int64_t kitchen =
        writer.folder(QStringLiteral("Rénovation de la cuisine"), projects);
    for (int n = 1; n <= 12; ++n)
        writer.file(kitchen, QStringLiteral("Devis %1.txt").arg(n, 2, 10, QLatin1Char('0')),
                    textFile(QStringLiteral("Devis n° %1 — %2\nMontant : %3\n")
                                 .arg(n)
                                 .arg(services[size_t(n) % services.size()])
                                 .arg(euros(90000 + n * 12345))));
    const std::int64_t site = writer.folder(QStringLiteral("Site de l'association"), projects);
    const std::int64_t mockups = writer.folder(QStringLiteral("Maquettes"), site);
    for (int n = 1; n <= 10; ++n)
        photo(writer, mockups, QStringLiteral("Maquette %1.png").arg(n), 200 + n, n % 2 == 0);
    for (int n = 1; n <= 8; ++n)
        writer.file(site, QStringLiteral("Compte rendu réunion %1.txt").arg(n),
                    textFile(QStringLiteral("Réunion n° %1\nPrésents : %2, %3\n"
                                            "Décision : publier le calendrier des activités.\n")
                                 .arg(n)
                                 .arg(clients[size_t(n) % clients.size()],
                                      clients[size_t(n + 1) % clients.size()])));
}

void music(DemoWriter &writer)
{
    const std::int64_t music = writer.folder(QStringLiteral("Musique"));
    for (int n = 1; n <= 20; ++n)
        writer.file(music, QStringLiteral("Partition %1.csv").arg(n, 2, 10, QLatin1Char('0')),
                    {text(QStringLiteral("mesure;note;durée\n1;do;noire\n2;ré;croche\n%1;mi;"
                                         "blanche\n")
                              .arg(n + 2)),
                     QStringLiteral("text/csv")});
}

void archives(DemoWriter &writer)
{
    const std::int64_t archives = writer.folder(QStringLiteral("Archives"));
    for (int n = 1; n <= 24; ++n) {
        DemoWriter::Content content =
            textFile(QStringLiteral("Relevé de compte, %1/2015\nSolde : %2\n")
                         .arg(n % 12 + 1)
                         .arg(euros(n * 48213 % 300000)));
        content.storageClass = coldClasses[size_t(n) % coldClasses.size()];
        writer.file(archives, QStringLiteral("Relevé 2015-%1.txt").arg(n, 2, 10, QLatin1Char('0')),
                    content);
    }
}

void topLevel(DemoWriter &writer)
{
    writer.file(driveRoot, QStringLiteral("Lisez-moi.txt"),
                textFile(QStringLiteral("Bienvenue dans votre Nimbal de démonstration.\n"
                                        "Les dossiers Archives et la corbeille montrent ce que "
                                        "le client fait des fichiers qu'il ne peut pas "
                                        "synchroniser.\n")));
    writer.file(driveRoot, QStringLiteral("Liste de courses.txt"),
                textFile(QStringLiteral("- pain\n- fromage\n- pommes\n- café\n")));
    writer.file(driveRoot, QStringLiteral("Budget familial.csv"),
                {text(QStringLiteral("poste;montant\nloyer;850\ncourses;420\nénergie;95\n")),
                 QStringLiteral("text/csv")});
}

// Items put in the trash the way a client does it, so the demo shows the real flags.
void trash(DemoWriter &writer, DriveChange &change)
{
    const std::int64_t drafts = writer.folder(QStringLiteral("Brouillons"));
    constexpr int drafted = 10;
    std::vector<std::int64_t> files;
    for (int n = 1; n <= drafted; ++n)
        writer.file(drafts, QStringLiteral("Brouillon %1.txt").arg(n),
                    textFile(QStringLiteral("Idée n° %1, à reprendre.\n").arg(n)));
    for (int n = 1; n <= 5; ++n)
        files.push_back(writer.file(driveRoot, QStringLiteral("Ancienne note %1.txt").arg(n),
                                    textFile(QStringLiteral("Note périmée n° %1\n").arg(n))));
    DriveMutations::trash(change, files, {drafts});
    writer.counts().trashedFiles += drafted + int(files.size());
}

} // namespace

DemoDriveCounts seedDemoDrive(DriveChange &change, const ContentStore &store)
{
    DemoWriter writer(change, store);
    documents(writer);
    photos(writer);
    projects(writer);
    music(writer);
    archives(writer);
    topLevel(writer);
    trash(writer, change);
    return writer.counts();
}

} // namespace OrvelanNimbal::Service
