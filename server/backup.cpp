// backup.cpp -- the online backup, the copies' names and rotation, and the schedule's thread.
#include "backup.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

const char* const COPY_PREFIX = "isoserver-";
const char* const COPY_SUFFIX = ".db";

bool Is_Copy_Name(const std::string& name) {
    // isoserver-YYYYMMDD-HHMMSS.db
    return name.size() == 28 && name.rfind(COPY_PREFIX, 0) == 0 && name.compare(name.size() - 3, 3, COPY_SUFFIX) == 0;
}

std::string Copy_Name(int64_t unix_seconds) {
    const std::time_t t = std::time_t(unix_seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "isoserver-%Y%m%d-%H%M%S.db", &tm);
    return text;
}

// The first column of the first row, "" when none.
int First_Value(void* into, int columns, char** values, char**) {
    auto* text = static_cast<std::string*>(into);
    if (text->empty() && columns > 0 && values[0]) *text = values[0];
    return 0;
}

}   // namespace

bool Backup_Database(const std::string& from, const std::string& to, std::string& error) {
    const std::string part = to + ".part";
    std::error_code ignored;
    fs::remove(File_System_Path(part), ignored);
    sqlite3* source = nullptr;
    sqlite3* copy = nullptr;
    auto fail = [&](const std::string& why) {
        error = why;
        sqlite3_close(source);
        sqlite3_close(copy);
        fs::remove(File_System_Path(part), ignored);
        return false;
    };
    // Without SQLITE_OPEN_CREATE: a mistyped name is an error, not an empty copy.
    if (sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return fail("cannot open the database '" + from + "': " + (source ? sqlite3_errmsg(source) : "out of memory"));
    sqlite3_busy_timeout(source, 5000);
    if (sqlite3_open_v2(part.c_str(), &copy, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        return fail("cannot make '" + part + "': " + (copy ? sqlite3_errmsg(copy) : "out of memory"));
    sqlite3_backup* backup = sqlite3_backup_init(copy, "main", source, "main");
    if (!backup) return fail(sqlite3_errmsg(copy));
    // All pages in one step: one read transaction, so the copy is the database of one moment.
    // In WAL mode the server's commits go on meanwhile.
    int step = SQLITE_OK;
    for (int tries = 0; tries < 200; ++tries) {
        step = sqlite3_backup_step(backup, -1);
        if (step != SQLITE_BUSY && step != SQLITE_LOCKED) break;
        sqlite3_sleep(25);
    }
    const int finish = sqlite3_backup_finish(backup);
    if (step != SQLITE_DONE) return fail(std::string("the copy failed: ") + sqlite3_errstr(step));
    if (finish != SQLITE_OK) return fail(sqlite3_errmsg(copy));
    std::string check;
    char* message = nullptr;
    // A copy is a file of its own: no write-ahead log beside it to lose.
    if (sqlite3_exec(copy, "PRAGMA journal_mode = DELETE;", First_Value, &check, &message) != SQLITE_OK) {
        const std::string why = message ? message : "the check failed";
        sqlite3_free(message);
        return fail(why);
    }
    if (check != "delete") return fail("the copy did not leave WAL mode: " + check);
    check.clear();
    if (sqlite3_exec(copy, "PRAGMA quick_check;", First_Value, &check, nullptr) != SQLITE_OK || check != "ok")
        return fail("the copy fails its check: " + check);
    sqlite3_close(source);
    sqlite3_close(copy);
    source = copy = nullptr;
    std::error_code ec;
    fs::rename(File_System_Path(part), File_System_Path(to), ec);
    if (ec) return fail("cannot rename '" + part + "' to '" + to + "': " + ec.message());
    return true;
}

std::string Backup_Folder(const std::string& db) {
    const fs::path folder = File_System_Path(db).parent_path() / "backups";
    return Host_Path_Of(folder);
}

std::string Backup_Into_Folder(const std::string& db, const std::string& folder, int64_t unix_seconds, size_t keep,
                               std::string& error) {
    std::error_code ec;
    fs::create_directories(File_System_Path(folder), ec);
    if (ec) {
        error = "cannot make the folder '" + folder + "': " + ec.message();
        return "";
    }
    std::string to = Host_Path_Of(File_System_Path(folder) / Copy_Name(unix_seconds));
    if (!Backup_Database(db, to, error)) return "";
    Rotate_Backups(folder, keep);
    return to;
}

std::vector<std::string> Rotate_Backups(const std::string& folder, size_t keep) {
    std::vector<std::string> copies, removed;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(File_System_Path(folder), ec)) {
        const std::string name = Host_Path_Of(entry.path().filename());
        if (Is_Copy_Name(name) && entry.is_regular_file(ec)) copies.push_back(name);
    }
    std::sort(copies.begin(), copies.end());   // the names sort by time
    for (size_t i = 0; i + keep < copies.size(); ++i) {
        const fs::path path = File_System_Path(folder) / File_System_Path(copies[i]);
        if (fs::remove(path, ec)) removed.push_back(Host_Path_Of(path));
    }
    return removed;
}

void Start_Backups(Backup_Schedule& schedule, const std::string& db, int32_t hours, size_t keep,
                   std::function<void(const std::string&)> log) {
    schedule.stop = false;
    schedule.thread = std::thread([&schedule, db, hours, keep, log = std::move(log)] {
        std::unique_lock<std::mutex> lock(schedule.mutex);
        while (!schedule.wake.wait_for(lock, std::chrono::hours(hours), [&] { return schedule.stop; })) {
            lock.unlock();
            std::string error;
            const std::string copy =
                Backup_Into_Folder(db, Backup_Folder(db), int64_t(std::time(nullptr)), keep, error);
            log(copy.empty() ? "backup failed: " + error : "backup made: " + copy);
            lock.lock();
        }
    });
}

void Stop_Backups(Backup_Schedule& schedule) {
    if (!schedule.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(schedule.mutex);
        schedule.stop = true;
    }
    schedule.wake.notify_all();
    schedule.thread.join();
}
