#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

constexpr std::string_view kMagicLine = "QORVU-REGISTRY 1";
constexpr const char* kDefaultPath = "/etc/qorvu/registry";

// The one place where errno becomes a registry result.
RegResult FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return {RegErrc::kKeyMissing, err};
    case EACCES:
    case EPERM:
    case EROFS:
      return {RegErrc::kAccessDenied, err};
    case EFBIG:
      return {RegErrc::kTooLarge, err};
    default:
      return {RegErrc::kIoError, err};
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string RegistryErrorText(const RegResult& result) {
  std::string text;
  switch (result.code) {
    case RegErrc::kOk: text = "success"; break;
    case RegErrc::kKeyMissing: text = "registry key not found"; break;
    case RegErrc::kNotFound: text = "registry value not found"; break;
    case RegErrc::kMoreData: text = "registry value longer than the buffer"; break;
    case RegErrc::kAccessDenied: text = "access to the registry file denied"; break;
    case RegErrc::kUnsafeFile:
      text = "registry file refused: it must be a regular file owned by root or this user "
             "and writable by its owner only";
      break;
    case RegErrc::kBadFormat: text = "registry file damaged or of an unknown format"; break;
    case RegErrc::kBadName: text = "invalid registry value name"; break;
    case RegErrc::kTooLarge: text = "registry value or file too large"; break;
    case RegErrc::kIoError: text = "registry file input/output error"; break;
  }
  if (result.sysError != 0) {
    text += " (";
    text += std::strerror(result.sysError);
    text += ")";
  }
  return text;
}

bool IsValidRegValueName(std::string_view name) {
  if (name.empty() || name.size() > kRegMaxNameLength) return false;
  for (char c : name) {
    if (c < 0x21 || c > 0x7E || c == '=') return false;
  }
  return true;
}

std::string FormatRegistryText(const RegValues& values) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text(kMagicLine);
  text += '\n';
  for (const auto& [name, value] : values) {
    text += name;
    text += '=';
    for (unsigned char byte : value) {
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    }
    text += '\n';
  }
  return text;
}

RegResult ParseRegistryText(std::string_view text, RegValues* out) {
  // Filled aside so that a damaged file leaves the caller with no values
  // rather than with the ones before the damage.
  out->clear();
  RegValues parsed;
  RegValues* values = &parsed;
  if (text.size() > kRegMaxFileSize) return {RegErrc::kTooLarge, 0};
  bool first = true;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return {RegErrc::kBadFormat, 0};  // cut-off last line
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line != kMagicLine) return {RegErrc::kBadFormat, 0};
      first = false;
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return {RegErrc::kBadFormat, 0};
    std::string_view name = line.substr(0, eq);
    std::string_view hex = line.substr(eq + 1);
    if (!IsValidRegValueName(name) || hex.size() % 2 != 0) return {RegErrc::kBadFormat, 0};
    if (hex.size() / 2 > kRegMaxValueSize) return {RegErrc::kTooLarge, 0};
    std::string value;
    value.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      int hi = HexDigit(hex[i]);
      int lo = HexDigit(hex[i + 1]);
      if (hi < 0 || lo < 0) return {RegErrc::kBadFormat, 0};
      value += static_cast<char>((hi << 4) | lo);
    }
    if (!values->emplace(std::string(name), std::move(value)).second) {
      return {RegErrc::kBadFormat, 0};  // a name twice
    }
  }
  if (first) return {RegErrc::kBadFormat, 0};  // empty file
  out->swap(parsed);
  return {};
}

FileRegistry::FileRegistry(std::string path) : path_(std::move(path)) {}

RegResult FileRegistry::Load(RegValues* values) {
  values->clear();
  UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) return FromErrno(errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return FromErrno(errno);
  if (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
      (st.st_uid != 0 && st.st_uid != ::geteuid())) {
    return {RegErrc::kUnsafeFile, 0};
  }
  if (static_cast<unsigned long long>(st.st_size) > kRegMaxFileSize) {
    return {RegErrc::kTooLarge, 0};
  }
  std::string text;
  char chunk[4096];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FromErrno(errno);
    }
    if (n == 0) break;
    if (text.size() + static_cast<std::size_t>(n) > kRegMaxFileSize) {
      return {RegErrc::kTooLarge, 0};
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
  return ParseRegistryText(text, values);
}

