// qorvu_regset: writes the database settings of the Qorvu server programs
// ("Item1" data source name, "Item5" user name, "Item2" password) scrambled
// into the registry file, keeping every other value of the key.
//
//   qorvu_regset [--file PATH] [--dsn NAME] [--user NAME] [--password TEXT]
//
// The file is QORVU_REGISTRY or /etc/qorvu/registry unless --file names one.
#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "shared/reg_settings.h"

namespace {

// The agent's buffers: 32 bytes for the data source and user names, 64 for
// the password; the update program keeps the password in 32 bytes.
constexpr std::size_t kMaxDsn = 31;
constexpr std::size_t kMaxUser = 31;
constexpr std::size_t kMaxPassword = 63;
constexpr std::size_t kUpdaterMaxPassword = 31;

void Usage(std::FILE* out) {
  std::fputs(
      "usage: qorvu_regset [--file PATH] [--dsn NAME] [--user NAME] [--password TEXT]\n"
      "Writes the database settings of the Qorvu server programs into the registry\n"
      "file (QORVU_REGISTRY or /etc/qorvu/registry unless --file is given).\n"
      "At least one of --dsn, --user and --password is needed; values that are not\n"
      "given stay as they are.\n",
      out);
}

std::uint64_t RandomSeed() {
  std::uint64_t seed = 0;
  if (::getrandom(&seed, sizeof seed, 0) == static_cast<ssize_t>(sizeof seed)) return seed;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<std::uint64_t>(ts.tv_nsec) ^ (static_cast<std::uint64_t>(ts.tv_sec) << 20);
}

struct Item {
  const char* option;
  std::string_view name;
  std::size_t maxLength;
  std::optional<std::string> value;
};

}  // namespace

int main(int argc, char** argv) {
  std::string file;
  Item items[] = {{"--dsn", shared::kRegItemDsn, kMaxDsn, std::nullopt},
                  {"--user", shared::kRegItemUser, kMaxUser, std::nullopt},
                  {"--password", shared::kRegItemPassword, kMaxPassword, std::nullopt}};
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "qorvu_regset: %s needs a value\n", argv[i]);
      Usage(stderr);
      return 2;
    }
    std::string_view value = argv[++i];
    if (arg == "--file") {
      file = value;
      continue;
    }
    Item* item = nullptr;
    for (Item& candidate : items) {
      if (arg == candidate.option) item = &candidate;
    }
    if (item == nullptr) {
      std::fprintf(stderr, "qorvu_regset: unknown option %s\n", argv[i - 1]);
      Usage(stderr);
      return 2;
    }
    if (value.size() > item->maxLength) {
      std::fprintf(stderr, "qorvu_regset: %s is longer than %zu characters\n", item->option,
                   item->maxLength);
      return 2;
    }
    item->value = std::string(value);
  }
  bool any = false;
  for (const Item& item : items) any |= item.value.has_value();
  if (!any) {
    Usage(stderr);
    return 2;
  }
  if (items[2].value && items[2].value->size() > kUpdaterMaxPassword) {
    std::fprintf(stderr,
                 "qorvu_regset: warning: the update program reads passwords of up to %zu "
                 "characters only\n",
                 kUpdaterMaxPassword);
  }

  platform::FileRegistry registry(file.empty() ? platform::DefaultRegistryPath() : file);
  platform::RegValues values;
  platform::RegResult r = registry.Load(&values);
  if (!r.ok() && r.code != platform::RegErrc::kKeyMissing) {
    std::fprintf(stderr, "qorvu_regset: %s: %s\n", registry.path().c_str(),
                 platform::RegistryErrorText(r).c_str());
    return 1;
  }
  std::uint64_t seed = RandomSeed();
  for (const Item& item : items) {
    if (!item.value) continue;
    unsigned char scrambled[shared::kRegValueSize];
    if (!shared::ScrambleRegValue(*item.value, seed++, scrambled)) {
      std::fprintf(stderr, "qorvu_regset: %s cannot be stored\n", item.option);
      return 2;
    }
    values[std::string(item.name)] =
        std::string(reinterpret_cast<const char*>(scrambled), sizeof scrambled);
  }
  r = registry.Save(values);
  if (!r.ok()) {
    std::fprintf(stderr, "qorvu_regset: %s: %s\n", registry.path().c_str(),
                 platform::RegistryErrorText(r).c_str());
    return 1;
  }
  std::printf("%s updated.\n", registry.path().c_str());
  return 0;
}
