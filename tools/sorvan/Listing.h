// Lists in the program's messages.
#pragma once

#include <string>
#include <vector>

// "a, b, c"; empty for no items.
std::string JoinWithCommas(const std::vector<std::string>& items);
