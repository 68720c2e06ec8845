#include "tools/icu_data.h"

#include <fcntl.h>
#include <gelf.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace setupkit {

namespace {

// The folders (services) of ICU's data that nothing in Qt Core reaches, or
// that Qt reaches only for what the setup program never asks: time zone
// names (QTimeZone::displayName; the zone and region names and the zone
// tables ICU's own time zones read).
const char* const kUnreachedFolders[] = {"brkitr", "translit", "rbnf", "curr", "unit", "lang", "zone", "region"};
const char* const kUnreachedItems[] = {"unames.icu", "zoneinfo64.res", "metaZones.res", "timezoneTypes.res",
                                       "windowsZones.res"};
// The tables of the character set converters (ibm-5348_P100-1997.cnv, ...):
// Qt opens them only for a legacy encoding named at run time
// (QStringDecoder("windows-1250"), an HTML or XML document's declared
// encoding), which the program never decodes; UTF-8, UTF-16 and Latin-1 are
// Qt's own, and the converters ICU computes (UTF-7, ISO-2022, ...) need no
// table. The alias table (cnvalias.icu) stays, so a name is still known.
const char* const kUnreachedSuffixes[] = {".cnv"};

// Whether `name` is a locale's ID as ICU names its data: a language of two or
// three small letters, then an optional script (Hant), region (TW, 419) and
// variants (POSIX, VALENCIA), each after '_'.
bool isLocaleId(const std::string& name) {
  size_t at = 0;
  while (at < name.size() && std::islower(static_cast<unsigned char>(name[at]))) ++at;
  if (at < 2 || at > 3) return false;
  while (at < name.size()) {
    if (name[at++] != '_') return false;
    const size_t start = at;
    while (at < name.size() && name[at] != '_') {
      const unsigned char c = static_cast<unsigned char>(name[at++]);
      if (!std::isalnum(c) || (std::islower(c) && at - 1 == start)) return false;
    }
    if (at == start) return false;
  }
  return true;
}

// The locales' own data (de.res, zh_Hant_TW.res: calendars, number and date
// formats, delimiters, ...), which only ICU's formatting services read; Qt
// formats with its own locale data. Collation finds its rules in the coll/
// folder and case mapping is computed: both read the supplemental items
// (likelySubtags.res, supplementalData.res, ...), root.res and the index
// (res_index.res, pool.res), which stay.
bool isLocaleData(const std::string& item) {
  const size_t dot = item.rfind(".res");
  return item.find('/') == std::string::npos && dot != std::string::npos && dot + 4 == item.size() &&
         isLocaleId(item.substr(0, dot));
}

struct Range {
  uint64_t offset = 0, size = 0;
};

// Where in the file the exported symbol icudtNN_dat lies.
std::optional<Range> icuDataSymbol(const std::string& path) {
  elf_version(EV_CURRENT);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<Range> found;
  if (Elf* elf = elf_begin(fd, ELF_C_READ, nullptr)) {
    std::optional<GElf_Sym> symbol;
    for (Elf_Scn* s = nullptr; !symbol && (s = elf_nextscn(elf, s));) {
      GElf_Shdr header;
      if (!gelf_getshdr(s, &header) || header.sh_type != SHT_DYNSYM || header.sh_entsize == 0) continue;
      Elf_Data* data = elf_getdata(s, nullptr);
      for (size_t i = 0; data && i < header.sh_size / header.sh_entsize; ++i) {
        GElf_Sym sym;
        if (!gelf_getsym(data, int(i), &sym) || sym.st_shndx == SHN_UNDEF) continue;
        const char* name = elf_strptr(elf, header.sh_link, sym.st_name);
        const size_t n = name ? std::strlen(name) : 0;
        if (n > 9 && std::strncmp(name, "icudt", 5) == 0 && std::strcmp(name + n - 4, "_dat") == 0) symbol = sym;
      }
    }
    for (Elf_Scn* s = nullptr; symbol && !found && (s = elf_nextscn(elf, s));) {
      GElf_Shdr header;
      if (gelf_getshdr(s, &header) && header.sh_type == SHT_PROGBITS && symbol->st_value >= header.sh_addr &&
          symbol->st_value + symbol->st_size <= header.sh_addr + header.sh_size)
        found = Range{header.sh_offset + (symbol->st_value - header.sh_addr), symbol->st_size};
    }
    elf_end(elf);
  }
  close(fd);
  return found;
}

uint32_t read32(const std::string& d, size_t at) {
  uint32_t v;
  std::memcpy(&v, d.data() + at, 4);
  return v;
}

void write32(std::string& d, size_t at, uint32_t v) { std::memcpy(d.data() + at, &v, 4); }

}  // namespace

bool isUnreachedIcuItem(const std::string& name) {
  const size_t slash = name.find('/');  // after the package name, icudt72l/
  if (slash == std::string::npos) return false;
  const std::string item = name.substr(slash + 1);
  for (const char* folder : kUnreachedFolders)
    if (item.rfind(std::string(folder) + "/", 0) == 0) return true;
  for (const char* whole : kUnreachedItems)
    if (item == whole) return true;
  if (isLocaleData(item)) return true;
  for (const char* suffix : kUnreachedSuffixes) {
    const size_t n = std::strlen(suffix);
    if (item.find('/') == std::string::npos && item.size() > n && item.compare(item.size() - n, n, suffix) == 0)
      return true;
  }
  return false;
}

int64_t trimIcuData(const std::string& path) {
  const std::optional<Range> range = icuDataSymbol(path);
  if (!range) return 0;
  std::string file;
  {
    std::ifstream in(path, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), {});
  }
  if (range->offset + range->size > file.size() || range->size < 64) return 0;
  // The common data: a header (its size in the first two bytes, then the
  // magic 0xDA 0x27), a little-endian table of contents of (name offset,
  // data offset) pairs relative to the table, sorted by name, then the
  // names and the items in the same order.
  const size_t base = range->offset, end = base + range->size;
  const auto* b = reinterpret_cast<const unsigned char*>(file.data() + base);
  if (b[2] != 0xDA || b[3] != 0x27) return 0;
  const size_t toc = base + (b[0] | (b[1] << 8));
  if (toc + 4 > end) return 0;
  const uint32_t count = read32(file, toc);
  if (count == 0 || toc + 4 + uint64_t(count) * 8 > end) return 0;
  struct Item {
    uint32_t name, data;
    bool keep;
  };
  std::vector<Item> items;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t name = read32(file, toc + 4 + size_t(i) * 8), data = read32(file, toc + 8 + size_t(i) * 8);
    if (toc + name >= end || toc + data > end || (i > 0 && data < items.back().data)) return 0;
    const char* text = file.data() + toc + name;
    const std::string itemName(text, strnlen(text, end - toc - name));
    items.push_back({name, data, !isUnreachedIcuItem(itemName)});
  }
  int64_t zeroed = 0;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t from = toc + items[i].data, to = i + 1 < count ? toc + items[i + 1].data : end;
    if (!items[i].keep) {
      std::memset(file.data() + from, 0, to - from);
      zeroed += int64_t(to - from);
      continue;
    }
    write32(file, toc + 4 + size_t(kept) * 8, items[i].name);
    write32(file, toc + 8 + size_t(kept) * 8, items[i].data);
    ++kept;
  }
  if (zeroed == 0) return 0;
  write32(file, toc, kept);
  std::memset(file.data() + toc + 4 + size_t(kept) * 8, 0, size_t(count - kept) * 8);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(file.data(), std::streamsize(file.size()));
  return out ? zeroed : 0;
}

}  // namespace setupkit
