#include "tools/elf_file.h"

#include <fcntl.h>
#include <gelf.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "common/tool_error.h"
#include "framework/core/path_utils.h"

namespace setupkit {

namespace {

std::vector<std::string> splitPathList(const char* text) { return fw::splitNonEmpty(text ? text : "", ':'); }

// The C library's own objects, whose version requirements set the oldest C
// library a binary runs on.
bool isGlibcObject(const char* name) {
  static const char* const kObjects[] = {"libc.so.6",  "libm.so.6",      "libpthread.so.0",      "libdl.so.2",
                                         "librt.so.1", "libresolv.so.2", "ld-linux-x86-64.so.2", "libutil.so.1"};
  for (const char* o : kObjects)
    if (std::strcmp(name, o) == 0) return true;
  return false;
}

struct ElfCloser {
  void operator()(Elf* e) const { elf_end(e); }
};

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// `objects`: the object each version index required is found in.
void readVersionNeeds(Elf* elf, Elf_Scn* section, const GElf_Shdr& header, ElfDynamicInfo& info,
                      std::map<unsigned, std::string>& objects) {
  Elf_Data* data = elf_getdata(section, nullptr);
  if (!data) return;
  size_t offset = 0;
  for (size_t i = 0; i < header.sh_info; ++i) {
    GElf_Verneed need;
    if (!gelf_getverneed(data, int(offset), &need)) return;
    const char* file = elf_strptr(elf, header.sh_link, need.vn_file);
    size_t auxOffset = offset + need.vn_aux;
    for (unsigned j = 0; j < need.vn_cnt; ++j) {
      GElf_Vernaux aux;
      if (!gelf_getvernaux(data, int(auxOffset), &aux)) return;
      const char* name = elf_strptr(elf, header.sh_link, aux.vna_name);
      if (file && name && isGlibcObject(file) && std::strncmp(name, "GLIBC_2", 7) == 0)
        info.glibcVersions.emplace_back(name);
      if (file) objects[aux.vna_other] = file;
      if (aux.vna_next == 0) break;
      auxOffset += aux.vna_next;
    }
    if (need.vn_next == 0) break;
    offset += need.vn_next;
  }
}

// The dynamic symbols: defined ones into `exports`, undefined strong ones
// into `imports` with the index of their version (0 or 1: none).
void readDynamicSymbols(Elf* elf, Elf_Scn* section, const GElf_Shdr& header, Elf_Data* versions, ElfDynamicInfo& info,
                        std::vector<std::pair<std::string, unsigned>>& imports) {
  Elf_Data* data = elf_getdata(section, nullptr);
  if (!data || header.sh_entsize == 0) return;
  for (size_t i = 1; i < header.sh_size / header.sh_entsize; ++i) {
    GElf_Sym symbol;
    if (!gelf_getsym(data, int(i), &symbol)) break;
    const char* name = elf_strptr(elf, header.sh_link, symbol.st_name);
    if (!name || !*name) continue;
    if (symbol.st_shndx != SHN_UNDEF) {
      info.exports.emplace_back(name);
      continue;
    }
    if (GELF_ST_BIND(symbol.st_info) == STB_WEAK) continue;
    GElf_Versym version = 0;
    if (versions) gelf_getversym(versions, int(i), &version);
    imports.emplace_back(name, unsigned(version & 0x7FFF));
  }
}

}  // namespace

bool isElfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && std::memcmp(magic, ELFMAG, SELFMAG) == 0;
}

ElfDynamicInfo readElfDynamicInfo(const std::string& path) {
  if (elf_version(EV_CURRENT) == EV_NONE) throw ToolError("The ELF library cannot be initialised");
  Fd fd{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (fd.fd < 0) throw ToolError("Cannot read " + path + ": " + std::strerror(errno));
  std::unique_ptr<Elf, ElfCloser> elf(elf_begin(fd.fd, ELF_C_READ, nullptr));
  GElf_Ehdr ehdr;
  if (!elf || elf_kind(elf.get()) != ELF_K_ELF || !gelf_getehdr(elf.get(), &ehdr))
    throw ToolError(path + " is not an ELF file");

  ElfDynamicInfo info;
  info.x86_64 = gelf_getclass(elf.get()) == ELFCLASS64 && ehdr.e_machine == EM_X86_64;
  std::map<unsigned, std::string> versionObjects;
  Elf_Data* versions = nullptr;
  for (Elf_Scn* section = nullptr; (section = elf_nextscn(elf.get(), section));) {
    GElf_Shdr header;
    if (gelf_getshdr(section, &header) && header.sh_type == SHT_GNU_versym) versions = elf_getdata(section, nullptr);
  }
  std::vector<std::pair<std::string, unsigned>> imports;
  for (Elf_Scn* section = nullptr; (section = elf_nextscn(elf.get(), section));) {
    GElf_Shdr header;
    if (!gelf_getshdr(section, &header)) continue;
    if (header.sh_type == SHT_GNU_verneed) {
      readVersionNeeds(elf.get(), section, header, info, versionObjects);
      continue;
    }
    if (header.sh_type == SHT_DYNSYM) {
      readDynamicSymbols(elf.get(), section, header, versions, info, imports);
      continue;
    }
    if (header.sh_type != SHT_DYNAMIC) continue;
    Elf_Data* data = elf_getdata(section, nullptr);
    if (!data || header.sh_entsize == 0) continue;
    for (size_t i = 0; i < header.sh_size / header.sh_entsize; ++i) {
      GElf_Dyn dyn;
      if (!gelf_getdyn(data, int(i), &dyn)) break;
      if (dyn.d_tag == DT_NULL) break;
      if (dyn.d_tag != DT_NEEDED && dyn.d_tag != DT_RPATH && dyn.d_tag != DT_RUNPATH && dyn.d_tag != DT_SONAME)
        continue;
      const char* text = elf_strptr(elf.get(), header.sh_link, dyn.d_un.d_val);
      if (!text) continue;
      if (dyn.d_tag == DT_NEEDED)
        info.needed.emplace_back(text);
      else if (dyn.d_tag == DT_SONAME)
        info.soname = text;
      else if (dyn.d_tag == DT_RPATH)
        info.rpath = splitPathList(text);
      else
        info.runpath = splitPathList(text);
      if (dyn.d_tag == DT_RPATH || dyn.d_tag == DT_RUNPATH) info.searchPaths.emplace_back(text);
    }
  }
  for (const auto& [name, version] : imports) {
    const auto object = versionObjects.find(version);
    info.imports.push_back({name, version > 1 && object != versionObjects.end() ? object->second : std::string()});
  }
  return info;
}

const std::string& newerGlibcVersion(const std::string& a, const std::string& b) {
  auto numbers = [](const std::string& v) {
    std::vector<int> n;
    size_t at = v.find('_');
    if (at == std::string::npos) return n;
    std::string rest = v.substr(at + 1);
    size_t start = 0;
    while (start < rest.size()) {
      size_t dot = rest.find('.', start);
      if (dot == std::string::npos) dot = rest.size();
      n.push_back(std::atoi(rest.substr(start, dot - start).c_str()));
      start = dot + 1;
    }
    return n;
  };
  if (a.empty()) return b;
  if (b.empty()) return a;
  return numbers(b) > numbers(a) ? b : a;
}

}  // namespace setupkit
