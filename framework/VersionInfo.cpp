#include "framework/VersionInfo.h"

#include <cstdio>

#include "framework/Utf16.h"

namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::size_t kFixedSize = 52;
constexpr std::uint16_t kBinary = 0;
constexpr std::uint16_t kText = 1;

// Writes one block: length, value length, type, key, value, children, each
// part starting on a 32-bit boundary of the resource.
class TBlockWriter {
  public:
    explicit TBlockWriter(std::vector<std::byte>& out) : out_(out) {}

    // Starts a block and returns its offset, for End to fill in its length.
    std::size_t Begin(std::string_view key, std::uint16_t valueLength, std::uint16_t type) {
        Align();
        const std::size_t start = out_.size();
        Put16(0);
        Put16(valueLength);
        Put16(type);
        const auto name = Utf8ToUtf16Bytes(key);
        out_.insert(out_.end(), name.begin(), name.end());
        Put16(0);
        Align();
        return start;
    }
    void End(std::size_t start) {
        const std::size_t length = out_.size() - start;
        if (length > 0xFFFF) throw EVersionInfoError("Version resource too large");
        out_[start] = static_cast<std::byte>(length & 0xFF);
        out_[start + 1] = static_cast<std::byte>(length >> 8);
    }
    void Put16(std::uint32_t v) {
        out_.push_back(static_cast<std::byte>(v & 0xFF));
        out_.push_back(static_cast<std::byte>((v >> 8) & 0xFF));
    }
    void Put32(std::uint32_t v) {
        Put16(v & 0xFFFF);
        Put16(v >> 16);
    }
    void PutBytes(const std::vector<std::byte>& bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }

  private:
    void Align() {
        while (out_.size() % 4 != 0) out_.push_back(std::byte{0});
    }
    std::vector<std::byte>& out_;
};

struct TBlock {
    std::string Key;
    std::uint16_t ValueLength = 0;
    std::uint16_t Type = 0;
    std::span<const std::byte> Value;
    std::span<const std::byte> Children;
};

std::size_t AlignUp(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

std::uint32_t Read16(std::span<const std::byte> data, std::size_t at) {
    return std::to_integer<std::uint32_t>(data[at]) | std::to_integer<std::uint32_t>(data[at + 1])
                                                          << 8;
}
std::uint32_t Read32(std::span<const std::byte> data, std::size_t at) {
    return Read16(data, at) | Read16(data, at + 2) << 16;
}

// Reads the block at the start of `data` (which begins 32-bit aligned); returns it
// and, through `next`, the offset where a following sibling would start.
TBlock ReadBlock(std::span<const std::byte> data, std::size_t& next) {
    const auto bad = [] { return EVersionInfoError("Damaged version resource"); };
    if (data.size() < 6) throw bad();
    const std::size_t length = Read16(data, 0);
    if (length < 6 || length > data.size()) throw bad();
    data = data.first(length);
    TBlock block{.ValueLength = static_cast<std::uint16_t>(Read16(data, 2)),
                 .Type = static_cast<std::uint16_t>(Read16(data, 4))};
    std::size_t pos = 6;
    while (pos + 1 < length && Read16(data, pos) != 0) pos += 2;
    if (pos + 1 >= length) throw bad();
    block.Key = Utf16BytesToUtf8(data.subspan(6, pos - 6));
    pos = AlignUp(pos + 2);
    const std::size_t valueBytes = block.Type == kText ? block.ValueLength * 2u : block.ValueLength;
    if (pos + valueBytes > length) {
        if (block.Type != kText || pos > length) throw bad();
        block.Value = data.subspan(pos);
        pos = length;
    } else {
        block.Value = data.subspan(pos, valueBytes);
        pos = std::min(AlignUp(pos + valueBytes), length);
    }
    block.Children = data.subspan(pos);
    next = AlignUp(length);
    return block;
}

std::vector<TBlock> ReadChildren(std::span<const std::byte> children) {
    std::vector<TBlock> blocks;
    std::size_t pos = 0;
    while (pos + 6 <= children.size()) {
        std::size_t next = 0;
        blocks.push_back(ReadBlock(children.subspan(pos), next));
        pos += next;
    }
    return blocks;
}

TVersionInfo::TVersion SplitVersion(std::uint32_t ms, std::uint32_t ls) {
    return {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms & 0xFFFF),
            static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls & 0xFFFF)};
}

}  // namespace

