#include "history/history.h"

#include "frame/codepage.h"
#include "frame/textutil.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

namespace qelp {

namespace {

// A lock held by another program (a backup, a second console) is waited for this long at
// most; then the dispense goes on unrecorded rather than keeping the operator waiting.
constexpr int kBusyTimeoutMs = 250;

// The colorant lines are stored in one column: a record is written once and always read
// whole, and the search column serves every query that looks inside it. One line per
// colorant, fields separated by tabs; the name escapes backslash, tab and line end.
std::string EncodeColorants(const std::vector<RecipeColorant>& colorants) {
    std::string out;
    char number[64];
    for (const RecipeColorant& c : colorants) {
        std::snprintf(number, sizeof number, "%d\t%d\t%.17g\t", c.canister, c.pasteId, c.amount);
        out += number;
        for (char ch : Cp1252ToUtf8(c.colorant)) {
            if (ch == '\\' || ch == '\t' || ch == '\n')
                out += '\\', out += ch == '\t' ? 't' : ch == '\n' ? 'n' : '\\';
            else
                out += ch;
        }
        out += '\n';
    }
    return out;
}

std::vector<RecipeColorant> DecodeColorants(std::string_view text) {
    std::vector<RecipeColorant> colorants;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        RecipeColorant c;
        int nameAt = 0;
        const std::string copy(line);
        if (std::sscanf(copy.c_str(), "%d\t%d\t%lf\t%n", &c.canister, &c.pasteId, &c.amount,
                        &nameAt) < 3 ||
            nameAt == 0)
            continue;
        std::string name;
        for (size_t i = static_cast<size_t>(nameAt); i < copy.size(); ++i) {
            if (copy[i] == '\\' && i + 1 < copy.size()) {
                ++i;
                name += copy[i] == 't' ? '\t' : copy[i] == 'n' ? '\n' : copy[i];
            } else {
                name += copy[i];
            }
        }
        c.colorant = Utf8ToCp1252(name);
        colorants.push_back(std::move(c));
    }
    return colorants;
}

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            m_stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }
    void bind(int at, int64_t value) { sqlite3_bind_int64(m_stmt, at, value); }
    void bind(int at, double value) { sqlite3_bind_double(m_stmt, at, value); }
    void bind(int at, const std::string& utf8) {
        sqlite3_bind_text(m_stmt, at, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    std::string text(int column) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                 : std::string();
    }
    int32_t whole(int column) const { return sqlite3_column_int(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

constexpr const char* kCreateVersion1 =
    "CREATE TABLE IF NOT EXISTS dispenses ("
    " id INTEGER PRIMARY KEY, time INTEGER NOT NULL,"
    " product TEXT NOT NULL, base_paint TEXT NOT NULL, can_type TEXT NOT NULL,"
    " can_size INTEGER NOT NULL, can_height INTEGER NOT NULL,"
    " unit_type INTEGER NOT NULL, unit_size REAL NOT NULL, unit_fraction REAL NOT NULL,"
    " number_of_cans INTEGER NOT NULL, colorants TEXT NOT NULL, colorant_names INTEGER NOT NULL,"
    " use_shelf INTEGER NOT NULL, shelf_pre INTEGER NOT NULL, shelf_dose INTEGER NOT NULL,"
    " shelf_post INTEGER NOT NULL, send_punch INTEGER NOT NULL, punch_mode INTEGER NOT NULL,"
    " result_code INTEGER NOT NULL, outcome TEXT NOT NULL)";

constexpr const char* kColumns =
    "id, time, product, base_paint, can_type, can_size, can_height, unit_type, unit_size,"
    " unit_fraction, number_of_cans, colorants, colorant_names, use_shelf, shelf_pre,"
    " shelf_dose, shelf_post, send_punch, punch_mode, result_code, outcome";

} // namespace

bool DispenseRecord::operator==(const DispenseRecord& o) const {
    auto sameRecipe = [](const DosingRecipe& a, const DosingRecipe& b) {
        return a.unitType == b.unitType && a.unitSize == b.unitSize &&
               a.unitFraction == b.unitFraction && a.numberOfCans == b.numberOfCans &&
               a.product == b.product && a.basePaint == b.basePaint && a.canType == b.canType &&
               a.canSize == b.canSize && a.canHeight == b.canHeight;
    };
    auto sameColorants = [](const std::vector<RecipeColorant>& a,
                            const std::vector<RecipeColorant>& b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].canister != b[i].canister || a[i].amount != b[i].amount ||
                a[i].pasteId != b[i].pasteId || a[i].colorant != b[i].colorant)
                return false;
        return true;
    };
    return id == o.id && time == o.time && sameRecipe(recipe, o.recipe) &&
           sameColorants(colorants, o.colorants) && sendColorantNames == o.sendColorantNames &&
           useShelf == o.useShelf && shelfPre == o.shelfPre && shelfDose == o.shelfDose &&
           shelfPost == o.shelfPost && sendPunch == o.sendPunch && punchMode == o.punchMode &&
           resultCode == o.resultCode && outcome == o.outcome;
}

