#include "defects/pixel_faults.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <vector>

namespace {

// Faults per million pixels, by class: types 1, 2, 3, clusters of types
// 1 and 2, clusters of type 3.
struct PerMillion {
    int64_t bright, dark, subPixel, clusters12, clusters3;
};
constexpr std::array<PerMillion, kClassCount> kPerMillion{{
    {0, 0, 0, 0, 0},
    {2, 2, 5, 0, 2},
    {5, 15, 50, 0, 5},
    {50, 150, 500, 5, 50},
}};

constexpr int64_t kMillion = 1000000;

// perMillion * pixels / 10^6, rounded down, without forming the product:
// pixels = q * 10^6 + r, so the result is perMillion * q plus
// perMillion * r / 10^6, each far inside int64_t for every pixel count.
int64_t Scaled(int64_t perMillion, int64_t pixels) {
    if (pixels <= 0) return 0;
    return perMillion * (pixels / kMillion) + perMillion * (pixels % kMillion) / kMillion;
}

bool Meets(const FaultCounts& c, const FaultCounts& allowed) {
    return c.lines == 0 && c.bright <= allowed.bright && c.dark <= allowed.dark && c.subPixel <= allowed.subPixel &&
           c.clusters12 <= allowed.clusters12 && c.clusters3 <= allowed.clusters3;
}

} // namespace

const char* ClusterRule() {
    return "two or more faults of types 1 and 2, or two or more of type 3, each inside one 5x5-pixel area "
           "anywhere on the panel with another (|dx| <= 4 and |dy| <= 4), grouped transitively, each group "
           "counted once";
}

const char* GridClusterRule() {
    return "two or more faults of types 1 and 2, or two or more of type 3, inside one 5x5-pixel block of a "
           "grid aligned on pixel (1, 1)";
}

const char* ClassName(int faultClass) {
    switch (faultClass) {
    case 1: return "I";
    case 2: return "II";
    case 3: return "III";
    case 4: return "IV";
    default: return "";
    }
}

int ParseClassName(const char* text) {
    for (int c = 1; c <= kClassCount; ++c) {
        const char* name = ClassName(c);
        size_t i = 0;
        while (name[i] && text[i] && std::toupper(static_cast<unsigned char>(text[i])) == name[i]) ++i;
        if (!name[i] && !text[i]) return c;
    }
    return 0;
}

FaultCounts AllowedFaults(int faultClass, int64_t pixels) {
    const PerMillion& p = kPerMillion[static_cast<size_t>(faultClass - 1)];
    FaultCounts a;
    a.bright = Scaled(p.bright, pixels);
    a.dark = Scaled(p.dark, pixels);
    a.subPixel = Scaled(p.subPixel, pixels);
    a.clusters12 = Scaled(p.clusters12, pixels);
    a.clusters3 = Scaled(p.clusters3, pixels);
    return a;
}

namespace {

// The number of groups of two or more faults among `points` in which each
// fault has a neighbour (|dx| <= 4 and |dy| <= 4), neighbours of
// neighbours included. The points are hashed into cells of the area's
// size. Any two faults of one cell are neighbours, so a cell's faults are
// one group; a neighbour of one of them lies in one of the eight cells
// around it. A cell keeps each distinct pixel once (at most 25), so joining
// the cells compares at most 25 x 25 pixels per pair of cells however many
// faults share a pixel: the time grows with the number of faults.
int64_t CountClusters(const std::vector<FaultMark>& points) {
    if (points.size() < 2) return 0;
    const auto cellOf = [](int v) {
        // Floor division in 64 bits: no overflow at the ends of int.
        const int64_t shifted = int64_t{v} - 1;
        return shifted >= 0 ? shifted / kClusterArea : -((-shifted + kClusterArea - 1) / kClusterArea);
    };
    struct CellHash {
        size_t operator()(const std::pair<int64_t, int64_t>& c) const {
            return std::hash<uint64_t>()(static_cast<uint64_t>(c.first) * 0x9E3779B97F4A7C15ull ^
                                          static_cast<uint64_t>(c.second));
        }
    };
    struct Cell {
        int64_t x, y;                       // the cell's place in the grid of cells
        std::vector<std::pair<int, int>> pixels; // distinct pixels of its faults
        int64_t faults = 0;
    };
    std::unordered_map<std::pair<int64_t, int64_t>, size_t, CellHash> index;
    std::vector<Cell> cells;
    for (const FaultMark& p : points) {
        const std::pair<int64_t, int64_t> at{cellOf(p.x), cellOf(p.y)};
        const auto [it, added] = index.try_emplace(at, cells.size());
        if (added) cells.push_back({at.first, at.second, {}, 0});
        Cell& cell = cells[it->second];
        ++cell.faults;
        const std::pair<int, int> pixel{p.x, p.y};
        if (std::find(cell.pixels.begin(), cell.pixels.end(), pixel) == cell.pixels.end())
            cell.pixels.push_back(pixel);
    }

    // Union-find over the cells.
    std::vector<size_t> parent(cells.size());
    std::iota(parent.begin(), parent.end(), size_t{0});
    const auto root = [&parent](size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    const auto near = [](const Cell& a, const Cell& b) {
        for (const auto& [ax, ay] : a.pixels)
            for (const auto& [bx, by] : b.pixels) {
                const int64_t dx = int64_t{ax} - bx, dy = int64_t{ay} - by;
                if (dx >= -4 && dx <= 4 && dy >= -4 && dy <= 4) return true;
            }
        return false;
    };
    for (size_t i = 0; i < cells.size(); ++i)
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy) {
                const auto other = index.find({cells[i].x + dx, cells[i].y + dy});
                if (other == index.end() || other->second <= i) continue;
                const size_t a = root(i), b = root(other->second);
                if (a != b && near(cells[i], cells[other->second])) parent[a] = b;
            }
    std::vector<int64_t> faults(cells.size(), 0);
    for (size_t i = 0; i < cells.size(); ++i) faults[root(i)] += cells[i].faults;
    return std::count_if(faults.begin(), faults.end(), [](int64_t n) { return n >= 2; });
}

} // namespace

FaultCounts CountFaults(std::span<const FaultMark> marks) {
    FaultCounts c;
    std::vector<FaultMark> wholePixels, subPixels;
    for (const FaultMark& m : marks) {
        switch (m.type) {
        case FaultType::Bright: ++c.bright; wholePixels.push_back(m); break;
        case FaultType::Dark: ++c.dark; wholePixels.push_back(m); break;
        case FaultType::SubPixel: ++c.subPixel; subPixels.push_back(m); break;
        case FaultType::Row:
        case FaultType::Column: ++c.lines; break;
        }
    }
    c.clusters12 = CountClusters(wholePixels);
    c.clusters3 = CountClusters(subPixels);
    return c;
}

Verdict JudgePanel(std::span<const FaultMark> marks, int width, int height, int chosenClass) {
    Verdict v;
    v.pixels = int64_t{width} * height;
    v.counts = CountFaults(marks);
    v.chosenClass = chosenClass;
    for (int c = kClassCount; c >= 1; --c) {
        v.allowed[static_cast<size_t>(c - 1)] = AllowedFaults(c, v.pixels);
        if (Meets(v.counts, v.allowed[static_cast<size_t>(c - 1)])) v.classReached = c;
    }
    v.pass = v.classReached && *v.classReached <= chosenClass;
    return v;
}
