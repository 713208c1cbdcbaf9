// Seeded random form files against the form reader. Every file is either
// read correctly (what is read writes and reads back the same) or refused
// with EReadError (or ETagError, which a test class's setter raises), and a
// refused file leaves the root as it was. A crash, a hang (the test's
// time-out), a leak or a sanitizer report fails the run too: CI runs this
// under AddressSanitizer and UBSan as well.
//
// SORVAN_FORM_FUZZ_CASES sets how many files (3000 by default) and
// SORVAN_FORM_FUZZ_SEED the first case's seed; case i uses seed + i, and a
// failure names its case's seed, so that it replays alone (with
// SORVAN_FORM_FUZZ_CASES=1 and --gtest_filter='FormFuzz.*').
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

#include "StreamingTestClasses.h"
#include "framework/Streaming.h"

namespace {

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text == nullptr || *text == '\0' ? fallback : std::strtoull(text, nullptr, 10);
}

class TFormGenerator {
  public:
    explicit TFormGenerator(std::uint64_t seed) : rng_(seed) {}

    // A hostile file: a plausible form, mutated or not, or plain noise.
    std::string File() {
        const int kind = Below(10);
        if (kind == 0) return RandomBytes(Below(2000));
        std::string text =
            kind == 1 ? Nested(OneIn(10) ? Below(20000) : MaxFormNesting - 2 + Below(5)) : Form();
        // Half the files stay as they are, which are mostly good.
        if (Below(2) == 0) {
            for (int n = 1 + Below(4); n > 0; --n) Mutate(text);
        }
        return text;
    }

  private:
    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool OneIn(int n) { return Below(n) == 0; }
    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
    }

    std::string RandomBytes(int size) {
        std::string bytes;
        for (int i = 0; i < size; ++i) bytes += static_cast<char>(Below(256));
        return bytes;
    }

    std::string Nested(int depth) {
        std::string text = "object Panel: TPanelForm\n";
        for (int level = 0; level < depth; ++level) text += "object TGadget\n";
        for (int level = 0; level <= depth; ++level) text += "end\n";
        return text;
    }

    std::string Integer() {
        static const std::vector<std::string> edges{"0",
                                                    "-1",
                                                    "2147483647",
                                                    "-2147483648",
                                                    "2147483648",
                                                    "$7FFFFFFF",
                                                    "$80000000",
                                                    "9223372036854775807",
                                                    "-9223372036854775808",
                                                    "99999999999999999999",
                                                    "$FFFFFFFFFFFFFFFFF",
                                                    "+5",
                                                    "-0",
                                                    "$"};
        if (OneIn(12)) return Pick(edges);
        return std::to_string(Below(2000) - 20);
    }

    std::string String() {
        std::string text;
        for (int piece = Below(4); piece >= 0; --piece) {
            if (OneIn(3)) {
                text += '#';
                text += std::to_string(OneIn(10) ? 256 + Below(100) : Below(256));
                continue;
            }
            text += "'";
            const int length = OneIn(200) ? 20000 : Below(12);
            for (int i = 0; i < length; ++i) {
                const char c = static_cast<char>(' ' + Below(95));
                text += c == '\'' ? std::string("''") : std::string(1, c);
            }
            text += "'";
        }
        return text;
    }

    std::string Value(const std::string& property) {
        if (OneIn(30))
            return Pick(std::vector<std::string>{"", "[", "]", "gmLoud", "'3'", "[gcMono,"});
        if (property == "Count" || property == "Level" || property == "Tag") return Integer();
        if (property == "Caption") return String();
        if (property == "Mode") return Pick(std::vector<std::string>{"gmOff", "GMLOW", "gmHigh"});
        if (property == "Flags") {
            std::string set = "[";
            for (int n = Below(4); n > 0; --n) {
                set += Pick(std::vector<std::string>{"gcMono", "gcStereo", "gcLoud"});
                if (n > 1) set += ", ";
            }
            return set + "]";
        }
        // Events: mostly the method that fits, else one that does not or is not published.
        if (OneIn(10))
            return Pick(std::vector<std::string>{"GadgetFire", "GadgetData", "Unpublished"});
        return property == "OnData" ? "GadgetData" : "GadgetFire";
    }

    std::string Name() {
        if (OneIn(40)) return Pick(std::vector<std::string>{"A", "a", "Existing", "Lid", "G1"});
        if (OneIn(100)) return std::string(5000, 'N');
        std::string name = "G";
        return name += std::to_string(++names_);
    }

    // The root, then components of every test class, a few levels deep.
    std::string Form() {
        std::string text = "object " + (OneIn(5) ? "" : Name() + ": ") + "TPanelForm\n";
        Body(text, "TPanelForm", 0);
        return text + "end\n";
    }

    void Body(std::string& text, const std::string& className, int depth) {
        const std::vector<std::string> properties =
            className == "TPanelForm" ? std::vector<std::string>{"Tag", "Caption", "OnShow"}
            : className == "TFancyGadget"
                ? std::vector<std::string>{"Count",  "Caption", "Mode", "OnFire",
                                           "OnData", "Flags",   "Level"}
                : std::vector<std::string>{"Count", "Caption", "Mode", "OnFire", "OnData"};
        for (int n = Below(4); n > 0; --n) {
            const std::string& property = OneIn(80) ? std::string("Serial") : Pick(properties);
            text += property + " = " + Value(property) + "\n";
        }
        if (depth >= 4) return;
        for (int n = Below(depth == 0 ? 5 : 3); n > 0; --n) {
            const std::string childClass =
                OneIn(60) ? Pick(std::vector<std::string>{"TFixedGadget", "TWidget", "TPanelForm"})
                          : Pick(std::vector<std::string>{"TGadget", "TFancyGadget"});
            text += "object " + (OneIn(4) ? "" : Name() + ": ") + childClass + "\n";
            Body(text, childClass, depth + 1);
            text += "end\n";
        }
    }

    void Mutate(std::string& text) {
        const auto at = [&] {
            return static_cast<std::size_t>(Below(static_cast<int>(text.size()) + 1));
        };
        switch (Below(6)) {
            case 0:
                if (!text.empty()) text[at() % text.size()] = static_cast<char>(Below(256));
                break;
            case 1: {
                static const std::vector<std::string> pieces{"object ",
                                                             " end ",
                                                             "object X: TGadget\n",
                                                             "'",
                                                             "''",
                                                             "#",
                                                             "#300",
                                                             "$",
                                                             "=",
                                                             ":",
                                                             "[",
                                                             "]",
                                                             ",",
                                                             std::string(1, '\0'),
                                                             "\xff",
                                                             "\n",
                                                             "\r",
                                                             "-",
                                                             "99999999999999999999",
                                                             "OnFire = GadgetData\n",
                                                             "Tag = -1\n"};
                text.insert(at(), Pick(pieces));
                break;
            }
            case 2: {
                const std::size_t from = at();
                text.erase(from, static_cast<std::size_t>(Below(40)));
                break;
            }
            case 3: {
                // Copies a stretch: duplicate names and objects.
                const std::size_t from = at();
                const std::string copy = text.substr(from, static_cast<std::size_t>(Below(200)));
                text.insert(at(), copy);
                break;
            }
            case 4:
                text.resize(at());
                break;
            case 5:
                text.insert(at(), OneIn(2) ? std::string(20000, 'x') : Nested(100 + Below(1000)));
                break;
        }
    }

    std::mt19937_64 rng_;
    int names_ = 0;
};