std::string TVersionInfo::Field(std::string_view name) const {
    if (StringTables.empty()) return {};
    for (const auto& [key, value] : StringTables.front().Strings) {
        if (key == name) return value;
    }
    return {};
}

std::string VersionText(const TVersionInfo::TVersion& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}

std::vector<std::byte> BuildVersionResource(const TVersionInfo& info) {
    std::vector<std::byte> out;
    TBlockWriter w(out);
    const std::size_t root = w.Begin("VS_VERSION_INFO", kFixedSize, kBinary);
    w.Put32(kFixedSignature);
    w.Put32(kFixedStructVersion);
    w.Put32(static_cast<std::uint32_t>(info.FileVersion[0]) << 16 | info.FileVersion[1]);
    w.Put32(static_cast<std::uint32_t>(info.FileVersion[2]) << 16 | info.FileVersion[3]);
    w.Put32(static_cast<std::uint32_t>(info.ProductVersion[0]) << 16 | info.ProductVersion[1]);
    w.Put32(static_cast<std::uint32_t>(info.ProductVersion[2]) << 16 | info.ProductVersion[3]);
    w.Put32(info.FileFlagsMask);
    w.Put32(info.FileFlags);
    w.Put32(info.FileOS);
    w.Put32(info.FileType);
    w.Put32(info.FileSubtype);
    w.Put32(0);  // file date, high and low
    w.Put32(0);

    if (!info.StringTables.empty()) {
        const std::size_t fileInfo = w.Begin("StringFileInfo", 0, kText);
        for (const TVersionInfo::TStringTable& table : info.StringTables) {
            const std::size_t tableStart = w.Begin(table.Key, 0, kText);
            for (const auto& [name, value] : table.Strings) {
                auto text = Utf8ToUtf16Bytes(value);
                text.resize(text.size() + 2);  // the terminating null
                const std::size_t entry =
                    w.Begin(name, static_cast<std::uint16_t>(text.size() / 2), kText);
                w.PutBytes(text);
                w.End(entry);
            }
            w.End(tableStart);
        }
        w.End(fileInfo);
    }
    if (!info.Translations.empty()) {
        const std::size_t varInfo = w.Begin("VarFileInfo", 0, kText);
        const std::size_t var = w.Begin(
            "Translation", static_cast<std::uint16_t>(info.Translations.size() * 4), kBinary);
        for (const auto& t : info.Translations) {
            w.Put16(t.Language);
            w.Put16(t.CodePage);
        }
        w.End(var);
        w.End(varInfo);
    }
    w.End(root);
    return out;
}

TVersionInfo ParseVersionResource(std::span<const std::byte> data) {
    std::size_t next = 0;
    const TBlock root = ReadBlock(data, next);
    if (root.Key != "VS_VERSION_INFO" || root.Value.size() != kFixedSize ||
        Read32(root.Value, 0) != kFixedSignature) {
        throw EVersionInfoError("Not a version resource");
    }
    const auto fixed = root.Value;
    TVersionInfo info{
        .FileVersion = SplitVersion(Read32(fixed, 8), Read32(fixed, 12)),
        .ProductVersion = SplitVersion(Read32(fixed, 16), Read32(fixed, 20)),
        .FileFlagsMask = Read32(fixed, 24),
        .FileFlags = Read32(fixed, 28),
        .FileOS = Read32(fixed, 32),
        .FileType = Read32(fixed, 36),
        .FileSubtype = Read32(fixed, 40),
    };
    for (const TBlock& section : ReadChildren(root.Children)) {
        if (section.Key == "StringFileInfo") {
            for (const TBlock& table : ReadChildren(section.Children)) {
                TVersionInfo::TStringTable strings{.Key = table.Key};
                for (const TBlock& entry : ReadChildren(table.Children)) {
                    strings.Strings.emplace_back(entry.Key, Utf16BytesToUtf8(entry.Value));
                }
                info.StringTables.push_back(std::move(strings));
            }
        } else if (section.Key == "VarFileInfo") {
            for (const TBlock& var : ReadChildren(section.Children)) {
                if (var.Key != "Translation") continue;
                for (std::size_t at = 0; at + 4 <= var.Value.size(); at += 4) {
                    info.Translations.push_back(
                        {static_cast<std::uint16_t>(Read16(var.Value, at)),
                         static_cast<std::uint16_t>(Read16(var.Value, at + 2))});
                }
            }
        }
    }
    return info;
}
