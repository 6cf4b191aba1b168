// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/TinyPng.h"

#include <QtEndian>

namespace OrvelanNimbal::Service {

namespace {

std::uint32_t crc32(QByteArrayView bytes)
{
    std::uint32_t crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xffffffffu;
}

void appendBigEndian(QByteArray &out, std::uint32_t value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void appendChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    appendBigEndian(png, std::uint32_t(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    png.append(typed);
    appendBigEndian(png, crc32(typed));
}

std::uint8_t blend(std::uint8_t from, std::uint8_t to, int step, int steps)
{
    return std::uint8_t(from + (int(to) - int(from)) * step / steps);
}

} // namespace

QByteArray gradientPng(int width, int height, Rgb top, Rgb bottom)
{
    QByteArray header;
    appendBigEndian(header, std::uint32_t(width));
    appendBigEndian(header, std::uint32_t(height));
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits per channel, RGB, no interlacing

    QByteArray pixels;
    pixels.reserve(height * (1 + 3 * width));
    for (int y = 0; y < height; ++y) {
        pixels.append('\0'); // no filter on the row
        const int steps = height > 1 ? height - 1 : 1;
        const Rgb colour{blend(top.red, bottom.red, y, steps),
                         blend(top.green, bottom.green, y, steps),
                         blend(top.blue, bottom.blue, y, steps)};
        for (int x = 0; x < width; ++x) {
            pixels.append(char(colour.red));
            pixels.append(char(colour.green));
            pixels.append(char(colour.blue));
        }
    }
    // qCompress gives a zlib stream behind four bytes of length, which PNG does not want.
    const QByteArray compressed = qCompress(pixels).mid(4);

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace OrvelanNimbal::Service
