#pragma once
// The questions a line asks of its store, each answered by the database:
// a panel's history, the yield and faults by station and day (sums and
// window functions), and where on the panels the faults lie (each mark's
// cell of the heatmap computed by the database). Rows are read one at a
// time; no question holds every session or mark in memory.

#include "store/record_store.h"

#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// Which sessions --stats and --heatmap look at; an empty field does not
// restrict. Days are YYYY-MM-DD in UTC, both ends included.
struct StoreFilter {
    QString since;
    QString until;
    QString station;     // exactly this station
    QString modelPrefix; // the record's model begins with it, or, without a model, its serial
};

// The filter in words, e.g. "station 'Line 2', model QM27*, from
// 2026-12-01 to 2026-12-07", or "every session".
QString FilterText(const StoreFilter& filter);

// One session of a panel.
struct HistoryRow {
    QString started; // UTC, yyyy-MM-ddTHH:mm:ssZ
    QString station;
    QString operatorName;
    QString model;
    std::array<int64_t, 5> counts{}; // bright, dark, sub-pixel, row, column
    int classRequired = 2;
    std::optional<int> classReached;
    bool pass = false;
    QString session;
};

// Every session of exactly `serial`, newest first, each handed to `row`.
// False with `error` set when the store cannot answer.
bool PanelHistory(RecordStore& store, const QString& serial, const std::function<void(const HistoryRow&)>& row,
                  QString* error);

// The figures of a set of sessions.
struct StatsFigures {
    int64_t sessions = 0;
    int64_t panels = 0;
    // Panels whose latest session in the set reaches class I, II, III, IV
    // or a better one.
    std::array<int64_t, 4> reaching{};
    std::array<int64_t, 5> faults{}; // marks: bright, dark, sub-pixel, row, column

    // The figures of two sets of sessions with no panel in common.
    StatsFigures& operator+=(const StatsFigures& other);
};

struct StatsGroup {
    QString key; // the station, or the day
    StatsFigures figures;
};

struct LineStats {
    StatsFigures all;
    std::vector<StatsGroup> byStation; // in the order of their names' code points
    std::vector<StatsGroup> byDay;
};

bool ComputeStats(RecordStore& store, const StoreFilter& filter, LineStats* stats, QString* error);

// The faults of the matched sessions placed on one panel of `width`
// cells across: each mark at its x/W, y/H of the panel it was made on.
struct HeatmapFigures {
    QSize mode;            // the most common mode among the sessions (the panel's aspect)
    QSize cells;           // width cells across, as many down as the aspect gives
    int64_t sessions = 0;
    int64_t panels = 0;
    int64_t pointFaults = 0;
    int64_t lineDefects = 0;
    std::vector<uint32_t> density; // point faults per cell, row by row
    struct Line {
        bool row = false; // a row defect (a line across), else a column defect
        int position = 0; // the cell row or column it lies on
        int64_t count = 0;
    };
    std::vector<Line> lines;
};

bool ComputeHeatmap(RecordStore& store, const StoreFilter& filter, int width, HeatmapFigures* figures,
                    QString* error);

// The faults' keys in the order of the counts.
inline constexpr std::array<const char*, 5> kFaultKeys{"bright", "dark", "sub-pixel", "row", "column"};
