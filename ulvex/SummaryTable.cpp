#include "SummaryTable.h"

#include "Terminal.h"

#include <algorithm>
#include <fmt/format.h>
#include <functional>

namespace ulvex {

namespace {

struct Column {
    const char* header;
    std::function<std::string(const SummaryRow&)> cell;
    bool alignRight;
    int dropOrder; // the lowest is left out first; 0: never
    size_t width = 0;
};

std::string Crc(const SummaryRow& row, bool file) {
    if (!row.outcome.haveCrc) {
        return "-";
    }
    return fmt::format("{:08X}", file ? row.outcome.crcFile : row.outcome.crcTarget);
}

std::string Throughput(const SummaryRow& row) {
    if (!row.outcome.ok || row.outcome.ms == 0) {
        return "-";
    }
    return fmt::format("{:.1f}", row.bytes / 1024.0 / (row.outcome.ms / 1000.0));
}

std::vector<Column> Columns() {
    return {
        {"port", [](const SummaryRow& r) { return r.port; }, false, 0},
        {"target", [](const SummaryRow& r) { return r.target; }, false, 2},
        {"result", [](const SummaryRow& r) { return r.outcome.result; }, false, 0},
        {"file CRC", [](const SummaryRow& r) { return Crc(r, true); }, false, 1},
        {"target CRC", [](const SummaryRow& r) { return Crc(r, false); }, false, 1},
        {"time",
         [](const SummaryRow& r) {
             return r.outcome.ms == 0 ? "-" : fmt::format("{:.1f} s", r.outcome.ms / 1000.0);
         },
         true, 4},
        {"KiB/s", Throughput, true, 3},
    };
}

size_t TotalWidth(const std::vector<Column>& columns) {
    size_t total = 0;
    for (const Column& c : columns) {
        total += c.width + 2;
    }
    return total - 2;
}

// Leaves out columns, then cuts the port, until the table fits.
void Fit(std::vector<Column>& columns, size_t width) {
    constexpr size_t kShortestPort = 8;
    for (int order = 1; order <= 4 && TotalWidth(columns) > width; ++order) {
        std::erase_if(columns, [order](const Column& c) { return c.dropOrder == order; });
    }
    const size_t total = TotalWidth(columns);
    if (total > width) {
        columns[0].width = std::max(kShortestPort, columns[0].width - (total - width));
    }
}

} // namespace

std::vector<SummaryRow> SummaryRows(const Run& run) {
    std::vector<SummaryRow> rows;
    for (const Board& b : run.boards) {
        rows.push_back({b.job.port, b.target != nullptr ? b.target->name : b.job.target, b.Result(),
                        b.progress.Size()});
    }
    return rows;
}

std::string PaintResult(const std::string& result, bool ok, bool colour) {
    return Paint(result, ok ? Colour::Green : Colour::Red, colour);
}

std::string SummaryTable(const std::vector<SummaryRow>& rows, double seconds, size_t width,
                         bool colour) {
    std::vector<Column> columns = Columns();
    for (Column& c : columns) {
        c.width = std::char_traits<char>::length(c.header);
        for (const SummaryRow& row : rows) {
            c.width = std::max(c.width, c.cell(row).size());
        }
    }
    if (width != 0) {
        Fit(columns, width - 1); // the last column never wraps the line
    }
    std::string text;
    for (const Column& c : columns) {
        text += (c.alignRight ? PadLeft(c.header, c.width) : PadRight(c.header, c.width)) + "  ";
    }
    text.erase(text.find_last_not_of(' ') + 1);
    text += "\n";
    int ok = 0;
    for (const SummaryRow& row : rows) {
        ok += row.outcome.ok ? 1 : 0;
        std::string line;
        for (const Column& c : columns) {
            const std::string cell = c.cell(row);
            std::string fitted = c.alignRight             ? PadLeft(cell, c.width)
                                 : &c == &columns.front() ? FitLeft(cell, c.width)
                                                          : PadRight(cell, c.width);
            if (std::string_view(c.header) == "result") {
                fitted = PaintResult(fitted, row.outcome.ok, colour);
            }
            line += fitted + "  ";
        }
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    }
    text += fmt::format("{} of {} boards verified in {:.1f} s\n", ok, rows.size(), seconds);
    for (const SummaryRow& row : rows) {
        if (row.outcome.ok || row.outcome.detail.empty()) {
            continue;
        }
        // The check's messages name the port already.
        const bool named = row.outcome.detail.starts_with(row.port + ": ");
        text += (named ? "" : row.port + ": ") + row.outcome.detail + "\n";
    }
    return text;
}

} // namespace ulvex
