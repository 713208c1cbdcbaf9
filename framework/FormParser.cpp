#include "framework/FormParser.h"

#include <cctype>
#include <charconv>
#include <optional>

#include "framework/Classes.h"
#include "framework/Streaming.h"

namespace {

enum class TTokenKind { End, Identifier, Integer, String, Symbol };

struct TToken {
    TTokenKind Kind = TTokenKind::End;
    int Line = 1;
    std::string Text;
    std::int64_t Integer = 0;
};

class TLexer {
  public:
    explicit TLexer(std::string_view text) : text_(text) {}

    TToken Next() {
        SkipSpace();
        TToken token{.Line = line_};
        if (AtEnd()) return token;
        const char c = text_[pos_];
        if (IsIdentStart(c)) {
            token.Kind = TTokenKind::Identifier;
            while (!AtEnd() && IsIdentPart(text_[pos_])) token.Text += text_[pos_++];
        } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' ||
                   c == '$') {
            token.Kind = TTokenKind::Integer;
            token.Integer = ReadInteger();
        } else if (c == '\'' || c == '#') {
            token.Kind = TTokenKind::String;
            token.Text = ReadString();
        } else if (c == '=' || c == ':' || c == '[' || c == ']' || c == ',') {
            token.Kind = TTokenKind::Symbol;
            token.Text = std::string(1, c);
            ++pos_;
        } else {
            throw EReadError(line_, "Unexpected character " + CharacterForMessage(c));
        }
        return token;
    }

  private:
    // Binary bytes are named by their code, never copied into the message.
    static std::string CharacterForMessage(char c) {
        const auto code = static_cast<unsigned char>(c);
        if (code > 32 && code < 127) return "'" + std::string(1, c) + "'";
        return "#" + std::to_string(code);
    }
    static bool IsIdentStart(char c) {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
    }
    static bool IsIdentPart(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    }
    bool AtEnd() const { return pos_ >= text_.size(); }

