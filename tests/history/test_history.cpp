// The dispense history's store: what goes in comes out, filtered and newest first; the CSV
// export; the upgrade of a database of the first layout; and a database that is locked,
// read-only or cannot be opened, which fails the call (one log line per episode) and
// nothing else.
#include "console/dispenses.h"
#include "history/history.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace qelp;

namespace {

DispenseRecord Record(int64_t time, const char* product, std::vector<RecipeColorant> colorants) {
    DispenseRecord r;
    r.time = time;
    r.recipe = {1, 29.574, 48, 2, product, "W05", "2L AshTray", 2000, 180};
    r.colorants = std::move(colorants);
    r.useShelf = r.sendPunch = true;
    r.shelfDose = -3;
    r.punchMode = 2;
    r.resultCode = 3;
    r.outcome = "Dosing Failed.";
    return r;
}

} // namespace

TEST(HistoryStore, RecordsComeBackNewestFirstAndFiltered) {
    qelptest::TempDir dir;
    HistoryStore store(dir.file("history.sqlite"));
    std::vector<DispenseRecord> in = {
        Record(1000, "Morvex BL", {{3, 12.5, 35, "Red Oxide"}, {7, 1.0 / 3, 39, "Gr\xfcn"}}),
        Record(2000, "Tandra UV", {}), Record(3000, "Morvex, \"BL\"", {{1, 4, 33, "Black"}})};
    for (const DispenseRecord& r : in)
        ASSERT_TRUE(store.record(r)) << store.lastError();
    std::vector<DispenseRecord> out;
    ASSERT_TRUE(store.query({}, out));
    ASSERT_EQ(out.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        in[2 - i].id = out[i].id;
        EXPECT_EQ(out[i], in[2 - i]) << i;
    }
    const struct {
        int64_t from, until;
        const char* text;
        std::vector<int64_t> times;
    } filters[] = {{0, 2000, "", {1000}},        {1000, 3001, "morvex", {3000, 1000}},
                   {0, 9999, "GR\xdcN", {1000}}, {0, 9999, "w05", {3000, 2000, 1000}},
                   {0, 9999, "%", {}},           {0, 9999, "2L", {}}};
    for (const auto& f : filters) {
        ASSERT_TRUE(store.query({f.from, f.until, f.text}, out));
        std::vector<int64_t> times;
        for (const DispenseRecord& r : out)
            times.push_back(r.time);
        EXPECT_EQ(times, f.times) << f.text;
    }
}

TEST(HistoryStore, CsvHasOneRowPerColorantLine) {
    auto r = Record(0, "Morvex, \"BL\"", {{3, 12.5, 35, "Red Oxide"}, {7, 0.5, 39, "Gr\xfcn"}});
    const std::string csv = HistoryCsv({r, Record(0, "Tandra UV", {})});
    const std::vector<std::string> rows = qelptest::SplitCrLf(csv);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_TRUE(rows[0].starts_with("\xEF\xBB\xBFTime,Product,"));
    const std::string dispense = ",\"Morvex, \"\"BL\"\"\",W05,2L AshTray,2000,180,GR,29.574,48,2,";
    EXPECT_EQ(rows[1].substr(19), dispense + "3,Red Oxide,12.5,0 -3 0,2,3,Dosing Failed.");
    EXPECT_EQ(rows[2].substr(19), dispense + "7,Gr\xc3\xbcn,0.5,0 -3 0,2,3,Dosing Failed.");
    EXPECT_TRUE(rows[3].ends_with(",2,,,,0 -3 0,2,3,Dosing Failed.")) << rows[3];
}

TEST(HistoryStore, FirstLayoutIsUpgradedInPlace) {
    qelptest::TempDir dir;
    const std::string path = dir.file("history.sqlite");
    const std::string firstLayout = // the layout before the search column
        "CREATE TABLE dispenses (id INTEGER PRIMARY KEY, time INTEGER NOT NULL, "
        "product TEXT NOT NULL, base_paint TEXT NOT NULL, can_type TEXT NOT NULL, "
        "can_size INTEGER NOT NULL, can_height INTEGER NOT NULL, unit_type INTEGER NOT NULL, "
        "unit_size REAL NOT NULL, unit_fraction REAL NOT NULL, number_of_cans INTEGER NOT NULL, "
        "colorants TEXT NOT NULL, colorant_names INTEGER NOT NULL, use_shelf INTEGER NOT NULL, "
        "shelf_pre INTEGER NOT NULL, shelf_dose INTEGER NOT NULL, shelf_post INTEGER NOT NULL, "
        "send_punch INTEGER NOT NULL, punch_mode INTEGER NOT NULL, result_code INTEGER NOT NULL, "
        "outcome TEXT NOT NULL);"
        "INSERT INTO dispenses VALUES (7, 500, 'Nurel Blur', 'BC', '1L DustBin', 1000, 140, 0, "
        "29.574, 48, 1, '2\t34\t0.25\tOxide Yellow\n', 0, 0, 0, 0, 0, 0, 0, 0, "
        "'Dosing completed.'); "
        "PRAGMA user_version=1;";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, firstLayout.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    HistoryStore store(path);
    std::vector<DispenseRecord> out;
    ASSERT_TRUE(store.query({0, 9999, "oxide yellow"}, out)) << store.lastError();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].colorants.at(0).amount, 0.25);
    EXPECT_TRUE(store.record(Record(600, "DemoProduct", {})));
    ASSERT_TRUE(store.query({}, out));
    EXPECT_EQ(out.size(), 2u);
}

TEST(HistoryStore, UnusableDatabaseFailsTheCallAndLogsOncePerEpisode) {
    qelptest::ProgramFixture f;
    const std::string path = f.dir.file("data/history.sqlite");
    DispenseRecorder recorder(path);
    const DispenseRecord r = Record(100, "Morvex BL", {});
    recorder.record(f.program, r); // no directory: cannot open
    recorder.record(f.program, r);
    ASSERT_EQ(::mkdir(f.dir.file("data").c_str(), 0755), 0);
    recorder.record(f.program, r); // healed
    sqlite3* locker = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &locker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    recorder.record(f.program, r); // locked
    EXPECT_TRUE(recorder.store().lastError().starts_with("cannot write"))
        << recorder.store().lastError();
    sqlite3_exec(locker, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(locker);
    int failures = 0;
    for (const std::string& line : f.logMessages())
        failures += line.starts_with("Error: Dispense history " + path);
    EXPECT_EQ(failures, 2);
    std::vector<DispenseRecord> out;
    ASSERT_TRUE(recorder.store().query({}, out));
    EXPECT_EQ(out.size(), 1u);

    // A database its user may not write: nothing is recorded, what is there can be read.
    ASSERT_EQ(::chmod(f.dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(f.dir.file("data").c_str(), 0755), 0);
    const int code = qelptest::RunInChild(
        [&] {
            HistoryStore readOnly(path);
            std::vector<DispenseRecord> rows;
            if (readOnly.record(r))
                return 1;
            return readOnly.query({}, rows) && rows.size() == 1 ? 0 : 2;
        },
        true);
    EXPECT_EQ(code, 0);
}
