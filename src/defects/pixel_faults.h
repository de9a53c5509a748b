#pragma once
// Pixel-fault classes of a panel (ISO 13406-2, as carried into ISO
// 9241-307): how many faults of each kind a panel of a given number of
// pixels may show in each class, the counting of the faults an operator
// marked, and the best class the panel meets.
//
// Types 1 and 2 are whole pixels (all three sub-pixels always lit, or
// never lit); type 3 is a fault of single sub-pixels.
//
// Clusters: two faults of one family (types 1 and 2 in any mix; or type 3
// alone) are neighbours when both fit inside one 5 x 5-pixel area anywhere
// on the panel, that is |dx| <= 4 and |dy| <= 4. Neighbours of neighbours
// belong to the same cluster; every group of two or more counts once.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

enum class FaultType {
    Bright = 1,   // type 1: a pixel or sub-pixel always lit
    Dark = 2,     // type 2: a pixel or sub-pixel never lit
    SubPixel = 3, // type 3: any other sub-pixel fault
    Row = 4,      // a line defect along a row
    Column = 5,   // a line defect along a column
};

// One marked fault; x and y count from 1.
struct FaultMark {
    FaultType type;
    int x;
    int y;
};

// The edge of the area two faults must share to be neighbours, in pixels.
constexpr int kClusterArea = 5;
// One line of text for records: how clusters are found.
const char* ClusterRule();
// The rule of records written before: 5 x 5-pixel blocks of a fixed grid.
const char* GridClusterRule();

// Counts of the faults of a panel, or the counts a class allows.
struct FaultCounts {
    int64_t bright = 0;
    int64_t dark = 0;
    int64_t subPixel = 0;
    int64_t clusters12 = 0; // groups of two or more neighbouring faults of types 1 and 2
    int64_t clusters3 = 0;  // groups of two or more neighbouring faults of type 3
    int64_t lines = 0;      // line defects: none is allowed in any class
    bool operator==(const FaultCounts&) const = default;
};

constexpr int kClassCount = 4; // I, II, III, IV

// "I" to "IV" for 1 to 4.
const char* ClassName(int faultClass);
// 1 to 4 for "I" to "IV" (any case), or 0.
int ParseClassName(const char* text);

// The faults class 1..4 allows on a panel of `pixels` pixels: the figure
// per million pixels times the panel's millions of pixels, rounded down.
// Exact for every pixel count from 0 to INT64_MAX (a negative count
// allows nothing).
FaultCounts AllowedFaults(int faultClass, int64_t pixels);

// The faults among `marks`, with their clusters. Any coordinates, even
// the extremes of int, are counted without overflow; the time grows with
// the number of marks, not with their square.
FaultCounts CountFaults(std::span<const FaultMark> marks);

struct Verdict {
    int64_t pixels = 0;
    FaultCounts counts;
    std::array<FaultCounts, kClassCount> allowed; // [0] is class I
    int chosenClass = 2;
    std::optional<int> classReached; // empty: no class is met
    bool pass = false;               // the chosen class is met
};

// Judges a panel of width x height pixels with these marks against
// `chosenClass` (1..4).
Verdict JudgePanel(std::span<const FaultMark> marks, int width, int height, int chosenClass);
