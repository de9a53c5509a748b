#include "defects/pixel_faults.h"

#include <cctype>
#include <cstring>
#include <map>
#include <utility>

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

int64_t Scaled(int64_t perMillion, int64_t pixels) { return perMillion * pixels / kMillion; }

bool Meets(const FaultCounts& c, const FaultCounts& allowed) {
    return c.lines == 0 && c.bright <= allowed.bright && c.dark <= allowed.dark && c.subPixel <= allowed.subPixel &&
           c.clusters12 <= allowed.clusters12 && c.clusters3 <= allowed.clusters3;
}

} // namespace

const char* ClusterRule() {
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

FaultCounts CountFaults(std::span<const FaultMark> marks) {
    FaultCounts c;
    // Faults of types 1 and 2, and of type 3, per block of the grid.
    std::map<std::pair<int, int>, std::pair<int, int>> blocks;
    for (const FaultMark& m : marks) {
        const std::pair<int, int> block{(m.x - 1) / kClusterBlock, (m.y - 1) / kClusterBlock};
        switch (m.type) {
        case FaultType::Bright: ++c.bright; ++blocks[block].first; break;
        case FaultType::Dark: ++c.dark; ++blocks[block].first; break;
        case FaultType::SubPixel: ++c.subPixel; ++blocks[block].second; break;
        case FaultType::Row:
        case FaultType::Column: ++c.lines; break;
        }
    }
    for (const auto& [block, n] : blocks) {
        if (n.first >= 2) ++c.clusters12;
        if (n.second >= 2) ++c.clusters3;
    }
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
