// Whether a shared library whose file name contains a text is loaded in this process.
#pragma once

#include <string>

bool ModuleLoaded(const std::string& nameContains);
