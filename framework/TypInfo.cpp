#include "framework/TypInfo.h"

#include <algorithm>

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
    for (const TClassInfo* c = this; c != nullptr; c = c->Parent) {
        const auto found = std::find_if(c->Properties.begin(), c->Properties.end(),
                                        [&](const TPropInfo& p) { return SameText(p.Name, name); });
        if (found != c->Properties.end()) return &*found;
    }
    return nullptr;
}

const TPublishedMethod* TClassInfo::FindMethod(std::string_view name) const {
    for (const TClassInfo* c = this; c != nullptr; c = c->Parent) {
        const auto found =
            std::find_if(c->Methods.begin(), c->Methods.end(),
                         [&](const TPublishedMethod& m) { return SameText(m.Name, name); });
        if (found != c->Methods.end()) return &*found;
    }
    return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::AllProperties() const {
    std::vector<const TClassInfo*> lineage;
    for (const TClassInfo* c = this; c != nullptr; c = c->Parent) lineage.push_back(c);
    std::vector<const TPropInfo*> all;
    for (auto c = lineage.rbegin(); c != lineage.rend(); ++c) {
        for (const TPropInfo& p : (*c)->Properties) all.push_back(&p);
    }
    return all;
}
