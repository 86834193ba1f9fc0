// Registry hives: the two stores of keys and values that stand in for the Windows registry.
//
// The machine hive (HKEY_LOCAL_MACHINE) is the file named by QUILLON_MACHINE_HIVE, by default
// /var/lib/quillon/machine.hive; the user hive (HKEY_CURRENT_USER) is QUILLON_USER_HIVE, by default
// ${XDG_CONFIG_HOME:-$HOME/.config}/quillon/user.hive. Each is an SQLite database shared by every process
// of the system (numbered instances, the registry tool) at the same time.
//
// The semantics are those of the Windows registry as its 8-bit interface shows it:
//  - keys nest with '\'; key and value names compare without regard to letter case (code page 1252
//    letters included) and keep the case they were created with;
//  - a value has a type and a byte string; strings are stored with their terminating zero, exactly as
//    the caller passes them, and any type number is kept;
//  - the hive's root key always exists; a hive file that does not exist reads as an empty hive and is
//    created, with its folders, by the first write;
//  - every change is one transaction: two processes writing at once never lose a write, and a process
//    killed in the middle of a write leaves the hive as it was before or after that write;
//  - a hive that cannot be created or opened for writing answers writes with access denied (5), and a
//    file that is not a hive answers reads with ERROR_BADDB (1009), writes with access denied, is never
//    written to, and is named once per process in the trace channel.
//
// Every function answers a Windows error number (0 on success) and does not touch the last-error value.
// Thread-safety: the functions may be called from any thread; a RegistryKey is used by one thread at a
// time. Each open key holds its own database connection, so keys on different threads do not interfere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

enum class HiveRoot : uint8_t { kLocalMachine, kCurrentUser };

// Value types the program and the registry tool know by name; any other number is kept as raw bytes.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

// Windows error numbers that only the registry answers.
inline constexpr int32_t kErrorBadPathname = 161;   // empty name inside a key path, or a name too long
inline constexpr int32_t kErrorBadDb = 1009;        // the hive file is damaged or not a hive
inline constexpr int32_t kErrorCantOpenKey = 1011;  // a key cannot be opened (the hive is no readable file)
inline constexpr int32_t kErrorKeyDeleted = 1018;   // the open key was deleted meanwhile

// The longest key name (one step of a key path), in characters.
inline constexpr size_t kMaxKeyNameLength = 255;
// What Windows allows and the registry tool therefore refuses to create beyond: keys nested this many
// levels below a root, and value names of this many characters. The hive itself reads deeper trees
// and longer names (written before these limits were kept) and walks them in linear time.
inline constexpr size_t kMaxKeyDepth = 512;
inline constexpr size_t kMaxValueNameLength = 16383;

// The native file of a hive, from the environment at the moment of the call.
std::string HiveFilePath(HiveRoot root);

// Folds one code page 1252 character to upper case, as key and value names are compared.
char FoldRegistryChar(char c);
// The whole name folded; two names are the same name when their folded forms are equal.
std::string FoldRegistryName(std::string_view name);

class HiveConnection;

// An open key. A default-constructed key is the null key. Closing (or destroying) the key releases
// its database connection; a key does not lock anything between calls.
class RegistryKey {
  public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(RegistryKey&&) noexcept;
    RegistryKey& operator=(RegistryKey&&) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool IsOpen() const { return open_; }
    explicit operator bool() const { return open_; }
    void Close();

    HiveRoot Root() const { return root_; }
    // The key path as the caller gave it to open the key (without a trailing '\').
    const std::string& Path() const { return path_; }
    bool Writable() const { return writable_; }

  private:
    friend class HiveAccess;
    bool open_ = false;
    bool writable_ = false;
    HiveRoot root_ = HiveRoot::kCurrentUser;
    std::string path_;
    int64_t id_ = 0;                              // row of the key; 0 is the hive's root key
    std::unique_ptr<HiveConnection> connection_;  // null when the hive file does not exist
};

// Opens an existing key for reading. path "" is the root key, which always exists. Answers 0, or 2
// when the key (or the hive file) does not exist, 161 for a malformed path, 1009 for a damaged hive,
// 5 when the file cannot be read. key is the null key on failure.
int32_t OpenRegistryKey(HiveRoot root, std::string_view path, RegistryKey& key);

