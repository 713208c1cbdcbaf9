// Text form files: a component, its published properties and the components
// it owns, in the framework's usual shape:
//
//   object Recorder: TRecorderForm
//     OnShow = RecorderShow
//     object Mic: TSorvanIn
//       channels = 2
//       device = wvDevice3
//       FileName = 'take one.wav'
//       OnData = MicData
//     end
//   end
//
// Writing keeps only stored properties that differ from their defaults, and
// events bound to a method that the root publishes. Reading creates classes
// by name from the class registry, applies properties through their setters
// in file order and binds events to the root's published methods. A bad file
// raises EReadError naming its line, and the whole file is checked before
// anything is created or set; a read that fails leaves the root as it was.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/SysUtils.h"
#include "framework/TypInfo.h"

class EStreamError : public Exception {
  public:
    using Exception::Exception;
};

class EFOpenError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

class EFCreateError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

class EFilerError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

// A form file that cannot be read; the message starts with "Line N: ".
class EReadError : public EFilerError {
  public:
    EReadError(int line, const std::string& message)
        : EFilerError("Line " + std::to_string(line) + ": " + message), FLine(line) {}

    int Line() const { return FLine; }

  private:
    int FLine;
};

// How many levels components may nest below a form's root. Ownership trees
// are shallow in practice; the bound keeps every walk over a form (parsing,
// checking, creating, writing, destroying) far from the end of the stack,
// whatever a file holds. Deeper trees are neither read nor written.
inline constexpr int MaxFormNesting = 64;

// Raises EFilerError for components nested deeper than MaxFormNesting.
std::string ComponentToText(const TComponent& root);
// A property's current value as a form writes it (defaults and unstored
// properties included); nothing for an event that is not bound to a method
// the root publishes. Raises EFilerError for an ordinal without a name.
std::optional<std::string> PropertyValueText(const TPropInfo& prop, const TComponent& component,
                                             const TComponent& root);
// A string as a form writes it: 'one'#13#10'two'.
std::string FormStringLiteral(std::string_view value);
// Whether the property holds its default value (an event never does).
bool IsDefaultValue(const TPropInfo& prop, const TComponent& component);
// Raises EFCreateError when the file cannot be written.
void WriteComponentFile(const std::string& path, const TComponent& root);

// Reads a form into an existing root, whose class must be the one the file
// names or descend from it; the file's components are created under it.
void ReadComponentText(std::string_view text, TComponent& root);
// Reads a form whose root class is created from the class registry.
std::unique_ptr<TComponent> CreateComponentFromText(std::string_view text);

// Form files are small; the bound keeps a device such as /dev/zero, or a
// huge file that is no form, from exhausting memory.
inline constexpr std::size_t MaxFormFileSize = std::size_t{16} << 20;

// As above, from a file; raise EFOpenError when it cannot be read, is a
// folder or holds more than MaxFormFileSize bytes.
void ReadComponentFile(const std::string& path, TComponent& root);
std::unique_ptr<TComponent> CreateComponentFromFile(const std::string& path);
