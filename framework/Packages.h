// Packages: shared libraries that follow the framework's conventions. Each
// exports GetPackageInfoTable (its kind, the packages it requires and the
// units it contains) and carries resources: its description (RCDATA
// "DESCRIPTION", UTF-16), its version data, icons and bitmaps. On Windows
// these are the module's own resources; elsewhere the package also exports
// GetPackageResourceTable, a table of the same resources by type and name.
// A design-time package also exports Register.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/SysUtils.h"
#include "framework/VersionInfo.h"

class EPackageError : public Exception {
  public:
    using Exception::Exception;
};

// Resource types by number, written "#n" as resource names may be.
namespace restype {
inline constexpr std::string_view Bitmap = "#2";
inline constexpr std::string_view Icon = "#3";
inline constexpr std::string_view RCData = "#10";
inline constexpr std::string_view GroupIcon = "#14";
inline constexpr std::string_view Version = "#16";
}  // namespace restype

// Flags of TPackageInfoTable.
inline constexpr std::uint32_t pfNeverBuild = 0x1;
inline constexpr std::uint32_t pfDesignOnly = 0x2;
inline constexpr std::uint32_t pfRunOnly = 0x4;

// What GetPackageInfoTable returns; plain data shared across modules.
struct TPackageInfoTable {
    std::uint32_t Flags;
    const char* const* Requires;
    std::size_t RequiresCount;
    const char* const* Contains;
    std::size_t ContainsCount;
};

struct TResourceEntry {
    const char* Type;
    const char* Name;
    const unsigned char* Data;
    std::size_t Size;
};

// What GetPackageResourceTable returns off Windows.
struct TResourceTable {
    const TResourceEntry* Entries;
    std::size_t Count;
};

using TGetPackageInfoTableProc = const TPackageInfoTable* (*)();
using TGetPackageResourceTableProc = const TResourceTable* (*)();
using TRegisterProc = void (*)();

struct TPackageInfo {
    std::uint32_t Flags = 0;
    std::vector<std::string> Requires;
    std::vector<std::string> Contains;
};

// A loaded package. Destroying it removes the classes, palette entries and
// component editors that the package registered, then unloads it.
class TPackage {
  public:
    // Raises EPackageError when the file cannot be loaded or is not a package.
    explicit TPackage(const std::string& path);
    ~TPackage();
    TPackage(const TPackage&) = delete;
    TPackage& operator=(const TPackage&) = delete;

    // The file the package was loaded from, as the system reports it.
    const std::string& FileName() const { return fileName_; }
    TPackageInfo Info() const;
    // The bytes of a resource (type and name ignore case); nothing when absent.
    std::optional<std::span<const std::byte>> Resource(std::string_view type,
                                                       std::string_view name) const;
    // The DESCRIPTION resource; empty when the package has none.
    std::string Description() const;
    // The version resource; raises EPackageError when there is none.
    TVersionInfo Version() const;

    // An exported function or variable; null when the package has none by this name.
    void* Procedure(const char* name) const;
    // Calls the package's Register; raises EPackageError when it has none.
    void Register() const;
    // Whether the address lies in this package's code or data.
    bool Contains(const void* address) const;

  private:
    void* handle_ = nullptr;
    const void* base_ = nullptr;
    std::string fileName_;
};
