// A benchmark's own ALSA configuration: written and selected through
// ALSA_CONFIG_PATH before the first ALSA call, removed when the program ends.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

class TemporaryAlsaConfiguration {
  public:
    explicit TemporaryAlsaConfiguration(const std::string& text) {
        std::ofstream(path_) << text;
        setenv("ALSA_CONFIG_PATH", path_.c_str(), 1);
    }
    ~TemporaryAlsaConfiguration() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TemporaryAlsaConfiguration(const TemporaryAlsaConfiguration&) = delete;
    TemporaryAlsaConfiguration& operator=(const TemporaryAlsaConfiguration&) = delete;

  private:
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("sorvan-bench-" + std::to_string(getpid()) + ".conf");
};
