// accounts.cpp -- the account database (SQLite, WAL) and password hashing (libsodium).
#include "accounts.h"

#include <sodium.h>
#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Statement {
    sqlite3_stmt* s = nullptr;
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return s != nullptr; }
};

bool Exec(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

std::string Column_Text(sqlite3_stmt* s, int column) {
    const unsigned char* text = sqlite3_column_text(s, column);
    return text ? reinterpret_cast<const char*>(text) : "";
}

Account Read_Account(sqlite3_stmt* s) {
    Account a;
    a.id = sqlite3_column_int64(s, 0);
    a.name = Column_Text(s, 1);
    a.pass_hash = Column_Text(s, 2);
    a.created = sqlite3_column_int64(s, 3);
    a.last_login = sqlite3_column_int64(s, 4);
    a.has_cell = sqlite3_column_type(s, 5) != SQLITE_NULL && sqlite3_column_type(s, 6) != SQLITE_NULL;
    a.cell_x = int16_t(sqlite3_column_int(s, 5));
    a.cell_y = int16_t(sqlite3_column_int(s, 6));
    a.banned = sqlite3_column_int(s, 7) != 0;
    a.ban_reason = Column_Text(s, 8);
    return a;
}

constexpr const char* ACCOUNT_COLUMNS =
    "id, name, pass_hash, created, coalesce(last_login, 0), cell_x, cell_y, banned, ban_reason";

// Each step takes the schema from the version before it to its own; applied in one transaction.
constexpr const char* MIGRATIONS[] = {
    // 1: accounts
    "CREATE TABLE accounts ("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL UNIQUE,"
    " pass_hash TEXT NOT NULL,"
    " created INTEGER NOT NULL,"
    " last_login INTEGER,"
    " cell_x INTEGER,"
    " cell_y INTEGER,"
    " banned INTEGER NOT NULL DEFAULT 0,"
    " ban_reason TEXT NOT NULL DEFAULT '');",
};
static_assert(sizeof MIGRATIONS / sizeof MIGRATIONS[0] == ACCOUNT_SCHEMA_VERSION);

bool Migrate(sqlite3* db, std::string& error) {
    if (!Exec(db, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);", error)) return false;
    int version = 0;
    {
        Statement s(db, "SELECT max(version) FROM schema_version;");
        if (s && sqlite3_step(s.s) == SQLITE_ROW) version = sqlite3_column_int(s.s, 0);
    }
    if (version > ACCOUNT_SCHEMA_VERSION) {
        error = "the database has schema version " + std::to_string(version) + ", newer than this server's " +
                std::to_string(ACCOUNT_SCHEMA_VERSION);
        return false;
    }
    for (int v = version; v < ACCOUNT_SCHEMA_VERSION; ++v) {
        if (!Exec(db, "BEGIN IMMEDIATE;", error)) return false;
        const std::string record =
            "DELETE FROM schema_version; INSERT INTO schema_version VALUES (" + std::to_string(v + 1) + ");";
        if (!Exec(db, MIGRATIONS[v], error) || !Exec(db, record.c_str(), error) || !Exec(db, "COMMIT;", error)) {
            std::string ignored;
            Exec(db, "ROLLBACK;", ignored);
            return false;
        }
    }
    return true;
}

// One statement that changes rows; false when it changed none (or failed).
bool Change(Account_Store& store, const char* sql, const std::string& name, const std::string* text = nullptr,
            int64_t number = 0, bool with_number = false) {
    Statement s(store.db, sql);
    if (!s) return false;
    int at = 1;
    if (text) sqlite3_bind_text(s.s, at++, text->c_str(), int(text->size()), SQLITE_TRANSIENT);
    if (with_number) sqlite3_bind_int64(s.s, at++, number);
    sqlite3_bind_text(s.s, at, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
    return sqlite3_step(s.s) == SQLITE_DONE && sqlite3_changes(store.db) > 0;
}

}   // namespace

struct Checkpointer {
    sqlite3* db = nullptr;
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        while (!wake.wait_for(lock, std::chrono::seconds(1), [this] { return stop; }))
            sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
};

bool Open_Accounts(Account_Store& store, const std::string& path, std::string& error, bool background_checkpoints) {
    Close_Accounts(store);
    if (sqlite3_open_v2(path.c_str(), &store.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = store.db ? sqlite3_errmsg(store.db) : "out of memory";
        Close_Accounts(store);
        return false;
    }
    store.path = path;
    sqlite3_busy_timeout(store.db, 5000);   // the "user" tool may write while the server runs
    // WAL: a kill at any moment leaves the file whole, and readers never wait for the writer.
    // NORMAL: a commit reaches the operating system before the call returns, so a killed server
    // loses nothing it committed; only a crash of the whole machine can lose the last commits.
    if (!Exec(store.db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON;", error) ||
        !Migrate(store.db, error)) {
        Close_Accounts(store);
        return false;
    }
    if (background_checkpoints && path != ":memory:") {
        auto c = std::make_unique<Checkpointer>();
        if (sqlite3_open_v2(path.c_str(), &c->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK &&
            Exec(store.db, "PRAGMA wal_autocheckpoint = 0;", error)) {
            sqlite3_busy_timeout(c->db, 1000);
            Checkpointer* raw = c.release();
            raw->thread = std::thread([raw] { raw->Run(); });
            store.checkpointer = raw;
        } else {
            sqlite3_close(c->db);   // commits then checkpoint as they go
        }
    }
    const std::string find = std::string("SELECT ") + ACCOUNT_COLUMNS + " FROM accounts WHERE name = ?1;";
    if (sqlite3_prepare_v2(store.db, find.c_str(), -1, &store.find, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(store.db, "UPDATE accounts SET cell_x = ?1, cell_y = ?2 WHERE id = ?3;", -1,
                           &store.save_cell, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(store.db);
        Close_Accounts(store);
        return false;
    }
    return true;
}

void Close_Accounts(Account_Store& store) {
    if (Checkpointer* c = store.checkpointer) {
        {
            std::lock_guard<std::mutex> lock(c->mutex);
            c->stop = true;
        }
        c->wake.notify_all();
        c->thread.join();
        sqlite3_close(c->db);
        delete c;
        store.checkpointer = nullptr;
    }
    sqlite3_finalize(store.find);
    sqlite3_finalize(store.save_cell);
    store.find = store.save_cell = nullptr;
    if (store.db) sqlite3_close(store.db);
    store.db = nullptr;
}

std::optional<Account> Find_Account(Account_Store& store, const std::string& name) {
    if (!store.find) return std::nullopt;
    sqlite3_reset(store.find);
    sqlite3_bind_text(store.find, 1, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
    std::optional<Account> found;
    if (sqlite3_step(store.find) == SQLITE_ROW) found = Read_Account(store.find);
    sqlite3_reset(store.find);
    return found;
}

std::vector<Account> List_Accounts(Account_Store& store) {
    std::vector<Account> all;
    const std::string sql = std::string("SELECT ") + ACCOUNT_COLUMNS + " FROM accounts ORDER BY name;";
    Statement s(store.db, sql.c_str());
    while (s && sqlite3_step(s.s) == SQLITE_ROW) all.push_back(Read_Account(s.s));
    return all;
}

bool Create_Account(Account_Store& store, const std::string& name, const std::string& pass_hash, int64_t now,
                    std::string& error) {
    Statement s(store.db, "INSERT INTO accounts (name, pass_hash, created) VALUES (?1, ?2, ?3);");
    if (!s) {
        error = sqlite3_errmsg(store.db);
        return false;
    }
    sqlite3_bind_text(s.s, 1, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s.s, 2, pass_hash.c_str(), int(pass_hash.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s.s, 3, now);
    const int rc = sqlite3_step(s.s);
    if (rc == SQLITE_DONE) return true;
    error = rc == SQLITE_CONSTRAINT ? "the name is taken" : sqlite3_errmsg(store.db);
    return false;
}

bool Set_Password(Account_Store& store, const std::string& name, const std::string& pass_hash) {
    return Change(store, "UPDATE accounts SET pass_hash = ?1 WHERE name = ?2;", name, &pass_hash);
}

bool Delete_Account(Account_Store& store, const std::string& name) {
    return Change(store, "DELETE FROM accounts WHERE name = ?1;", name);
}

bool Set_Ban(Account_Store& store, const std::string& name, bool banned, const std::string& reason) {
    return Change(store, "UPDATE accounts SET ban_reason = ?1, banned = ?2 WHERE name = ?3;", name, &reason,
                  banned ? 1 : 0, true);
}

void Record_Login(Account_Store& store, int64_t account, int64_t now) {
    Statement s(store.db, "UPDATE accounts SET last_login = ?1 WHERE id = ?2;");
    if (!s) return;
    sqlite3_bind_int64(s.s, 1, now);
    sqlite3_bind_int64(s.s, 2, account);
    sqlite3_step(s.s);
}

bool Save_Positions(Account_Store& store, const std::vector<Position_Save>& cells) {
    if (cells.empty()) return true;
    if (!store.save_cell) return false;
    std::string error;
    if (!Exec(store.db, "BEGIN IMMEDIATE;", error)) return false;
    for (const Position_Save& p : cells) {
        sqlite3_reset(store.save_cell);
        sqlite3_bind_int(store.save_cell, 1, p.x);
        sqlite3_bind_int(store.save_cell, 2, p.y);
        sqlite3_bind_int64(store.save_cell, 3, p.account);
        if (sqlite3_step(store.save_cell) != SQLITE_DONE) {
            sqlite3_reset(store.save_cell);
            Exec(store.db, "ROLLBACK;", error);
            return false;
        }
    }
    sqlite3_reset(store.save_cell);
    return Exec(store.db, "COMMIT;", error);
}

bool Start_Password_Hashing() { return sodium_init() >= 0; }

std::string Hash_Password(const std::string& password, const Hash_Cost& cost) {
    char out[crypto_pwhash_STRBYTES];
    const uint64_t ops = cost.ops ? cost.ops : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const size_t memory = cost.memory ? cost.memory : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), ops, memory, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return "";
    return out;
}

bool Verify_Password(const std::string& pass_hash, const std::string& password) {
    return crypto_pwhash_str_verify(pass_hash.c_str(), password.data(), password.size()) == 0;
}

const std::string& Decoy_Hash(const Hash_Cost& cost) {
    static std::mutex guard;
    static std::string decoy;
    std::lock_guard<std::mutex> lock(guard);
    if (decoy.empty()) {
        unsigned char secret[32];
        randombytes_buf(secret, sizeof secret);
        decoy = Hash_Password(std::string(reinterpret_cast<char*>(secret), sizeof secret), cost);
    }
    return decoy;
}
