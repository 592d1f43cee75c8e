// accounts.h -- the player accounts in one SQLite file: names, password hashes (Argon2id),
// the last cell, times and bans. Every change is one transaction; the schema is created and
// migrated here. Used from one thread only (the server's game thread, or the "user" tool).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

struct Account {
    int64_t id = 0;
    std::string name;         // UTF-8
    std::string pass_hash;    // crypto_pwhash_str form; carries its own parameters
    int64_t created = 0;      // Unix seconds
    int64_t last_login = 0;   // 0: never
    bool has_cell = false;    // a last cell is kept
    int16_t cell_x = 0, cell_y = 0;
    bool banned = false;
    std::string ban_reason;   // UTF-8
};

struct Position_Save {
    int64_t account = 0;
    int16_t x = 0, y = 0;
};

struct Checkpointer;

struct Account_Store {
    sqlite3* db = nullptr;
    Checkpointer* checkpointer = nullptr;   // copies the log into the file on a thread of its own
    sqlite3_stmt* find = nullptr;
    sqlite3_stmt* save_cell = nullptr;
    std::string path;
};

inline constexpr int ACCOUNT_SCHEMA_VERSION = 1;

// Opens (creating when absent) and migrates the database; ":memory:" gives one in memory.
// With `background_checkpoints`, the write-ahead log is copied into the database file by a
// thread with a connection of its own, so that the caller's commits never wait for the disk's
// flushes. False with the reason in `error`.
bool Open_Accounts(Account_Store& store, const std::string& path, std::string& error,
                   bool background_checkpoints = false);
void Close_Accounts(Account_Store& store);

std::optional<Account> Find_Account(Account_Store& store, const std::string& name);
std::vector<Account> List_Accounts(Account_Store& store);
// False when the name is taken (or the write failed: `error` says which).
bool Create_Account(Account_Store& store, const std::string& name, const std::string& pass_hash, int64_t now,
                    std::string& error);
// The changes below are false when no account has the name.
bool Set_Password(Account_Store& store, const std::string& name, const std::string& pass_hash);
bool Delete_Account(Account_Store& store, const std::string& name);
bool Set_Ban(Account_Store& store, const std::string& name, bool banned, const std::string& reason);
void Record_Login(Account_Store& store, int64_t account, int64_t now);
// Writes every cell in one transaction; false (nothing written) when it failed.
bool Save_Positions(Account_Store& store, const std::vector<Position_Save>& cells);

// Cost of a new hash: libsodium's operations and memory limits (Argon2id).
struct Hash_Cost {
    uint64_t ops = 0;    // 0: crypto_pwhash_OPSLIMIT_INTERACTIVE
    size_t memory = 0;   // bytes; 0: crypto_pwhash_MEMLIMIT_INTERACTIVE
};
// False when libsodium cannot start (no randomness).
bool Start_Password_Hashing();
// The encoded hash of a password; "" when it could not be made (out of memory).
std::string Hash_Password(const std::string& password, const Hash_Cost& cost);
// True when the password matches the hash; the comparison takes the same time however much of
// it matches.
bool Verify_Password(const std::string& pass_hash, const std::string& password);
// A hash of a password nobody knows, made with `cost`, to check unknown names against so that
// they take as long as known ones.
const std::string& Decoy_Hash(const Hash_Cost& cost);