// A root with a name, values, a bound event and a component of its own.
struct TPreparedRoot {
    TPreparedRoot() {
        form.SetName("Before");
        form.SetTag(3);
        form.SetCaption("keep");
        form.OnShow = TNotifyEvent(&form, &TPanelForm::GadgetFire, "GadgetFire");
        existing = new TGadget(&form);
        existing->SetName("Existing");
        existing->SetCaption("kept");
    }
    TPanelForm form{nullptr};
    TGadget* existing;
};

enum class TOutcome { Read, Refused };

// Reads the file into a prepared root and checks what the read left.
TOutcome ReadAndCheck(const std::string& text) {
    TPreparedRoot root;
    const std::string before = ComponentToText(root.form);
    try {
        ReadComponentText(text, root.form);
    } catch (const EReadError&) {
        EXPECT_EQ(ComponentToText(root.form), before);
        EXPECT_EQ(root.form.ComponentCount(), 1);
        EXPECT_EQ(root.form.Components(0), root.existing);
        return TOutcome::Refused;
    } catch (const ETagError&) {
        EXPECT_EQ(ComponentToText(root.form), before);
        EXPECT_EQ(root.form.ComponentCount(), 1);
        return TOutcome::Refused;
    }
    const std::string written = ComponentToText(root.form);
    TPanelForm copy(nullptr);
    ReadComponentText(written, copy);
    EXPECT_EQ(ComponentToText(copy), written);
    return TOutcome::Read;
}

void CreateAndCheck(const std::string& text) {
    try {
        const std::unique_ptr<TComponent> created = CreateComponentFromText(text);
        EXPECT_NE(created, nullptr);
        ComponentToText(*created);
    } catch (const EReadError&) {
    } catch (const ETagError&) {
    }
}

TEST(FormFuzz, EveryFileIsReadCorrectlyOrRefusedWithTheRootUnchanged) {
    const std::uint64_t seed = EnvNumber("SORVAN_FORM_FUZZ_SEED", 20261208);
    const std::uint64_t cases = EnvNumber("SORVAN_FORM_FUZZ_CASES", 3000);
    std::cout << "form fuzz: seed " << seed << ", " << cases << " cases\n";
    std::uint64_t read = 0;
    for (std::uint64_t i = 0; i < cases; ++i) {
        const std::uint64_t caseSeed = seed + i;
        SCOPED_TRACE("case seed " + std::to_string(caseSeed));
        const std::string text = TFormGenerator(caseSeed).File();
        try {
            read += ReadAndCheck(text) == TOutcome::Read ? 1 : 0;
            CreateAndCheck(text);
        } catch (const std::exception& e) {
            ADD_FAILURE() << "unexpected " << typeid(e).name() << ": " << e.what();
        }
        if (testing::Test::HasFailure()) {
            std::cout << "form fuzz: first failure at case seed " << caseSeed << "\n";
            return;
        }
    }
    std::cout << "form fuzz: " << read << " of " << cases << " files read, the rest refused\n";
    // The generator is no use unless it makes both kinds in numbers.
    if (cases >= 1000) {
        EXPECT_GT(read, cases / 10);
        EXPECT_LT(read, cases - cases / 10);
    }
}

}  // namespace