std::string HistorySearchText(const DispenseRecord& r) {
    std::string text = r.recipe.product + '\n' + r.recipe.basePaint;
    for (const RecipeColorant& c : r.colorants)
        text += '\n' + c.colorant;
    return FoldCaseUtf8(Cp1252ToUtf8(text));
}

HistoryStore::HistoryStore(std::string path) : m_path(std::move(path)) {}

HistoryStore::~HistoryStore() {
    close();
}

void HistoryStore::close() {
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool HistoryStore::fail(const std::string& what) {
    m_error = what + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
    if (m_db && sqlite3_get_autocommit(m_db) == 0)
        Exec(m_db, "ROLLBACK");
    return false;
}

bool HistoryStore::open() {
    if (m_db)
        return true;
    // No symbolic link: the database is ours, beside the program, never a file elsewhere.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(m_path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        fail("cannot open");
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // With WAL, NORMAL syncs at checkpoints instead of at every commit: a power cut may lose
    // the last dispenses' records but never corrupts the file, and a dispense does not wait
    // for the disk (a full sync took over 10 ms per record on a busy machine).
    Exec(m_db, "PRAGMA synchronous=NORMAL");
    Statement version(m_db, "PRAGMA user_version");
    if (!version || sqlite3_step(version.get()) != SQLITE_ROW) {
        fail("cannot read");
        close();
        return false;
    }
    const int found = version.whole(0);
    if (found > kSchemaVersion) {
        m_error = "written by a newer program (layout " + std::to_string(found) + ")";
        close();
        return false;
    }
    // A read-only database can still be shown: only the layout change needs writing, and a
    // database of the current layout needs none.
    if (found == kSchemaVersion)
        return true;
    // WAL lets the history window read while a dispense is written; it is a property of the
    // file, so it is set once, with the layout.
    Exec(m_db, "PRAGMA journal_mode=WAL");
    bool ok = Exec(m_db, "BEGIN IMMEDIATE") && Exec(m_db, kCreateVersion1);
    if (ok && found < 2) {
        ok = Exec(m_db, "ALTER TABLE dispenses ADD COLUMN search TEXT NOT NULL DEFAULT ''") &&
             Exec(m_db, "CREATE INDEX IF NOT EXISTS dispenses_by_time ON dispenses(time, id)");
        std::vector<DispenseRecord> rows;
        Statement all(m_db, (std::string("SELECT ") + kColumns + " FROM dispenses").c_str());
        Statement update(m_db, "UPDATE dispenses SET search = ?1 WHERE id = ?2");
        ok = ok && all && update;
        while (ok && sqlite3_step(all.get()) == SQLITE_ROW) {
            DispenseRecord r;
            r.recipe.product = Utf8ToCp1252(all.text(2));
            r.recipe.basePaint = Utf8ToCp1252(all.text(3));
            r.colorants = DecodeColorants(all.text(11));
            update.bind(1, HistorySearchText(r));
            update.bind(2, static_cast<int64_t>(sqlite3_column_int64(all.get(), 0)));
            ok = sqlite3_step(update.get()) == SQLITE_DONE;
            sqlite3_reset(update.get());
        }
    }
    ok = ok && Exec(m_db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str()) &&
         Exec(m_db, "COMMIT");
    if (!ok) {
        fail("cannot set up");
        close();
        return false;
    }
    return true;
}

bool HistoryStore::record(const DispenseRecord& r) {
    if (!open())
        return false;
    Statement insert(m_db, "INSERT INTO dispenses (time, product, base_paint, can_type,"
                           " can_size, can_height, unit_type, unit_size, unit_fraction,"
                           " number_of_cans, colorants, colorant_names, use_shelf, shelf_pre,"
                           " shelf_dose, shelf_post, send_punch, punch_mode, result_code,"
                           " outcome, search) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10,"
                           " ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19, ?20, ?21)");
    if (!insert || !Exec(m_db, "BEGIN IMMEDIATE"))
        return fail("cannot write");
    insert.bind(1, r.time);
    insert.bind(2, Cp1252ToUtf8(r.recipe.product));
    insert.bind(3, Cp1252ToUtf8(r.recipe.basePaint));
    insert.bind(4, Cp1252ToUtf8(r.recipe.canType));
    const int64_t wholes[] = {r.recipe.canSize, r.recipe.canHeight, r.recipe.unitType};
    for (int i = 0; i < 3; ++i)
        insert.bind(5 + i, wholes[i]);
    insert.bind(8, r.recipe.unitSize);
    insert.bind(9, r.recipe.unitFraction);
    insert.bind(10, int64_t{r.recipe.numberOfCans});
    insert.bind(11, EncodeColorants(r.colorants));
    const int64_t options[] = {r.sendColorantNames, r.useShelf,  r.shelfPre,  r.shelfDose,
                               r.shelfPost,         r.sendPunch, r.punchMode, r.resultCode};
    for (int i = 0; i < 8; ++i)
        insert.bind(12 + i, options[i]);
    insert.bind(20, Cp1252ToUtf8(r.outcome));
    insert.bind(21, HistorySearchText(r));
    if (sqlite3_step(insert.get()) != SQLITE_DONE || !Exec(m_db, "COMMIT"))
        return fail("cannot write");
    return true;
}

namespace {

void ReadRow(const Statement& select, DispenseRecord& r) {
    sqlite3_stmt* s = select.get();
    r.id = sqlite3_column_int64(s, 0);
    r.time = sqlite3_column_int64(s, 1);
    r.recipe.product = Utf8ToCp1252(select.text(2));
    r.recipe.basePaint = Utf8ToCp1252(select.text(3));
    r.recipe.canType = Utf8ToCp1252(select.text(4));
    r.recipe.canSize = select.whole(5);
    r.recipe.canHeight = select.whole(6);
    r.recipe.unitType = select.whole(7);
    r.recipe.unitSize = sqlite3_column_double(s, 8);
    r.recipe.unitFraction = sqlite3_column_double(s, 9);
    r.recipe.numberOfCans = select.whole(10);
    r.colorants = DecodeColorants(select.text(11));
    r.sendColorantNames = select.whole(12) != 0;
    r.useShelf = select.whole(13) != 0;
    r.shelfPre = select.whole(14);
    r.shelfDose = select.whole(15);
    r.shelfPost = select.whole(16);
    r.sendPunch = select.whole(17) != 0;
    r.punchMode = select.whole(18);
    r.resultCode = select.whole(19);
    r.outcome = Utf8ToCp1252(select.text(20));
}

} // namespace

bool HistoryStore::query(const HistoryFilter& filter, std::vector<DispenseRecord>& rows) {
    rows.clear();
    std::vector<int64_t> ids;
    return queryIds(filter, ids) && fetch(ids, rows);
}

bool HistoryStore::queryIds(const HistoryFilter& filter, std::vector<int64_t>& ids) {
    ids.clear();
    if (!open())
        return false;
    // instr, not LIKE: the operator's text is matched as typed, '%' and '_' included. Without
    // a text the (time, id) index answers alone, in its order.
    Statement select(m_db, "SELECT id FROM dispenses WHERE time >= ?1 AND time < ?2"
                           " AND (?3 = '' OR instr(search, ?3) > 0)"
                           " ORDER BY time DESC, id DESC");
    if (!select)
        return fail("cannot read");
    select.bind(1, filter.from);
    select.bind(2, filter.until);
    select.bind(3, FoldCaseUtf8(Cp1252ToUtf8(filter.text)));
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(select.get(), 0));
    if (step != SQLITE_DONE) {
        ids.clear();
        return fail("cannot read");
    }
    return true;
}

