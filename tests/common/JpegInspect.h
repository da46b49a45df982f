// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <map>
#include <vector>

// Reads the marker structure of a JPEG file, so tests can assert on what the
// encoder actually wrote rather than on what it was asked to write.
struct JpegInspect
{
    struct Component
    {
        int id = 0;
        int h = 0;
        int v = 0;
        int table = 0;
    };
    struct QuantTable
    {
        int precision = 0;             // 0: 8-bit entries, 1: 16-bit entries
        std::array<int, 64> natural{}; // natural (row-major) order
    };

    bool valid = false;
    QString problem;
    int sofMarker = -1; // 0xC0 baseline, 0xC1 extended, 0xC2 progressive
    int width = 0;
    int height = 0;
    std::vector<Component> components;
    std::map<int, QuantTable> tables; // by table number
    int scans = 0;

    static JpegInspect parse(const QByteArray& bytes);
    static JpegInspect parseFile(const QString& path);
};
