// Libraries the program calls print lines of their own to stderr (libmpg123
// under libsndfile, the JACK client under ALSA's jack PCM); the program's
// rule is one line per problem, its own. While one of these lives, stderr
// goes to /dev/null. Only for calls made before the program's own threads
// print anything: the redirection holds for the whole process.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include "tools/sorvan/UniqueFd.h"

class QuietStderr {
  public:
    QuietStderr() : saved_(::dup(STDERR_FILENO)) {
        UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        if (saved_ >= 0 && null) ::dup2(null.get(), STDERR_FILENO);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_;
};