    void SkipSpace() {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            if (text_[pos_] == '\n') ++line_;
            ++pos_;
        }
    }

    std::int64_t ReadInteger() {
        bool negative = false;
        if (text_[pos_] == '-' || text_[pos_] == '+') negative = text_[pos_++] == '-';
        int base = 10;
        if (!AtEnd() && text_[pos_] == '$') {
            base = 16;
            ++pos_;
        }
        const std::size_t start = pos_;
        while (!AtEnd() && IsIdentPart(text_[pos_])) ++pos_;
        std::string digits = negative ? "-" : "";
        digits += text_.substr(start, pos_ - start);
        std::int64_t value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
        if (pos_ == start || error == std::errc::invalid_argument ||
            end != digits.data() + digits.size()) {
            throw EReadError(line_, "Invalid integer '" + FormTextForMessage(digits) + "'");
        }
        if (error == std::errc::result_out_of_range) {
            throw EReadError(line_, "Integer " + FormTextForMessage(digits) + " is out of range");
        }
        return value;
    }

    // Quoted pieces ('' stands for one quote) and #n character codes, side by side.
    std::string ReadString() {
        std::string value;
        while (!AtEnd() && (text_[pos_] == '\'' || text_[pos_] == '#')) {
            if (text_[pos_] == '#') {
                ++pos_;
                const std::size_t start = pos_;
                while (!AtEnd() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
                int code = -1;
                std::from_chars(text_.data() + start, text_.data() + pos_, code);
                if (pos_ == start || code < 0 || code > 255) {
                    throw EReadError(line_, "Invalid character code in string");
                }
                value += static_cast<char>(code);
                continue;
            }
            ++pos_;
            for (;;) {
                if (AtEnd() || text_[pos_] == '\n' || text_[pos_] == '\r') {
                    throw EReadError(line_, "Unterminated string");
                }
                const char c = text_[pos_++];
                if (c != '\'') {
                    value += c;
                } else if (!AtEnd() && text_[pos_] == '\'') {
                    value += '\'';
                    ++pos_;
                } else {
                    break;
                }
            }
        }
        return value;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

class TParser {
  public:
    explicit TParser(std::string_view text) : lexer_(text) { Advance(); }

    TFormObject ParseRoot() {
        TFormObject root = ParseObject(0);
        if (token_.Kind != TTokenKind::End) Fail("Unexpected text after the end of the form");
        return root;
    }

    TFormValue ParseLoneValue() {
        TFormValue value = ParseValue();
        if (token_.Kind != TTokenKind::End) Fail("Unexpected text after the value");
        return value;
    }

  private:
    void Advance() { token_ = lexer_.Next(); }
    [[noreturn]] void Fail(const std::string& message) const {
        throw EReadError(token_.Line, message);
    }

    bool IsKeyword(std::string_view keyword) const {
        return token_.Kind == TTokenKind::Identifier && SameText(token_.Text, keyword);
    }
    bool IsSymbol(char symbol) const {
        return token_.Kind == TTokenKind::Symbol && token_.Text[0] == symbol;
    }
    void ExpectSymbol(char symbol) {
        if (!IsSymbol(symbol)) Fail(std::string("'") + symbol + "' expected");
        Advance();
    }
    std::string ExpectIdentifier(const std::string& what) {
        if (token_.Kind != TTokenKind::Identifier) Fail(what + " expected");
        std::string name = token_.Text;
        Advance();
        return name;
    }

    // `depth` counts the levels below the root.
    TFormObject ParseObject(int depth) {
        if (!IsKeyword("object")) Fail("'object' expected");
        if (depth > MaxFormNesting) {
            Fail("Objects nested more than " + std::to_string(MaxFormNesting) +
                 " levels below the root");
        }
        TFormObject object{.Line = token_.Line};
        Advance();
        std::string first = ExpectIdentifier("Component name or class name");
        if (IsSymbol(':')) {
            Advance();
            object.Name = std::move(first);
            object.ClassName = ExpectIdentifier("Class name");
        } else {
            object.ClassName = std::move(first);
        }
        while (!IsKeyword("object") && !IsKeyword("end")) {
            object.Properties.push_back(ParseProperty());
        }
        while (IsKeyword("object")) object.Children.push_back(ParseObject(depth + 1));
        if (!IsKeyword("end")) Fail("'end' expected");
        Advance();
        return object;
    }

    TFormProperty ParseProperty() {
        if (token_.Kind == TTokenKind::End) Fail("'end' expected");
        TFormProperty property{.Line = token_.Line};
        property.Name = ExpectIdentifier("Property name");
        ExpectSymbol('=');
        property.Value = ParseValue();
        return property;
    }

    TFormValue ParseValue() {
        TFormValue value;
        switch (token_.Kind) {
            case TTokenKind::Integer:
                value = {.Kind = TFormValueKind::Integer, .Integer = token_.Integer};
                break;
            case TTokenKind::String:
                value = {.Kind = TFormValueKind::String, .Text = token_.Text};
                break;
            case TTokenKind::Identifier:
                if (IsKeyword("object") || IsKeyword("end")) Fail("Property value expected");
                value = {.Kind = TFormValueKind::Identifier, .Text = token_.Text};
                break;
            case TTokenKind::Symbol:
                if (IsSymbol('[')) return ParseSet();
                [[fallthrough]];
            case TTokenKind::End:
                Fail("Property value expected");
        }
        Advance();
        return value;
    }

    TFormValue ParseSet() {
        TFormValue value{.Kind = TFormValueKind::Set};
        Advance();
        if (!IsSymbol(']')) {
            value.Elements.push_back(ExpectIdentifier("Set element"));
            while (IsSymbol(',')) {
                Advance();
                value.Elements.push_back(ExpectIdentifier("Set element"));
            }
        }
        ExpectSymbol(']');
        return value;
    }

    TLexer lexer_;
    TToken token_;
};

}  // namespace

TFormObject ParseForm(std::string_view text) {
    return TParser(text).ParseRoot();
}

TFormValue ParseFormValue(std::string_view text) {
    return TParser(text).ParseLoneValue();
}

std::string FormTextForMessage(std::string_view text) {
    constexpr std::size_t longest = 40;
    if (text.size() <= longest) return std::string(text);
    return std::string(text.substr(0, longest)) + "...";
}
