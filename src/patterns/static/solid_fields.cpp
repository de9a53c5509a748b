// Solid colour fields: the whole window in one colour, looked up by
// pattern number.

#include "patterns/painters.h"
#include "session/pattern_form.h"

#include <array>

namespace {

struct Field {
    int16_t pattern;
    uint8_t r, g, b;
};

constexpr std::array<Field, 43> kFields{{
    {1, 0, 0, 0},       {4, 255, 0, 0},     {5, 0, 255, 0},     {6, 0, 0, 255},
    {7, 255, 255, 255}, {8, 0, 0, 0},       {9, 63, 63, 63},    {10, 95, 95, 95},
    {11, 128, 128, 128}, {12, 192, 192, 192}, {13, 255, 255, 255}, {14, 0, 0, 0},
    {15, 63, 0, 0},     {16, 95, 0, 0},     {17, 128, 0, 0},    {18, 192, 0, 0},
    {19, 255, 0, 0},    {20, 0, 0, 0},      {21, 0, 63, 0},     {22, 0, 95, 0},
    {23, 0, 128, 0},    {24, 0, 192, 0},    {25, 0, 255, 0},    {26, 0, 0, 0},
    {27, 0, 0, 63},     {28, 0, 0, 95},     {29, 0, 0, 128},    {30, 0, 0, 192},
    {31, 0, 0, 255},    {32, 1, 1, 1},      {33, 2, 2, 2},      {34, 4, 4, 4},
    {35, 8, 8, 8},      {36, 16, 16, 16},   {37, 32, 32, 32},   {38, 64, 64, 64},
    {39, 128, 128, 128}, {40, 255, 255, 255}, {41, 0, 0, 0},    {48, 0, 0, 0},
    {50, 0, 0, 0},      {52, 0, 0, 0},      {54, 0, 0, 0},
}};

} // namespace

void PaintSolidField(PatternForm& form, int16_t pattern) {
    for (const Field& f : kFields) {
        if (f.pattern == pattern) {
            form.surface().setBackColor(qRgb(f.r, f.g, f.b));
            return;
        }
    }
}
