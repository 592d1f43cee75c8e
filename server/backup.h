// backup.h -- copies of the account database made while the server runs, with SQLite's online
// backup API, and their rotation in a backups/ folder beside the database.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Copies the database `from` into `to` as one consistent database (the state of one moment,
// whatever commits meanwhile); `to` is replaced whole or left as it was. False with the reason.
bool Backup_Database(const std::string& from, const std::string& to, std::string& error);

// The backups/ folder beside the database file.
std::string Backup_Folder(const std::string& db);
// A copy named after `unix_seconds` (UTC) in `folder`, made when missing; then only the newest
// `keep` copies are kept. The copy's path, or "" with the reason in `error`.
std::string Backup_Into_Folder(const std::string& db, const std::string& folder, int64_t unix_seconds, size_t keep,
                               std::string& error);
// Deletes all but the newest `keep` copies in `folder` (other files are left); the ones deleted.
std::vector<std::string> Rotate_Backups(const std::string& folder, size_t keep);

// Makes a copy every `hours` on a thread of its own until Stop_Backups; each result is logged.
struct Backup_Schedule {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
};
void Start_Backups(Backup_Schedule& schedule, const std::string& db, int32_t hours, size_t keep,
                   std::function<void(const std::string&)> log);
void Stop_Backups(Backup_Schedule& schedule);
