#include "runtime/elf_dependencies.h"

#include <elf.h>
#include <link.h>

#include <cstring>

#include "platform/mapped_file.h"

namespace Kyrowan {

namespace {

/// Bounds-checked view of the file's bytes: a hostile file must not read past the end.
struct FileBytes {
  const char* data;
  std::uint64_t size;

  template <typename T>
  bool Read(std::uint64_t offset, T& out) const {
    if (offset > size || sizeof(T) > size - offset) return false;
    std::memcpy(&out, data + offset, sizeof(T));
    return true;
  }
};

/// Maps a virtual address to its file offset through the loadable segments.
bool AddressToOffset(const FileBytes& file, const ElfW(Ehdr)& header, ElfW(Addr) address, std::uint64_t& offset) {
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    ElfW(Phdr) segment;
    if (!file.Read(header.e_phoff + std::uint64_t{i} * header.e_phentsize, segment)) return false;
    if (segment.p_type != PT_LOAD) continue;
    if (address >= segment.p_vaddr && address - segment.p_vaddr < segment.p_filesz) {
      offset = segment.p_offset + (address - segment.p_vaddr);
      return true;
    }
  }
  return false;
}

bool ReadString(const FileBytes& file, std::uint64_t tableOffset, std::uint64_t tableSize, std::uint64_t index,
                std::string& out) {
  if (index >= tableSize || tableOffset > file.size || tableSize > file.size - tableOffset) return false;
  const char* begin = file.data + tableOffset + index;
  const char* end = static_cast<const char*>(std::memchr(begin, '\0', tableSize - index));
  if (end == nullptr) return false;
  out.assign(begin, end);
  return !out.empty();
}

bool IsSharedLibraryOfThisMachine(const ElfW(Ehdr)& header) {
  const unsigned char ownClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
  return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ownClass &&
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
         header.e_ident[EI_DATA] == ELFDATA2LSB &&
#else
         header.e_ident[EI_DATA] == ELFDATA2MSB &&
#endif
         header.e_type == ET_DYN && header.e_phentsize == sizeof(ElfW(Phdr));
}

}  // namespace

bool ReadLibraryLinkInfo(const std::wstring& path, LibraryLinkInfo& info) {
  info = LibraryLinkInfo{};
  Windows::MappedFile mapped(path);
  if (!mapped.Open()) return false;
  const FileBytes file{mapped.data, static_cast<std::uint64_t>(mapped.fileSize)};
  ElfW(Ehdr) header;
  if (!file.Read(0, header) || !IsSharedLibraryOfThisMachine(header)) return false;

  ElfW(Phdr) dynamic{};
  bool found = false;
  for (unsigned i = 0; i < header.e_phnum && !found; ++i) {
    if (!file.Read(header.e_phoff + std::uint64_t{i} * header.e_phentsize, dynamic)) return false;
    found = dynamic.p_type == PT_DYNAMIC;
  }
  if (!found) return false;

  std::vector<std::uint64_t> neededIndexes;
  std::uint64_t sonameIndex = 0, tableAddress = 0, tableSize = 0;
  bool hasSoname = false;
  for (std::uint64_t at = dynamic.p_offset; at + sizeof(ElfW(Dyn)) <= dynamic.p_offset + dynamic.p_filesz;
       at += sizeof(ElfW(Dyn))) {
    ElfW(Dyn) item;
    if (!file.Read(at, item)) return false;
    if (item.d_tag == DT_NULL) break;
    if (item.d_tag == DT_NEEDED) neededIndexes.push_back(item.d_un.d_val);
    if (item.d_tag == DT_SONAME) sonameIndex = item.d_un.d_val, hasSoname = true;
    if (item.d_tag == DT_STRTAB) tableAddress = item.d_un.d_ptr;
    if (item.d_tag == DT_STRSZ) tableSize = item.d_un.d_val;
  }
  if (neededIndexes.empty() && !hasSoname) return true;
  std::uint64_t tableOffset = 0;
  if (!AddressToOffset(file, header, tableAddress, tableOffset)) return false;
  for (std::uint64_t index : neededIndexes) {
    std::string name;
    if (!ReadString(file, tableOffset, tableSize, index, name)) return false;
    info.needed.push_back(std::move(name));
  }
  if (hasSoname && !ReadString(file, tableOffset, tableSize, sonameIndex, info.soname)) return false;
  return true;
}

}  // namespace Kyrowan
