// The operator views' two size figures: a dispense history of 100,000 records opened and
// filtered, and a 100 MB event log opened at its end. Prints the measurements; asserts
// nothing.
//   bench_views [dispenses] [log megabytes]
#include "console/viewlogic.h"
#include "history/history.h"
#include "support/testsupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace qelp;
using Steady = std::chrono::steady_clock;

namespace {
double MsSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}
} // namespace

int main(int argc, char** argv) {
    const long dispenses = argc > 1 ? std::atol(argv[1]) : 100000;
    const long megabytes = argc > 2 ? std::atol(argv[2]) : 100;
    qelptest::TempDir dir;
    const std::string db = dir.file("history.sqlite");
    const char* colorants[] = {"Red Oxide", "Black", "Titanium White", "Oxide Yellow", "Gr\xfcn"};
    {
        HistoryStore store(db);
        const auto start = Steady::now();
        for (long i = 0; i < dispenses; ++i) {
            DispenseRecord r;
            r.time = 1700000000 + i * 60;
            r.recipe = {0,     29.574,       48,   1,  i % 3 ? "Morvex BL" : "Tandra UV",
                        "W05", "2L AshTray", 2000, 180};
            for (int c = 0; c < 4; ++c)
                r.colorants.push_back({c + 1, 1.5 + c, 33 + c, colorants[(i + c) % 5]});
            r.outcome = "Dosing completed.";
            if (!store.record(r)) {
                std::fprintf(stderr, "record failed: %s\n", store.lastError().c_str());
                return 1;
            }
        }
        std::printf("history: recorded %ld dispenses, %.1f us each\n", dispenses,
                    MsSince(start) * 1000 / double(dispenses));
    }
    const struct {
        const char* what;
        HistoryFilter filter;
    } queries[] = {{"open and show all", {}},
                   {"filter by text \"tandra\"", {INT64_MIN, INT64_MAX, "tandra"}},
                   {"filter by one day", {1700000000, 1700000000 + 86400, ""}}};
    // The window's path: the ids of the matching records, then the rows a full screen
    // draws, page by page; then scrolling to the oldest row, and the streamed CSV export.
    for (const auto& q : queries) {
        const auto start = Steady::now();
        HistoryStore store(db); // a fresh connection: opening is part of the figure
        HistoryPages pages(store);
        pages.load(q.filter);
        size_t drawn = 0;
        for (size_t row = 0; row < std::min<size_t>(pages.size(), 60); ++row)
            drawn += pages.at(row) != nullptr;
        const double opened = MsSince(start);
        const auto scroll = Steady::now();
        drawn += pages.size() > 0 && pages.at(pages.size() - 1) != nullptr;
        const double scrolled = MsSince(scroll);
        const auto exported = Steady::now();
        size_t bytes = 0;
        pages.forEachPage([&bytes](const std::vector<DispenseRecord>& rows) {
            bytes += HistoryCsv(rows, false).size();
            return true;
        });
        std::printf("history: %s: %zu rows, %zu drawn, in %.1f ms; to the last row %.1f ms;"
                    " CSV export %.1f MB in %.0f ms\n",
                    q.what, pages.size(), drawn, opened, scrolled, double(bytes) / 1e6,
                    MsSince(exported));
    }

    const std::string log = dir.file("qelpserver.log");
    {
        std::ofstream out(log, std::ios::binary);
        const std::string line = "2026-12-06 10:00:00 > Logging data in file: /var/lib/dispenser/"
                                 "exchange/result.dat \xfc\r\n";
        for (long written = 0; written < megabytes * 1024 * 1024; written += long(line.size()))
            out << line;
    }
    const auto start = Steady::now();
    LogTail tail(log);
    const std::vector<std::string> last = tail.readEarlier(2000);
    std::printf("event log: %ld MB, last %zu lines shown in %.1f ms\n", megabytes, last.size(),
                MsSince(start));
    const auto more = Steady::now();
    const size_t earlier = tail.readEarlier(2000).size();
    std::printf("event log: %zu earlier lines in %.1f ms\n", earlier, MsSince(more));
    return 0;
}
