// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>

namespace OrvelanNimbal::Service {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// A real PNG image, a vertical gradient from `top` to `bottom`: the demo's photos and
// thumbnails, which viewers must be able to open, made without an image library.
QByteArray gradientPng(int width, int height, Rgb top, Rgb bottom);

} // namespace OrvelanNimbal::Service