// Opens a key for reading and writing, creating every missing key of the chain (and the hive file
// with its folders). path "" opens the root key. Answers 0, or 5 when the hive cannot be written
// (unwritable or damaged), 161 for a malformed path, 33 when other processes kept the hive locked for
// longer than the retries wait.
int32_t CreateRegistryKey(HiveRoot root, std::string_view path, RegistryKey& key);

// Reads value name of key (name "" is the key's default value). type receives the value's type when
// not null. data may be null to ask only for the size. *size is the capacity of data on entry and
// the length of the stored bytes on return. Answers 0; 234 (more data) when data is given and the
// stored bytes do not fit, leaving data untouched; 2 when the value does not exist; 6 for a null key.
int32_t QueryRegistryValue(const RegistryKey& key, std::string_view name, uint32_t* type, void* data,
                           uint32_t* size);

// Convenience form of QueryRegistryValue that returns the whole value.
int32_t ReadRegistryValue(const RegistryKey& key, std::string_view name, uint32_t& type, std::string& data);

// Stores a value, replacing an existing one of the same name (whose spelling is kept). Answers 0, 5
// when the key was opened for reading only or the hive cannot be written, 1018 when the key has been
// deleted meanwhile, 6 for a null key.
int32_t SetRegistryValue(const RegistryKey& key, std::string_view name, uint32_t type, std::string_view data);

// Stores a value like SetRegistryValue, but only when its present content passes condition, which is
// called with whether the value exists, its type and its bytes (the latter two empty when it does not).
// Reading and writing are one transaction: of several processes that store over the same content at
// once, only the first finds it unchanged (a compare-and-swap, as the run semaphore needs). stored tells
// whether the value was written. Answers 0 (also when the condition said no), or the errors of
// SetRegistryValue.
int32_t SetRegistryValueIf(
    const RegistryKey& key, std::string_view name,
    const std::function<bool(bool exists, uint32_t type, std::string_view data)>& condition, uint32_t type,
    std::string_view data, bool& stored);

// Deletes one value. Answers 0, 2 when it does not exist, 5 when the key is read-only.
int32_t DeleteRegistryValue(const RegistryKey& key, std::string_view name);

// Deletes a key with all its subkeys and values in one transaction. Answers 0, 2 when the key does
// not exist, 87 for the root key, 5 when the hive cannot be written.
int32_t DeleteRegistryKeyTree(HiveRoot root, std::string_view path);

// The names of the key's direct subkeys in their stored spelling, sorted without regard to case.
int32_t EnumRegistrySubkeys(const RegistryKey& key, std::vector<std::string>& names);

struct RegistryValue {
    std::string name;
    uint32_t type = kRegNone;
    std::string data;
};

// The key's values in the order they were first created.
int32_t EnumRegistryValues(const RegistryKey& key, std::vector<RegistryValue>& values);

// One key of a subtree as ReadRegistryTree lists it.
struct RegistryTreeKey {
    std::string path;  // below the root, every name in its stored spelling; "" for the root key
    std::vector<RegistryValue> values;  // in the order they were first created
};

// Lists the key at path and, when recursive, every key below it in pre-order, subkeys sorted as
// EnumRegistrySubkeys sorts them. One connection and one read transaction serve the whole walk, so the
// list is one consistent state of the hive and the work grows with the size of the list, however deep
// the tree. Answers 0, or the errors of OpenRegistryKey (keys is empty then).
int32_t ReadRegistryTree(HiveRoot root, std::string_view path, bool recursive,
                         std::vector<RegistryTreeKey>& keys);

// One change of a batch for ApplyRegistryChanges.
struct RegistryChange {
    enum Kind : uint8_t { kCreateKey, kDeleteKeyTree, kSetValue, kDeleteValue };
    Kind kind = kCreateKey;
    HiveRoot root = HiveRoot::kCurrentUser;
    std::string key;   // key path below the root
    std::string name;  // value name (kSetValue, kDeleteValue)
    uint32_t type = kRegNone;
    std::string data;
};

// Applies every change, in order, all or nothing: both hives are locked for writing before the first
// change (machine hive first, so that two batches never wait for each other in a circle) and both are
// committed only when every change succeeded. Deleting a key or value that does not exist is no
// error. Answers 0, or the error of the first change that failed, with nothing written.
int32_t ApplyRegistryChanges(const std::vector<RegistryChange>& changes);

// Checks a key path: no empty name inside it, no name longer than kMaxKeyNameLength, and no leading
// '\'. One trailing '\' is allowed. Answers 0 or 161.
int32_t CheckRegistryKeyPath(std::string_view path);

}  // namespace quillon