bool HistoryStore::fetch(const std::vector<int64_t>& ids, std::vector<DispenseRecord>& rows) {
    rows.clear();
    if (ids.empty())
        return true;
    if (!open())
        return false;
    Statement select(m_db,
                     (std::string("SELECT ") + kColumns + " FROM dispenses WHERE id = ?1").c_str());
    // One read transaction, so the records come from one state of the file.
    if (!select || !Exec(m_db, "BEGIN"))
        return fail("cannot read");
    rows.reserve(ids.size());
    for (int64_t id : ids) {
        select.bind(1, id);
        const int step = sqlite3_step(select.get());
        if (step == SQLITE_ROW)
            ReadRow(select, rows.emplace_back());
        else if (step != SQLITE_DONE) {
            rows.clear();
            return fail("cannot read");
        }
        sqlite3_reset(select.get());
    }
    Exec(m_db, "COMMIT");
    return true;
}

bool HistoryPages::load(const HistoryFilter& filter) {
    m_pages.clear();
    return m_store.queryIds(filter, m_ids);
}

bool HistoryPages::read(size_t first, std::vector<DispenseRecord>& rows) {
    const size_t end = std::min(m_ids.size(), first + kPageRows);
    return m_store.fetch(std::vector<int64_t>(m_ids.begin() + static_cast<ptrdiff_t>(first),
                                              m_ids.begin() + static_cast<ptrdiff_t>(end)),
                         rows);
}

