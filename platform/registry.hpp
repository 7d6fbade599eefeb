// A small file-backed registry with two hives.
//
// Machine hive: $FORMWICK_ETC/registry.ini (default /etc/formwick/registry.ini).
// User hive: $XDG_CONFIG_HOME/formwick/registry.ini (default
// ~/.config/formwick/registry.ini). One section per key, named by the key
// path ("[SOFTWARE\Veltrix\Formwick]"), one name=value line per value,
// DWORDs in decimal. Key paths and value names match ignoring ASCII case.
// A key's default (unnamed) value is the line "@=value", as registry export
// files write it; it is addressed with the name "" (or nullptr).
// Keys are opened, never created by the program; every write rewrites the
// file atomically (temporary file, then rename) under an advisory lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace fwk {

enum class Hive { machine, user };

// An opened key: just its hive and path; every operation reads the file
// again, so other processes' writes are seen.
struct RegistryKey {
  Hive hive = Hive::user;
  std::string path;
};

// The file behind a hive, from the environment at the time of the call.
std::string reg_hive_file(Hive hive);

// Opens an existing key; none when the hive file or the key is missing.
std::optional<RegistryKey> reg_open_key(Hive hive, const char* key_path);

// Reads a value; none when it (or its key) is missing. A DWORD read of a
// value that is not a decimal number is none.
std::optional<std::string> reg_read_string(const RegistryKey& key, const char* name);
std::optional<uint32_t> reg_read_dword(const RegistryKey& key, const char* name);

// Writes a value of an existing key. False when the key no longer exists,
// the name or text cannot be stored (line breaks, "=" or "[" in the name),
// or the file cannot be rewritten.
bool reg_write_string(const RegistryKey& key, const char* name, const char* text);
bool reg_write_dword(const RegistryKey& key, const char* name, uint32_t value);

// Deletes a value; false when it was not there.
bool reg_delete_value(const RegistryKey& key, const char* name);

// Number of values of the key (0 when the key is gone).
size_t reg_count_values(const RegistryKey& key);

// Deletes a key and its values; false when it was not there.
bool reg_delete_key(Hive hive, const char* key_path);

// Creates a key (installers and tests; the program itself never creates
// keys). True when it exists afterwards.
bool reg_create_key(Hive hive, const char* key_path);

}  // namespace fwk
