// SPDX-License-Identifier: GPL-3.0-or-later
#include "ListingGenerator.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace Bench {

namespace {

// splitmix64: small, fast and the same everywhere, so every run sees the same listing.
class Random {
public:
    uint64_t next()
    {
        uint64_t z = (m_state += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }
    int below(int bound) { return int(next() % uint64_t(bound)); }
    bool percent(int chance) { return below(100) < chance; }

private:
    uint64_t m_state = 0x4e696d62616c;
};

const std::array<const char *, 16> words{"Rapport",      "annuel",   "Facture",  "Réunion",
                                         "équipe",       "Projet",   "Budget",   "Présentation",
                                         "Contrat",      "Vacances", "Photos",   "Devis",
                                         "Compte-rendu", "Planning", "Maquette", "Notes"};

struct Kind {
    const char *extension;
    bool hasThumbnails;
};
const std::array<Kind, 8> kinds{{{"pdf", false},
                                 {"jpg", true},
                                 {"docx", false},
                                 {"png", true},
                                 {"xlsx", false},
                                 {"heic", true},
                                 {"txt", false},
                                 {"mp4", true}}};

void appendHex(std::string &out, Random &random, int digits)
{
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < digits; ++i)
        out += hex[random.below(16)];
}

std::string fileName(Random &random, const Kind &kind, int index)
{
    std::string name;
    switch (random.below(4)) {
    case 0:
        name = "IMG_2023" + std::to_string(1000 + random.below(9000)) + "_"
               + std::to_string(100000 + index);
        break;
    case 1:
        name = std::string(words[size_t(random.below(16))]) + "-"
               + std::to_string(2015 + random.below(10)) + "-" + std::to_string(index);
        break;
    default:
        for (int word = 0, count = 2 + random.below(3); word < count; ++word) {
            if (word > 0)
                name += ' ';
            name += words[size_t(random.below(16))];
        }
        name += " (v" + std::to_string(index) + ")";
        if (random.percent(2))
            name += " \\\"final\\\""; // an escaped quote in the name
    }
    return name + "." + kind.extension;
}

std::string thumbnailField(Random &random, const std::string &stem, const Kind &kind)
{
    if (!kind.hasThumbnails || random.percent(20))
        return "null";
    if (random.percent(50))
        return "\"thumbs/" + stem + "_256x256.jpg\"";
    return "\"[\\\"thumbs/" + stem + "_64x64.jpg\\\",\\\"thumbs/" + stem
           + "_256x256.jpg\\\",\\\"thumbs/" + stem + "_1024x1024.jpg\\\"]\"";
}

const char *storageClass(Random &random)
{
    const int roll = random.below(1000);
    if (roll < 950)
        return "standard";
    if (roll < 980)
        return "glacier";
    if (roll < 990)
        return "archiving";
    if (roll < 995)
        return "unarchiving";
    return "restoring";
}

} // namespace

QByteArray generateFileListing(int fileCount)
{
    Random random;
    QByteArray json;
    json.reserve(qsizetype(fileCount) * 420 + 64);
    json.append('[');
    std::string record;
    for (int index = 0; index < fileCount; ++index) {
        const Kind &kind = kinds[size_t(random.below(int(kinds.size())))];
        std::string stem;
        appendHex(stem, random, 8);
        stem += '-';
        appendHex(stem, random, 4);
        stem += '-';
        appendHex(stem, random, 12);
        const long long uploaded = 1600000000LL + random.below(100000000);
        const long long modified = uploaded - random.below(1000000);

        record.clear();
        record += index == 0 ? "{" : ",{";
        record += "\"id\":" + std::to_string(7000000000LL + index * 13LL + random.below(13));
        record += ",\"id_folder\":48213";
        record += ",\"file_name\":\"" + fileName(random, kind, index) + "\"";
        record += ",\"file_path\":\"users/48213/files/" + stem.substr(0, 2) + "/" + stem + "."
                  + kind.extension + "\"";
        record += ",\"file_size\":" + std::to_string(random.below(50000000));
        record += ",\"content_hash\":";
        if (random.percent(1)) {
            record += "null";
        } else {
            record += '"';
            appendHex(record, random, 64);
            record += '"';
        }
        record += ",\"date_modified\":" + std::to_string(modified);
        record += ",\"date_upload\":" + std::to_string(uploaded);
        record += ",\"to_delete\":";
        record += random.percent(2) ? "1" : "0";
        record += ",\"storage_class\":\"";
        record += storageClass(random);
        record += "\",\"file_miniatures_path\":" + thumbnailField(random, stem, kind) + "}";
        json.append(record.data(), qsizetype(record.size()));
    }
    json.append(']');
    if (json.capacity() - json.size() < 64)
        json.reserve(json.size() + 64);
    return json;
}

} // namespace Bench
