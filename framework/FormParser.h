// The syntax of text form files, read into a tree before anything is created.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TFormValueKind { Integer, String, Identifier, Set };

struct TFormValue {
    TFormValueKind Kind = TFormValueKind::Integer;
    std::int64_t Integer = 0;
    // A string's characters or an identifier.
    std::string Text;
    // A set's element identifiers, in file order.
    std::vector<std::string> Elements;
};

struct TFormProperty {
    int Line = 0;
    std::string Name;
    TFormValue Value;
};

struct TFormObject {
    int Line = 0;
    // Empty for a component written without a name.
    std::string Name;
    std::string ClassName;
    std::vector<TFormProperty> Properties;
    std::vector<TFormObject> Children;
};

// Raises EReadError at the first syntax error, and for objects nested deeper
// than MaxFormNesting below the root.
TFormObject ParseForm(std::string_view text);

// One property value alone, as it stands after "=" in a form; raises
// EReadError when the text is anything else, such as a value followed by
// more of a form.
TFormValue ParseFormValue(std::string_view text);

// A name or number from a form as error messages quote it: long ones are cut
// short, so that a hostile file still gives a one-line message.
std::string FormTextForMessage(std::string_view text);