RegResult FileRegistry::Save(const RegValues& values) {
  for (const auto& [name, value] : values) {
    if (!IsValidRegValueName(name)) return {RegErrc::kBadName, 0};
    if (value.size() > kRegMaxValueSize) return {RegErrc::kTooLarge, 0};
  }
  std::string text = FormatRegistryText(values);
  if (text.size() > kRegMaxFileSize) return {RegErrc::kTooLarge, 0};

  std::string folder = FolderOf(path_);
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    RegResult r = FromErrno(errno);
    return r.code == RegErrc::kKeyMissing ? RegResult{RegErrc::kIoError, r.sysError} : r;
  }
  // Written beside the file and renamed over it, so a reader never sees half
  // a file; mkstemp creates it with mode 0600.
  std::string temp = path_ + ".XXXXXX";
  UniqueFd fd(::mkstemp(temp.data()));
  if (!fd.valid()) {
    RegResult r = FromErrno(errno);
    return r.code == RegErrc::kKeyMissing ? RegResult{RegErrc::kIoError, r.sysError} : r;
  }
  bool written = ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), text) &&
                 ::fsync(fd.get()) == 0;
  int err = errno;
  fd.Reset();
  if (!written || ::rename(temp.c_str(), path_.c_str()) != 0) {
    if (written) err = errno;
    ::unlink(temp.c_str());
    RegResult r = FromErrno(err);
    return r.code == RegErrc::kKeyMissing ? RegResult{RegErrc::kIoError, r.sysError} : r;
  }
  return {};
}

std::string DefaultRegistryPath() {
  const char* path = std::getenv("QORVU_REGISTRY");
  if (path != nullptr && *path != '\0') return path;
  return kDefaultPath;
}

RegResult RegistryKey::Open(Registry& registry) { return registry.Load(&values_); }

RegResult RegistryKey::Query(std::string_view name, void* buffer, std::size_t size,
                             std::size_t* length) const {
  auto it = values_.find(name);
  if (it == values_.end()) {
    *length = 0;
    return {RegErrc::kNotFound, 0};
  }
  *length = it->second.size();
  if (it->second.size() > size) return {RegErrc::kMoreData, 0};
  if (!it->second.empty()) std::memcpy(buffer, it->second.data(), it->second.size());
  return {};
}

RegResult SetRegistryValue(Registry& registry, std::string_view name, std::string_view value) {
  if (!IsValidRegValueName(name)) return {RegErrc::kBadName, 0};
  RegValues values;
  RegResult r = registry.Load(&values);
  if (!r.ok() && r.code != RegErrc::kKeyMissing) return r;
  values[std::string(name)] = std::string(value);
  return registry.Save(values);
}

RegResult DeleteRegistryValue(Registry& registry, std::string_view name) {
  RegValues values;
  RegResult r = registry.Load(&values);
  if (!r.ok()) return r;
  auto it = values.find(name);
  if (it == values.end()) return {RegErrc::kNotFound, 0};
  values.erase(it);
  return registry.Save(values);
}

RegResult FakeRegistry::Load(RegValues* out) {
  out->clear();
  if (loadFailure != RegErrc::kOk) return {loadFailure, 0};
  if (!exists) return {RegErrc::kKeyMissing, 0};
  *out = values;
  return {};
}

RegResult FakeRegistry::Save(const RegValues& in) {
  if (saveFailure != RegErrc::kOk) return {saveFailure, 0};
  for (const auto& entry : in) {
    if (!IsValidRegValueName(entry.first)) return {RegErrc::kBadName, 0};
  }
  values = in;
  exists = true;
  ++saves;
  return {};
}

}  // namespace platform
