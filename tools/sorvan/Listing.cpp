#include "tools/sorvan/Listing.h"

std::string JoinWithCommas(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) joined += (joined.empty() ? "" : ", ") + item;
    return joined;
}