const DispenseRecord* HistoryPages::at(size_t row) {
    if (row >= m_ids.size())
        return nullptr;
    const size_t first = row - row % kPageRows;
    auto page = std::find_if(m_pages.begin(), m_pages.end(),
                             [first](const Page& p) { return p.first == first; });
    if (page == m_pages.end()) {
        // The pages on screen and a little scrolling around them.
        constexpr size_t kKeptPages = 8;
        Page fresh{first, {}};
        if (!read(first, fresh.rows))
            return nullptr;
        if (m_pages.size() == kKeptPages)
            m_pages.pop_back();
        m_pages.push_front(std::move(fresh));
    } else if (page != m_pages.begin()) {
        std::rotate(m_pages.begin(), page, page + 1);
    }
    const std::vector<DispenseRecord>& rows = m_pages.front().rows;
    const size_t at = row - first;
    // A record removed since the query shortens its page; it must not shift another in.
    return at < rows.size() && rows[at].id == m_ids[row] ? &rows[at] : nullptr;
}

bool HistoryPages::forEachPage(
    const std::function<bool(const std::vector<DispenseRecord>&)>& visit) {
    std::vector<DispenseRecord> rows;
    for (size_t first = 0; first < m_ids.size(); first += kPageRows)
        if (!read(first, rows) || !visit(rows))
            return false;
    return true;
}

std::string FormatLocalTime(int64_t time) {
    const auto t = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

namespace {

void AppendField(std::string& out, const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
        out += utf8;
        return;
    }
    out += '"';
    for (char ch : utf8) {
        if (ch == '"')
            out += '"';
        out += ch;
    }
    out += '"';
}

} // namespace

std::string HistoryCsv(const std::vector<DispenseRecord>& records, bool header) {
    std::string out;
    if (header)
        out = "\xEF\xBB\xBF"
              "Time,Product,Base Paint,Can Type,Can Size,Can Height,Unit,Unit Size,Unit Fraction,"
              "Number Of Cans,Canister,Colorant,Amount,Shelf,Punch,Result Code,Outcome\r\n";
    for (const DispenseRecord& r : records) {
        const size_t lines = r.colorants.empty() ? 1 : r.colorants.size();
        for (size_t i = 0; i < lines; ++i) {
            const RecipeColorant* c = r.colorants.empty() ? nullptr : &r.colorants[i];
            const std::string shelf = r.useShelf ? std::to_string(r.shelfPre) + ' ' +
                                                       std::to_string(r.shelfDose) + ' ' +
                                                       std::to_string(r.shelfPost)
                                                 : std::string();
            const std::string fields[] = {FormatLocalTime(r.time),
                                          Cp1252ToUtf8(r.recipe.product),
                                          Cp1252ToUtf8(r.recipe.basePaint),
                                          Cp1252ToUtf8(r.recipe.canType),
                                          std::to_string(r.recipe.canSize),
                                          std::to_string(r.recipe.canHeight),
                                          r.recipe.unitType == 1 ? "GR" : "ML",
                                          FormatInvariant(r.recipe.unitSize),
                                          FormatInvariant(r.recipe.unitFraction),
                                          std::to_string(r.recipe.numberOfCans),
                                          c ? std::to_string(c->canister) : std::string(),
                                          c ? Cp1252ToUtf8(c->colorant) : std::string(),
                                          c ? FormatInvariant(c->amount) : std::string(),
                                          shelf,
                                          r.sendPunch ? std::to_string(r.punchMode) : std::string(),
                                          std::to_string(r.resultCode),
                                          Cp1252ToUtf8(r.outcome)};
            for (const std::string& field : fields) {
                if (&field != fields)
                    out += ',';
                AppendField(out, field);
            }
            out += "\r\n";
        }
    }
    return out;
}

} // namespace qelp
