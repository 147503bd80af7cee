// The registry key SOFTWARE\QORVU that both server programs read their
// database settings from. On Linux the key is one file that only its owner may
// read (mode 0600): by default /etc/qorvu/registry, or the file named by the
// environment variable QORVU_REGISTRY (tests, non-root installations).
//
// Values are byte strings and may hold any byte, NUL included. The file is
// text so that an operator can inspect it:
//
//   QORVU-REGISTRY 1
//   Item1=8f3a...        one value per line: its name, '=', its bytes in hex
//
// Names are 1 to 255 printable ASCII characters other than '='. A file that
// its group or others may write, or that belongs to neither root nor the
// current user, is refused on reading (kUnsafeFile): whoever could change it
// could point the agent at a database of their choice. Writing replaces the
// file atomically and always leaves it with mode 0600.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace platform {

enum class RegErrc {
  kOk = 0,
  kKeyMissing,    // the key (file) does not exist
  kNotFound,      // the key has no value of that name
  kMoreData,      // the value is longer than the caller's buffer
  kAccessDenied,  // the file may not be read or written by this user
  kUnsafeFile,    // group/world writable, foreign owner or not a regular file
  kBadFormat,     // the file is not a registry file of this format
  kBadName,       // a value name that the format cannot hold
  kTooLarge,      // a value or the whole file beyond the format's limits
  kIoError,       // any other system failure
};

struct RegResult {
  RegErrc code = RegErrc::kOk;
  int sysError = 0;  // errno behind kAccessDenied / kIoError, else 0
  bool ok() const { return code == RegErrc::kOk; }
};

// Words for a result, e.g. "registry value not found".
std::string RegistryErrorText(const RegResult& result);

inline constexpr std::size_t kRegMaxNameLength = 255;
inline constexpr std::size_t kRegMaxValueSize = 65536;
inline constexpr std::size_t kRegMaxFileSize = 4u << 20;

// Every value of the key, by name.
using RegValues = std::map<std::string, std::string, std::less<>>;

// The file's text for a set of values, and back. ParseRegistryText accepts
// exactly what FormatRegistryText writes (and LF or CR LF line ends).
bool IsValidRegValueName(std::string_view name);
std::string FormatRegistryText(const RegValues& values);
RegResult ParseRegistryText(std::string_view text, RegValues* values);

// Where the key is kept.
class Registry {
 public:
  virtual ~Registry() = default;
  // Reads every value of the key; kKeyMissing when the key does not exist.
  virtual RegResult Load(RegValues* values) = 0;
  // Replaces the key's values, creating the key when missing.
  virtual RegResult Save(const RegValues& values) = 0;
};

// The key kept in a file (see above).
class FileRegistry : public Registry {
 public:
  explicit FileRegistry(std::string path);
  RegResult Load(RegValues* values) override;
  // Creates the file's folder (one level, mode 0755) when it is missing.
  RegResult Save(const RegValues& values) override;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// QORVU_REGISTRY when set and not empty, else /etc/qorvu/registry.
std::string DefaultRegistryPath();

// An opened key, read once: what opening the key and querying its values
// gives on Windows.
class RegistryKey {
 public:
  // Fails with kKeyMissing when the key does not exist.
  RegResult Open(Registry& registry);
  // Copies the value's bytes into buffer and sets *length to their count.
  // kNotFound when there is no such value; kMoreData when it does not fit
  // (buffer untouched, *length the size needed).
  RegResult Query(std::string_view name, void* buffer, std::size_t size,
                  std::size_t* length) const;

 private:
  RegValues values_;
};

// Sets one value, keeping the others (creates the key when missing).
RegResult SetRegistryValue(Registry& registry, std::string_view name, std::string_view value);
// Deletes one value; kNotFound when there was none.
RegResult DeleteRegistryValue(Registry& registry, std::string_view name);

// An in-memory key for tests; a load or save can be made to fail.
class FakeRegistry : public Registry {
 public:
  RegResult Load(RegValues* values) override;
  RegResult Save(const RegValues& values) override;

  bool exists = false;                   // false: Load reports kKeyMissing
  RegValues values;
  RegErrc loadFailure = RegErrc::kOk;    // returned by Load when not kOk
  RegErrc saveFailure = RegErrc::kOk;    // returned by Save when not kOk
  int saves = 0;
};

}  // namespace platform
