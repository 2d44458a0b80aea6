#pragma once
// The dispense history: every dosing command the console sent, kept in an SQLite database so
// that an operator can find, export and send again what was dispensed on any day. The store
// never blocks the machine: every call returns at once with false (and lastError()) when the
// database cannot be opened, read or written; the caller decides what to say.
//
// Texts in records are Windows-1252 bytes like everything in the core; the database holds
// them as UTF-8, so that other programs read it right.
#include "frame/types.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <string>
#include <vector>

struct sqlite3;

namespace qelp {

// The result code of a dosing command that never reached the driver (refused while another
// command ran, its file not written, the driver busy or gone): no code a driver reports and
// none the console sets while waiting for one (-1 unreadable result, -2 no result).
inline constexpr int32_t kResultNotSent = -3;

// One dosing command as it was sent, and how it ended.
struct DispenseRecord {
    int64_t id = 0;   // given by the store
    int64_t time = 0; // seconds since 1970-01-01 UTC
    DosingRecipe recipe;
    std::vector<RecipeColorant> colorants; // in the order of the colorant line
    bool sendColorantNames = false;
    bool useShelf = false;
    int32_t shelfPre = 0;
    int32_t shelfDose = 0;
    int32_t shelfPost = 0;
    bool sendPunch = false;
    int32_t punchMode = 0;
    int32_t resultCode = 0; // the driver's code, or kResultNotSent
    std::string outcome;    // the line the console logged for it
    bool operator==(const DispenseRecord&) const;
};

// Which records a query returns: times in [from, until), and, when text is not empty, only
// records whose product, base paint or a colorant name contains it, letter case aside.
struct HistoryFilter {
    int64_t from = std::numeric_limits<int64_t>::min();
    int64_t until = std::numeric_limits<int64_t>::max();
    std::string text;
};

class HistoryStore {
public:
    // The layout of the database, kept in its user_version. Version 1 had no search column;
    // opening such a database adds and fills it.
    static constexpr int kSchemaVersion = 2;

    // Opens nothing yet: the database is opened (created, migrated) on first use, and again
    // on the next use after a failure, so a fixed problem heals without a restart.
    explicit HistoryStore(std::string path);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Adds one record in a transaction of its own; waits at most a moment for a lock.
    bool record(const DispenseRecord& record);
    // The matching records, newest first.
    bool query(const HistoryFilter& filter, std::vector<DispenseRecord>& rows);
    // The ids of the matching records, newest first: all a window needs before it draws.
    bool queryIds(const HistoryFilter& filter, std::vector<int64_t>& ids);
    // The records with these ids, in the order given; an id no longer stored is left out.
    bool fetch(const std::vector<int64_t>& ids, std::vector<DispenseRecord>& rows);

    const std::string& path() const { return m_path; }
    const std::string& lastError() const { return m_error; }

private:
    bool open();
    bool fail(const std::string& what);
    void close();

    std::string m_path;
    std::string m_error;
    sqlite3* m_db = nullptr;
};

// A query's records read a page at a time as they are asked for, so that a window over
// 100,000 records costs their ids and the pages on screen. A few pages are kept; the
// records stay as they were when the page was read.
class HistoryPages {
public:
    static constexpr size_t kPageRows = 100;

    explicit HistoryPages(HistoryStore& store) : m_store(store) {}

    // Runs the query; false (and empty) when the store cannot be read.
    bool load(const HistoryFilter& filter);
    size_t size() const { return m_ids.size(); }
    // The record at row, reading its page when it is not kept; nullptr past the end or when
    // the page cannot be read. Valid until the next call.
    const DispenseRecord* at(size_t row);
    // Hands every record to visit a page at a time, oldest page never kept; stops early when
    // visit returns false. False when a page cannot be read or visit stopped.
    bool forEachPage(const std::function<bool(const std::vector<DispenseRecord>&)>& visit);

private:
    struct Page {
        size_t first = 0;
        std::vector<DispenseRecord> rows;
    };
    bool read(size_t first, std::vector<DispenseRecord>& rows);

    HistoryStore& m_store;
    std::vector<int64_t> m_ids;
    std::deque<Page> m_pages; // most recently used first
};

// The text that record's search column holds: product, base paint and colorant names,
// case-folded UTF-8.
std::string HistorySearchText(const DispenseRecord& record);
// A time as local "yyyy-MM-dd HH:mm:ss", the event log's form.
std::string FormatLocalTime(int64_t time);

// The records as CSV (RFC 4180: CR LF, every field that holds a comma, quote or line end
// quoted, quotes doubled), UTF-8 with a byte-order mark so that spreadsheet programs take
// it as UTF-8. One row per colorant line, the dispense's own columns repeated on each, so a
// spreadsheet can sum amounts per colorant; a dispense without colorants has one row with
// the colorant columns empty. Numbers use '.' as decimal separator.
// Without the header (byte-order mark and heading row), the rows that follow another part.
std::string HistoryCsv(const std::vector<DispenseRecord>& records, bool header = true);

} // namespace qelp
