#include "platform/RegistryHive.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/LastError.h"
#include "platform/Trace.h"

namespace quillon {

// One database connection to one hive file.
class HiveConnection {
  public:
    HiveConnection(sqlite3* db, std::string file) : db_(db), file_(std::move(file)) {}
    ~HiveConnection() { sqlite3_close_v2(db_); }
    HiveConnection(const HiveConnection&) = delete;
    HiveConnection& operator=(const HiveConnection&) = delete;

    sqlite3* Db() const { return db_; }
    const std::string& File() const { return file_; }
    // False while the file is an empty database that no write has made a hive yet.
    bool hasSchema = false;

  private:
    sqlite3* db_;
    std::string file_;
};

namespace {

// Marks a database as a hive, so that no other database is ever taken for one (or written to).
constexpr int kHiveApplicationId = 0x51524547;
constexpr int kHiveSchemaVersion = 1;

// SQLite waits this long for a lock before it reports the hive busy; a busy transaction is then
// retried a few times. A killed process releases its locks at once, so only a live writer in the
// middle of a transaction makes others wait, and transactions here last milliseconds.
constexpr int kBusyTimeoutMs = 5000;
constexpr int kBusyAttempts = 6;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused, so a stale open key finds nothing
    " parent INTEGER NOT NULL,"               // 0 is the root key, which has no row
    " name BLOB NOT NULL,"
    " fold BLOB NOT NULL,"
    " UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // creation order, kept when a value is replaced
    " key INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " fold BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " UNIQUE(key, fold));";

// A prepared statement that is finalised when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int PrepareResult() const { return rc_; }
    void Bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    void Bind(int index, std::string_view bytes) {
        // A zero-length blob must still be a blob, not NULL.
        sqlite3_bind_blob(stmt_, index, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
    int Step() { return rc_ == SQLITE_OK ? sqlite3_step(stmt_) : rc_; }
    void Reset() { sqlite3_reset(stmt_); }
    int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string Bytes(int column) const {
        const void* data = sqlite3_column_blob(stmt_, column);
        int size = sqlite3_column_bytes(stmt_, column);
        return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

bool IsDamage(int rc) {
    int primary = rc & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool IsBusy(int rc) {
    int primary = rc & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// The Windows error number for an SQLite result. A damaged hive is access denied for a writer, so that
// callers fall back exactly as they do for an unwritable hive.
int32_t ErrorFromSqlite(int rc, bool forWrite) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return kErrorSuccess;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return forWrite ? kErrorAccessDenied : kErrorBadDb;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return kErrorLockViolation;
        case SQLITE_FULL:
            return kErrorDiskFull;
        case SQLITE_NOMEM:
            return kErrorNotEnoughMemory;
        case SQLITE_IOERR:
            return forWrite ? 29 /* write fault */ : kErrorReadFault;
        case SQLITE_TOOBIG:
            return kErrorInvalidParameter;
        default:  // CANTOPEN, READONLY, PERM, AUTH and the rest
            return kErrorAccessDenied;
    }
}

// Names each damaged hive file once per process: the trace would otherwise repeat on every access.
void TraceDamagedHive(const std::string& file) {
    static std::mutex mutex;
    static std::set<std::string> named;
    std::lock_guard lock(mutex);
    if (named.insert(file).second) {
        Trace("*** Registry hive damaged, left untouched: >%s<\n", file.c_str());
    }
}

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string HomeFolder() {
    std::string home = EnvironmentText("HOME");
    if (home.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid())) {
            home = entry->pw_dir;
        }
    }
    return home;
}

// Creates the folders above file. False when one cannot be created (a regular file in the way, no
// permission), which makes the hive unwritable.
bool CreateParentFolders(const std::string& file, mode_t mode) {
    size_t slash = file.find_last_of('/');
    if (slash == std::string::npos || slash == 0) {
        return true;
    }
    std::string folder = file.substr(0, slash);
    for (size_t next = folder.find('/', 1);; next = folder.find('/', next + 1)) {
        std::string step = folder.substr(0, next);
        if (::mkdir(step.c_str(), mode) != 0 && errno != EEXIST) {
            return false;
        }
        if (next == std::string::npos) {
            break;
        }
    }
    struct stat info;
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Splits a key path into its names. Answers 0 or 161.
int32_t SplitKeyPath(std::string_view path, std::vector<std::string_view>& names) {
    names.clear();
    if (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    if (path.empty()) {
        return kErrorSuccess;
    }
    size_t start = 0;
    while (true) {
        size_t end = path.find('\\', start);
        std::string_view name = path.substr(start, end == std::string_view::npos ? end : end - start);
        if (name.empty() || name.size() > kMaxKeyNameLength) {
            return kErrorBadPathname;
        }
        names.push_back(name);
        if (end == std::string_view::npos) {
            return kErrorSuccess;
        }
        start = end + 1;
    }
}

// Runs an SQL text without results.
int Execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

enum class SchemaState { kHive, kEmpty, kForeign };

// Looks at what the database holds. rc receives an SQLite error when it could not be read.
SchemaState InspectSchema(sqlite3* db, int& rc) {
    Statement id(db, "PRAGMA application_id");
    rc = id.Step();
    if (rc != SQLITE_ROW) {
        return SchemaState::kForeign;
    }
    int64_t applicationId = id.Int(0);
    Statement count(db, "SELECT count(*) FROM sqlite_master");
    rc = count.Step();
    if (rc != SQLITE_ROW) {
        return SchemaState::kForeign;
    }
    int64_t objects = count.Int(0);
    rc = SQLITE_OK;
    if (applicationId == kHiveApplicationId) {
        return SchemaState::kHive;
    }
    return applicationId == 0 && objects == 0 ? SchemaState::kEmpty : SchemaState::kForeign;
}

// Runs one write transaction (BEGIN IMMEDIATE, body, COMMIT) and retries it while the hive is busy.
// body answers an SQLite result code, or a Windows error through windowsError.
template <class Body>
int32_t WriteTransaction(sqlite3* db, const std::string& file, Body body) {
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < kBusyAttempts; ++attempt) {
        rc = Execute(db, "BEGIN IMMEDIATE");
        if (IsBusy(rc)) {
            continue;
        }
        if (rc != SQLITE_OK) {
            break;
        }
        int32_t windowsError = kErrorSuccess;
        rc = body(windowsError);
        if (rc == SQLITE_OK && windowsError == kErrorSuccess) {
            rc = Execute(db, "COMMIT");
            // A commit that finds readers in the way keeps the transaction open: try it again.
            for (int again = 0; IsBusy(rc) && again < kBusyAttempts; ++again) {
                rc = Execute(db, "COMMIT");
            }
            if (rc == SQLITE_OK) {
                return kErrorSuccess;
            }
        }
        Execute(db, "ROLLBACK");
        if (windowsError != kErrorSuccess) {
            return windowsError;
        }
        if (!IsBusy(rc)) {
            break;
        }
    }
    if (IsDamage(rc)) {
        TraceDamagedHive(file);
    }
    return ErrorFromSqlite(rc, true);
}

// Opens the hive file of root. For reading, a missing file answers 2 with a null connection (an empty
// hive). For writing, the file and its folders are created and made a hive.
int32_t OpenHive(HiveRoot root, bool forWrite, std::unique_ptr<HiveConnection>& connection) {
    connection.reset();
    std::string file = HiveFilePath(root);
    struct stat info;
    bool exists = ::stat(file.c_str(), &info) == 0;
    if (!exists && !forWrite) {
        return errno == ENOENT || errno == ENOTDIR ? kErrorFileNotFound : kErrorAccessDenied;
    }
    if (exists && !S_ISREG(info.st_mode)) {
        return kErrorAccessDenied;
    }
    int flags = SQLITE_OPEN_READWRITE;
    if (!exists) {
        if (!CreateParentFolders(file, root == HiveRoot::kCurrentUser ? 0700 : 0755)) {
            return kErrorAccessDenied;
        }
        flags |= SQLITE_OPEN_CREATE;
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return forWrite ? kErrorAccessDenied : ErrorFromSqlite(rc, false);
    }
    auto opened = std::make_unique<HiveConnection>(db, file);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    if (forWrite && sqlite3_db_readonly(db, "main") == 1) {
        return kErrorAccessDenied;
    }

    SchemaState state = SchemaState::kForeign;
    for (int attempt = 0; attempt < kBusyAttempts; ++attempt) {
        state = InspectSchema(db, rc);
        if (!IsBusy(rc)) {
            break;
        }
    }
    if (rc != SQLITE_OK || state == SchemaState::kForeign) {
        if (rc == SQLITE_OK || IsDamage(rc)) {
            TraceDamagedHive(file);
            return forWrite ? kErrorAccessDenied : kErrorBadDb;
        }
        return ErrorFromSqlite(rc, forWrite);
    }
    if (state == SchemaState::kEmpty && forWrite) {
        // Another process may be making the same file a hive right now: IF NOT EXISTS inside the write
        // lock makes both succeed.
        int32_t result = WriteTransaction(db, file, [&](int32_t&) {
            int step = Execute(db, kSchema);
            std::string marks = "PRAGMA application_id=" + std::to_string(kHiveApplicationId) +
                                ";PRAGMA user_version=" + std::to_string(kHiveSchemaVersion);
            if (step == SQLITE_OK) {
                step = Execute(db, marks.c_str());
            }
            return step;
        });
        if (result != kErrorSuccess) {
            return result;
        }
        state = SchemaState::kHive;
    }
    opened->hasSchema = state == SchemaState::kHive;
    connection = std::move(opened);
    return kErrorSuccess;
}

// Finds the key below parent by name. Answers SQLITE_ROW with id and stored name, SQLITE_DONE when it
// does not exist, or an error.
int FindChildKey(sqlite3* db, int64_t parent, std::string_view name, int64_t& id, std::string* storedName) {
    Statement find(db, "SELECT id, name FROM keys WHERE parent=?1 AND fold=?2");
    find.Bind(1, parent);
    find.Bind(2, FoldRegistryName(name));
    int rc = find.Step();
    if (rc == SQLITE_ROW) {
        id = find.Int(0);
        if (storedName != nullptr) {
            *storedName = find.Bytes(1);
        }
    }
    return rc;
}

// Walks the chain of names from the root. Answers SQLITE_ROW with the last key's id, SQLITE_DONE when
// a key is missing, or an error.
int FindKey(sqlite3* db, const std::vector<std::string_view>& names, int64_t& id) {
    id = 0;
    for (std::string_view name : names) {
        int rc = FindChildKey(db, id, name, id, nullptr);
        if (rc != SQLITE_ROW) {
            return rc;
        }
    }
    return SQLITE_ROW;
}

// FindKey with retries while the hive is busy.
int FindKeyRetrying(sqlite3* db, const std::vector<std::string_view>& names, int64_t& id) {
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < kBusyAttempts && IsBusy(rc); ++attempt) {
        rc = FindKey(db, names, id);
    }
    return rc;
}

// Finds the key below parent by name and creates it when it is missing, inside a write transaction.
int FindOrCreateChildKey(sqlite3* db, int64_t parent, std::string_view name, int64_t& id) {
    int rc = FindChildKey(db, parent, name, id, nullptr);
    if (rc == SQLITE_DONE) {
        Statement insert(db, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
        insert.Bind(1, parent);
        insert.Bind(2, name);
        insert.Bind(3, FoldRegistryName(name));
        rc = insert.Step();
        if (rc != SQLITE_DONE) {
            return rc;
        }
        id = sqlite3_last_insert_rowid(db);
        return SQLITE_OK;
    }
    return rc == SQLITE_ROW ? SQLITE_OK : rc;
}

// Creates the missing keys of the chain inside a write transaction.
int CreateKeyChain(sqlite3* db, const std::vector<std::string_view>& names, int64_t& id) {
    id = 0;
    for (std::string_view name : names) {
        if (int rc = FindOrCreateChildKey(db, id, name, id); rc != SQLITE_OK) {
            return rc;
        }
    }
    return SQLITE_OK;
}

// The chain of keys that the last change of a batch walked, so that the next change below the same
// keys starts where that walk ended instead of at the root. A .reg file names every key by its full
// path, so without it a chain of n nested keys would cost n*n/2 lookups. Valid for one transaction on
// one database; a deleted key tree invalidates it.
class KeyChainCache {
  public:
    void Clear() {
        db_ = nullptr;
        folded_.clear();
        ids_.clear();
    }

    // Walks the chain from the root, creating missing keys when create is set. Answers SQLITE_OK with
    // the last key's id, SQLITE_DONE when a key is missing (create not set), or an error.
    int Walk(sqlite3* db, const std::vector<std::string_view>& names, bool create, int64_t& id) {
        if (db != db_) {
            Clear();
            db_ = db;
        }
        size_t shared = 0;
        while (shared < names.size() && shared < folded_.size() &&
               FoldRegistryName(names[shared]) == folded_[shared]) {
            ++shared;
        }
        folded_.resize(shared);
        ids_.resize(shared);
        id = shared == 0 ? 0 : ids_.back();
        for (size_t i = shared; i < names.size(); ++i) {
            int64_t parent = id;
            int rc = create ? FindOrCreateChildKey(db, parent, names[i], id)
                            : FindChildKey(db, parent, names[i], id, nullptr);
            if (rc == SQLITE_ROW) {
                rc = SQLITE_OK;
            }
            if (rc != SQLITE_OK) {
                return rc;
            }
            folded_.push_back(FoldRegistryName(names[i]));
            ids_.push_back(id);
        }
        return SQLITE_OK;
    }

  private:
    sqlite3* db_ = nullptr;
    std::vector<std::string> folded_;
    std::vector<int64_t> ids_;
};

int KeyExists(sqlite3* db, int64_t id, bool& exists) {
    if (id == 0) {
        exists = true;
        return SQLITE_OK;
    }
    Statement find(db, "SELECT 1 FROM keys WHERE id=?1");
    find.Bind(1, id);
    int rc = find.Step();
    exists = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int UpsertValue(sqlite3* db, int64_t key, std::string_view name, uint32_t type, std::string_view data) {
    Statement upsert(db,
                     "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                     " ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, data=excluded.data");
    upsert.Bind(1, key);
    upsert.Bind(2, name);
    upsert.Bind(3, FoldRegistryName(name));
    upsert.Bind(4, static_cast<int64_t>(type));
    upsert.Bind(5, data);
    int rc = upsert.Step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Deletes a value; removed tells whether there was one.
int RemoveValue(sqlite3* db, int64_t key, std::string_view name, bool& removed) {
    Statement remove(db, "DELETE FROM vals WHERE key=?1 AND fold=?2");
    remove.Bind(1, key);
    remove.Bind(2, FoldRegistryName(name));
    int rc = remove.Step();
    removed = sqlite3_changes(db) > 0;
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Deletes the key with the given id and everything below it.
int RemoveKeyTree(sqlite3* db, int64_t id) {
    Statement values(db,
                     "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
                     " SELECT keys.id FROM keys JOIN tree ON keys.parent=tree.id)"
                     " DELETE FROM vals WHERE key IN (SELECT id FROM tree)");
    values.Bind(1, id);
    int rc = values.Step();
    if (rc != SQLITE_DONE) {
        return rc;
    }
    Statement keys(db,
                   "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
                   " SELECT keys.id FROM keys JOIN tree ON keys.parent=tree.id)"
                   " DELETE FROM keys WHERE id IN (SELECT id FROM tree)");
    keys.Bind(1, id);
    rc = keys.Step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

std::string TrimmedKeyPath(std::string_view path) {
    if (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

}  // namespace

// The one class that reaches into a RegistryKey.
class HiveAccess {
  public:
    static void Fill(RegistryKey& key, HiveRoot root, std::string_view path, bool writable, int64_t id,
                     std::unique_ptr<HiveConnection> connection) {
        key.Close();
        key.open_ = true;
        key.writable_ = writable;
        key.root_ = root;
        key.path_ = TrimmedKeyPath(path);
        key.id_ = id;
        key.connection_ = std::move(connection);
    }
    static HiveConnection* Connection(const RegistryKey& key) { return key.connection_.get(); }
    static int64_t Id(const RegistryKey& key) { return key.id_; }
};

// A write to the values of an open key: the key must be writable, and it must still be there when the
// write transaction begins (another process may have deleted it since it was opened).
template <typename Write>
int32_t WriteKeyValues(const RegistryKey& key, Write write) {
    if (!key.IsOpen()) {
        return kErrorInvalidHandle;
    }
    HiveConnection* connection = HiveAccess::Connection(key);
    if (!key.Writable() || connection == nullptr) {
        return kErrorAccessDenied;
    }
    sqlite3* db = connection->Db();
    const int64_t id = HiveAccess::Id(key);
    return WriteTransaction(db, connection->File(), [&](int32_t& windowsError) {
        bool exists = false;
        int rc = KeyExists(db, id, exists);
        if (rc != SQLITE_OK) {
            return rc;
        }
        if (!exists) {
            windowsError = kErrorKeyDeleted;
            return SQLITE_OK;
        }
        return write(db, id, windowsError);
    });
}

char FoldRegistryChar(char c) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) {
        return static_cast<char>(u - 0x20);
    }
    switch (u) {
        case 0x9A:  // s caron
        case 0x9C:  // oe
        case 0x9E:  // z caron
            return static_cast<char>(u - 0x10);
        case 0xFF:  // y diaeresis
            return static_cast<char>(0x9F);
        default:
            return c;
    }
}

std::string FoldRegistryName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        c = FoldRegistryChar(c);
    }
    return folded;
}

std::string HiveFilePath(HiveRoot root) {
    if (root == HiveRoot::kLocalMachine) {
        std::string file = EnvironmentText("QUILLON_MACHINE_HIVE");
        return file.empty() ? "/var/lib/quillon/machine.hive" : file;
    }
    std::string file = EnvironmentText("QUILLON_USER_HIVE");
    if (!file.empty()) {
        return file;
    }
    std::string config = EnvironmentText("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = HomeFolder() + "/.config";
    }
    return config + "/quillon/user.hive";
}

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

void RegistryKey::Close() {
    open_ = false;
    writable_ = false;
    path_.clear();
    id_ = 0;
    connection_.reset();
}

int32_t CheckRegistryKeyPath(std::string_view path) {
    std::vector<std::string_view> names;
    if (!path.empty() && path.front() == '\\') {
        return kErrorBadPathname;
    }
    return SplitKeyPath(path, names);
}

int32_t OpenRegistryKey(HiveRoot root, std::string_view path, RegistryKey& key) {
    key.Close();
    std::vector<std::string_view> names;
    if (int32_t error = CheckRegistryKeyPath(path); error != kErrorSuccess) {
        return error;
    }
    SplitKeyPath(path, names);
    std::unique_ptr<HiveConnection> connection;
    int32_t error = OpenHive(root, false, connection);
    if (error == kErrorFileNotFound && names.empty()) {
        HiveAccess::Fill(key, root, path, false, 0, nullptr);  // the root key of a hive not yet created
        return kErrorSuccess;
    }
    if (error != kErrorSuccess) {
        return error;
    }
    int64_t id = 0;
    if (!names.empty()) {
        if (!connection->hasSchema) {
            return kErrorFileNotFound;
        }
        int rc = FindKeyRetrying(connection->Db(), names, id);
        if (rc == SQLITE_DONE) {
            return kErrorFileNotFound;
        }
        if (rc != SQLITE_ROW) {
            if (IsDamage(rc)) {
                TraceDamagedHive(connection->File());
            }
            return ErrorFromSqlite(rc, false);
        }
    }
    HiveAccess::Fill(key, root, path, false, id, std::move(connection));
    return kErrorSuccess;
}

int32_t CreateRegistryKey(HiveRoot root, std::string_view path, RegistryKey& key) {
    key.Close();
    if (int32_t error = CheckRegistryKeyPath(path); error != kErrorSuccess) {
        return error;
    }
    std::vector<std::string_view> names;
    SplitKeyPath(path, names);
    std::unique_ptr<HiveConnection> connection;
    if (int32_t error = OpenHive(root, true, connection); error != kErrorSuccess) {
        return error;
    }
    sqlite3* db = connection->Db();
    int64_t id = 0;
    int32_t error =
        WriteTransaction(db, connection->File(), [&](int32_t&) { return CreateKeyChain(db, names, id); });
    if (error != kErrorSuccess) {
        return error;
    }
    HiveAccess::Fill(key, root, path, true, id, std::move(connection));
    return kErrorSuccess;
}

int32_t ReadRegistryValue(const RegistryKey& key, std::string_view name, uint32_t& type, std::string& data) {
    if (!key.IsOpen()) {
        return kErrorInvalidHandle;
    }
    HiveConnection* connection = HiveAccess::Connection(key);
    if (connection == nullptr || !connection->hasSchema) {
        return kErrorFileNotFound;
    }
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < kBusyAttempts && IsBusy(rc); ++attempt) {
        Statement query(connection->Db(), "SELECT type, data FROM vals WHERE key=?1 AND fold=?2");
        query.Bind(1, HiveAccess::Id(key));
        query.Bind(2, FoldRegistryName(name));
        rc = query.Step();
        if (rc == SQLITE_ROW) {
            type = static_cast<uint32_t>(query.Int(0));
            data = query.Bytes(1);
            return kErrorSuccess;
        }
    }
    if (rc == SQLITE_DONE) {
        return kErrorFileNotFound;
    }
    if (IsDamage(rc)) {
        TraceDamagedHive(connection->File());
    }
    return ErrorFromSqlite(rc, false);
}

int32_t QueryRegistryValue(const RegistryKey& key, std::string_view name, uint32_t* type, void* data,
                           uint32_t* size) {
    uint32_t storedType = kRegNone;
    std::string stored;
    if (int32_t error = ReadRegistryValue(key, name, storedType, stored); error != kErrorSuccess) {
        return error;
    }
    if (type != nullptr) {
        *type = storedType;
    }
    if (size == nullptr) {
        return data == nullptr ? kErrorSuccess : kErrorInvalidParameter;
    }
    uint32_t capacity = *size;
    *size = static_cast<uint32_t>(stored.size());
    if (data == nullptr) {
        return kErrorSuccess;
    }
    if (stored.size() > capacity) {
        return kErrorMoreData;
    }
    std::memcpy(data, stored.data(), stored.size());
    return kErrorSuccess;
}

int32_t SetRegistryValue(const RegistryKey& key, std::string_view name, uint32_t type,
                         std::string_view data) {
    return WriteKeyValues(
        key, [&](sqlite3* db, int64_t id, int32_t&) { return UpsertValue(db, id, name, type, data); });
}

int32_t SetRegistryValueIf(
    const RegistryKey& key, std::string_view name,
    const std::function<bool(bool exists, uint32_t type, std::string_view data)>& condition, uint32_t type,
    std::string_view data, bool& stored) {
    stored = false;
    bool store = false;
    int32_t result = WriteKeyValues(key, [&](sqlite3* db, int64_t id, int32_t&) {
        uint32_t presentType = kRegNone;
        std::string present;
        int rc;
        {
            Statement query(db, "SELECT type, data FROM vals WHERE key=?1 AND fold=?2");
            query.Bind(1, id);
            query.Bind(2, FoldRegistryName(name));
            rc = query.Step();
            if (rc == SQLITE_ROW) {
                presentType = static_cast<uint32_t>(query.Int(0));
                present = query.Bytes(1);
            } else if (rc != SQLITE_DONE) {
                return rc;
            }
        }  // the read is finished before the write
        store = condition(rc == SQLITE_ROW, presentType, present);
        return store ? UpsertValue(db, id, name, type, data) : SQLITE_OK;
    });
    stored = result == kErrorSuccess && store;
    return result;
}

int32_t DeleteRegistryValue(const RegistryKey& key, std::string_view name) {
    return WriteKeyValues(key, [&](sqlite3* db, int64_t id, int32_t& windowsError) {
        bool removed = false;
        int rc = RemoveValue(db, id, name, removed);
        if (rc == SQLITE_OK && !removed) {
            windowsError = kErrorFileNotFound;
        }
        return rc;
    });
}

int32_t DeleteRegistryKeyTree(HiveRoot root, std::string_view path) {
    if (int32_t error = CheckRegistryKeyPath(path); error != kErrorSuccess) {
        return error;
    }
    std::vector<std::string_view> names;
    SplitKeyPath(path, names);
    if (names.empty()) {
        return kErrorInvalidParameter;
    }
    // Reading first keeps a missing key from creating the hive file.
    RegistryKey existing;
    if (int32_t error = OpenRegistryKey(root, path, existing); error != kErrorSuccess) {
        return error == kErrorBadDb ? kErrorAccessDenied : error;
    }
    existing.Close();
    std::unique_ptr<HiveConnection> connection;
    if (int32_t error = OpenHive(root, true, connection); error != kErrorSuccess) {
        return error;
    }
    sqlite3* db = connection->Db();
    return WriteTransaction(db, connection->File(), [&](int32_t& windowsError) {
        int64_t id = 0;
        int rc = FindKey(db, names, id);
        if (rc == SQLITE_DONE) {
            windowsError = kErrorFileNotFound;
            return SQLITE_OK;
        }
        return rc == SQLITE_ROW ? RemoveKeyTree(db, id) : rc;
    });
}

namespace {

// Reads every row a query on the key gives into items, retrying while another process holds the hive.
// A hive without tables yet reads as empty; on failure items is empty.
template <class Item, class ReadRow>
int32_t ListKeyRows(const RegistryKey& key, const char* sql, std::vector<Item>& items, ReadRow readRow) {
    items.clear();
    if (!key.IsOpen()) {
        return kErrorInvalidHandle;
    }
    HiveConnection* connection = HiveAccess::Connection(key);
    if (connection == nullptr || !connection->hasSchema) {
        return kErrorSuccess;
    }
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < kBusyAttempts && IsBusy(rc); ++attempt) {
        items.clear();
        Statement list(connection->Db(), sql);
        list.Bind(1, HiveAccess::Id(key));
        while ((rc = list.Step()) == SQLITE_ROW) {
            items.push_back(readRow(list));
        }
    }
    if (rc == SQLITE_DONE) {
        return kErrorSuccess;
    }
    items.clear();
    if (IsDamage(rc)) {
        TraceDamagedHive(connection->File());
    }
    return ErrorFromSqlite(rc, false);
}

}  // namespace

int32_t EnumRegistrySubkeys(const RegistryKey& key, std::vector<std::string>& names) {
    return ListKeyRows(key, "SELECT name FROM keys WHERE parent=?1 ORDER BY fold", names,
                       [](Statement& row) { return row.Bytes(0); });
}

int32_t EnumRegistryValues(const RegistryKey& key, std::vector<RegistryValue>& values) {
    return ListKeyRows(
        key, "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY id", values, [](Statement& row) {
            return RegistryValue{row.Bytes(0), static_cast<uint32_t>(row.Int(1)), row.Bytes(2)};
        });
}

namespace {

// The walk of ReadRegistryTree inside its read transaction. Answers SQLITE_OK, SQLITE_DONE when the key
// at names does not exist, or an error. Two prepared statements serve every key, and the pending keys
// wait on an explicit stack, so neither the depth nor the size of the tree multiplies the work.
int ReadTree(sqlite3* db, const std::vector<std::string_view>& names, bool recursive,
             std::vector<RegistryTreeKey>& keys) {
    int64_t id = 0;
    std::string stored;
    for (std::string_view name : names) {
        std::string storedName;
        int rc = FindChildKey(db, id, name, id, &storedName);
        if (rc != SQLITE_ROW) {
            return rc;
        }
        stored += (stored.empty() ? "" : "\\") + storedName;
    }
    // Subkeys come in reverse order, so that the stack hands them out in order.
    Statement subkeys(db, "SELECT id, name FROM keys WHERE parent=?1 ORDER BY fold DESC");
    Statement values(db, "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY id");
    std::vector<std::pair<int64_t, std::string>> pending;
    pending.emplace_back(id, std::move(stored));
    int rc = SQLITE_OK;
    while (!pending.empty()) {
        auto [keyId, keyPath] = std::move(pending.back());
        pending.pop_back();
        RegistryTreeKey key{std::move(keyPath), {}};
        values.Reset();
        values.Bind(1, keyId);
        while ((rc = values.Step()) == SQLITE_ROW) {
            key.values.push_back({values.Bytes(0), static_cast<uint32_t>(values.Int(1)), values.Bytes(2)});
        }
        if (rc != SQLITE_DONE) {
            return rc;
        }
        if (recursive) {
            subkeys.Reset();
            subkeys.Bind(1, keyId);
            while ((rc = subkeys.Step()) == SQLITE_ROW) {
                pending.emplace_back(
                    subkeys.Int(0), key.path.empty() ? subkeys.Bytes(1) : key.path + "\\" + subkeys.Bytes(1));
            }
            if (rc != SQLITE_DONE) {
                return rc;
            }
        }
        keys.push_back(std::move(key));
    }
    return SQLITE_OK;
}

}  // namespace

int32_t ReadRegistryTree(HiveRoot root, std::string_view path, bool recursive,
                         std::vector<RegistryTreeKey>& keys) {
    keys.clear();
    if (int32_t error = CheckRegistryKeyPath(path); error != kErrorSuccess) {
        return error;
    }
    std::vector<std::string_view> names;
    SplitKeyPath(path, names);
    std::unique_ptr<HiveConnection> connection;
    int32_t error = OpenHive(root, false, connection);
    if (error == kErrorFileNotFound && names.empty()) {
        keys.push_back({});  // the root key of a hive not yet created
        return kErrorSuccess;
    }
    if (error != kErrorSuccess) {
        return error;
    }
    if (!connection->hasSchema) {
        if (!names.empty()) {
            return kErrorFileNotFound;
        }
        keys.push_back({});
        return kErrorSuccess;
    }
    sqlite3* db = connection->Db();
    int rc = SQLITE_BUSY;
    for (int attempt = 0; attempt < kBusyAttempts && IsBusy(rc); ++attempt) {
        keys.clear();
        rc = Execute(db, "BEGIN");
        if (rc == SQLITE_OK) {
            rc = ReadTree(db, names, recursive, keys);
            Execute(db, "COMMIT");
        }
    }
    if (rc == SQLITE_OK) {
        return kErrorSuccess;
    }
    keys.clear();
    if (rc == SQLITE_DONE) {
        return kErrorFileNotFound;
    }
    if (IsDamage(rc)) {
        TraceDamagedHive(connection->File());
    }
    return ErrorFromSqlite(rc, false);
}

int32_t ApplyRegistryChanges(const std::vector<RegistryChange>& changes) {
    bool uses[2] = {false, false};
    for (const RegistryChange& change : changes) {
        if (int32_t error = CheckRegistryKeyPath(change.key); error != kErrorSuccess) {
            return error;
        }
        uses[change.root == HiveRoot::kLocalMachine ? 0 : 1] = true;
    }
    // Both hives may be one file; it then takes one connection and one transaction.
    bool sameFile = HiveFilePath(HiveRoot::kLocalMachine) == HiveFilePath(HiveRoot::kCurrentUser);
    std::unique_ptr<HiveConnection> connections[2];
    for (int i = 0; i < 2; ++i) {
        if (uses[i] && !(sameFile && i == 1 && connections[0])) {
            HiveRoot root = i == 0 ? HiveRoot::kLocalMachine : HiveRoot::kCurrentUser;
            if (int32_t error = OpenHive(root, true, connections[i]); error != kErrorSuccess) {
                return error;
            }
        }
    }
    auto connectionOf = [&](HiveRoot root) {
        HiveConnection* own = connections[root == HiveRoot::kLocalMachine ? 0 : 1].get();
        return own != nullptr ? own : connections[0].get();
    };

    // The machine hive's transaction is the outer one: the user hive's changes run inside its body.
    auto applyAll = [&](int32_t& windowsError) -> int {
        KeyChainCache chain;  // a retried transaction starts afresh
        for (const RegistryChange& change : changes) {
            sqlite3* db = connectionOf(change.root)->Db();
            std::vector<std::string_view> names;
            SplitKeyPath(change.key, names);
            int64_t id = 0;
            int rc = SQLITE_OK;
            switch (change.kind) {
                case RegistryChange::kCreateKey:
                    rc = chain.Walk(db, names, true, id);
                    break;
                case RegistryChange::kSetValue:
                    rc = chain.Walk(db, names, true, id);
                    if (rc == SQLITE_OK) {
                        rc = UpsertValue(db, id, change.name, change.type, change.data);
                    }
                    break;
                case RegistryChange::kDeleteValue: {
                    rc = chain.Walk(db, names, false, id);
                    bool removed = false;
                    rc = rc == SQLITE_OK ? RemoveValue(db, id, change.name, removed)
                                         : (rc == SQLITE_DONE ? SQLITE_OK : rc);
                    break;
                }
                case RegistryChange::kDeleteKeyTree:
                    if (names.empty()) {
                        windowsError = kErrorInvalidParameter;
                        return SQLITE_OK;
                    }
                    chain.Clear();
                    rc = FindKey(db, names, id);
                    rc = rc == SQLITE_ROW ? RemoveKeyTree(db, id) : (rc == SQLITE_DONE ? SQLITE_OK : rc);
                    break;
            }
            if (rc != SQLITE_OK) {
                return rc;
            }
        }
        return SQLITE_OK;
    };

    HiveConnection* outer = connections[0] ? connections[0].get() : connections[1].get();
    HiveConnection* inner = connections[0] && connections[1] ? connections[1].get() : nullptr;
    if (outer == nullptr) {
        return kErrorSuccess;  // nothing to change
    }
    if (inner == nullptr) {
        return WriteTransaction(outer->Db(), outer->File(), applyAll);
    }
    return WriteTransaction(outer->Db(), outer->File(), [&](int32_t& outerError) -> int {
        // The inner commit happens before the outer one; should the outer commit then fail, the user
        // hive keeps its changes. Both commits are local file operations that fail only together with
        // the disk.
        int32_t innerResult = WriteTransaction(inner->Db(), inner->File(), applyAll);
        if (innerResult != kErrorSuccess) {
            outerError = innerResult;
        }
        return SQLITE_OK;
    });
}

}  // namespace quillon
