#include "tools/sorvan/CliError.h"

#include <cstring>

std::string SystemReason(int error) {
    return std::strerror(error);
}
