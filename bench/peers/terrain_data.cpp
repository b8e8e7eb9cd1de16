// The real terrain level: an elevation grid read from a NumPy .npy file (a 2-D array of 16-bit
// integers or floats, metres), resampled bilinearly to the benchmark's square grid. Heights are
// divided by the source's ground distance per output cell, so the terrain keeps its true
// proportions at one world unit per cell.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "peer_rays.h"

namespace peers {

namespace {

// The grid read back from the file, row-major.
struct Grid {
    uint32_t rows = 0, columns = 0;
    std::vector<float> values;
};

bool ParseNpy(const std::vector<char> &bytes, Grid *grid) {
    if (bytes.size() < 10 || std::memcmp(bytes.data(), "\x93NUMPY", 6) != 0) {
        return false;
    }
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.data());
    size_t headerLength = b[8] | (b[9] << 8);
    size_t start = 10;
    if (b[6] >= 2) {
        headerLength = b[8] | (b[9] << 8) | (b[10] << 16) | (static_cast<size_t>(b[11]) << 24);
        start = 12;
    }
    if (start + headerLength > bytes.size()) {
        return false;
    }
    const std::string header(bytes.data() + start, headerLength);
    if (header.find("'fortran_order': False") == std::string::npos) {
        return false;
    }
    const size_t shape = header.find("'shape': (");
    if (shape == std::string::npos ||
        std::sscanf(header.c_str() + shape + 10, "%u, %u", &grid->rows, &grid->columns) != 2) {
        return false;
    }
    const size_t count = static_cast<size_t>(grid->rows) * grid->columns;
    const char *data = bytes.data() + start + headerLength;
    const size_t available = bytes.size() - start - headerLength;
    grid->values.resize(count);
    if (header.find("'<i2'") != std::string::npos && available >= count * 2) {
        for (size_t k = 0; k < count; ++k) {
            int16_t v;
            std::memcpy(&v, data + 2 * k, 2);
            grid->values[k] = v;
        }
        return true;
    }
    if (header.find("'<f4'") != std::string::npos && available >= count * 4) {
        std::memcpy(grid->values.data(), data, count * 4);
        return true;
    }
    if (header.find("'<f8'") != std::string::npos && available >= count * 8) {
        for (size_t k = 0; k < count; ++k) {
            double v;
            std::memcpy(&v, data + 8 * k, 8);
            grid->values[k] = static_cast<float>(v);
        }
        return true;
    }
    return false;
}

float Sample(const Grid &grid, float row, float column) {
    const uint32_t r0 = static_cast<uint32_t>(row), c0 = static_cast<uint32_t>(column);
    const uint32_t r1 = r0 + 1 < grid.rows ? r0 + 1 : r0;
    const uint32_t c1 = c0 + 1 < grid.columns ? c0 + 1 : c0;
    const float fr = row - static_cast<float>(r0), fc = column - static_cast<float>(c0);
    auto at = [&](uint32_t r, uint32_t c) { return grid.values[r * grid.columns + c]; };
    const float top = at(r0, c0) + (at(r0, c1) - at(r0, c0)) * fc;
    const float bottom = at(r1, c0) + (at(r1, c1) - at(r1, c0)) * fc;
    return top + (bottom - top) * fr;
}

} // namespace

std::vector<float> LoadTerrainHeights(const std::string &npyPath, uint32_t side,
                                      std::string *description) {
    std::ifstream in(npyPath, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    Grid grid;
    if (!in.good() && bytes.empty()) {
        *description = "cannot read " + npyPath;
        return {};
    }
    if (!ParseNpy(bytes, &grid) || grid.rows < 2 || grid.columns < 2) {
        *description = "not a 2-D .npy grid: " + npyPath;
        return {};
    }
    // The source's posts are 3 arc-seconds apart (about 92 m north-south, 74 m east-west at the
    // latitude of the shipped data set); one output cell spans the mean of the two, scaled.
    const float metresPerCell =
        0.5f * (92.6f * (grid.rows - 1) + 74.3f * (grid.columns - 1)) / static_cast<float>(side);
    std::vector<float> heights(static_cast<size_t>(side + 1) * (side + 1));
    for (uint32_t j = 0; j <= side; ++j) {
        for (uint32_t i = 0; i <= side; ++i) {
            const float row = static_cast<float>(j) * (grid.rows - 1) / side;
            const float column = static_cast<float>(i) * (grid.columns - 1) / side;
            heights[j * (side + 1) + i] = Sample(grid, row, column) / metresPerCell;
        }
    }
    char text[160];
    std::snprintf(text, sizeof text, "%u x %u posts resampled to %u x %u, %.1f m per cell",
                  grid.rows, grid.columns, side + 1, side + 1, metresPerCell);
    *description = text;
    return heights;
}

} // namespace peers
