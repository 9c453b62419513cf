#pragma once

// Another program holding a lock file: a forked child that takes the lock with flock() and waits
// to be killed. It never forks again, so once it has been reaped nothing can still hold the lock.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace vistrel::test_support {

class LockHolderProcess {
  public:
    // Returns once the child holds the lock, or has failed to take it within ten seconds.
    explicit LockHolderProcess(const std::string& file) {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
            [[maybe_unused]] const ssize_t written = ::write(ready[1], &ok, 1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        if (pid_ > 0) {
            pollfd pfd{ready[0], POLLIN, 0};
            char ok = 'n';
            holding_ = ::poll(&pfd, 1, 10000) == 1 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        }
        ::close(ready[0]);
    }
    ~LockHolderProcess() { End(); }
    LockHolderProcess(const LockHolderProcess&) = delete;
    LockHolderProcess& operator=(const LockHolderProcess&) = delete;

    bool Holding() const { return holding_; }

    // Kills and reaps the child: when this returns the lock is free.
    void End() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
        holding_ = false;
    }

  private:
    pid_t pid_ = -1;
    bool holding_ = false;
};

}  // namespace vistrel::test_support
