// SPDX-License-Identifier: MIT
#include "platform/qt/process_launch.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include <QProcess>
#include <QStringList>

namespace velmora::qt {
namespace {

// A started program, followed through a pidfd: unlike its bare process id, that cannot come to
// name an unrelated process once the id is reused.
class LaunchedProcess final : public platform::Process {
  public:
    explicit LaunchedProcess(qint64 pid)
        : pid_(static_cast<pid_t>(pid)),
          pidfd_(static_cast<int>(syscall(SYS_pidfd_open, pid_, 0))),
          gone_(pidfd_ < 0 && errno == ESRCH) {}
    ~LaunchedProcess() override {
        if (pidfd_ >= 0) close(pidfd_);
    }
    LaunchedProcess(const LaunchedProcess&) = delete;
    LaunchedProcess& operator=(const LaunchedProcess&) = delete;

    bool running() override {
        if (gone_) return false;
        if (pidfd_ < 0) return kill(pid_, 0) == 0;  // kernels before 5.3 have no pidfd
        pollfd ended{pidfd_, POLLIN, 0};
        gone_ = poll(&ended, 1, 0) > 0;  // readable once the process has ended
        return !gone_;
    }

  private:
    pid_t pid_;
    int pidfd_;
    bool gone_;
};

}  // namespace

std::unique_ptr<platform::Process> launchProcess(const std::string& program,
                                                 const std::vector<std::string>& args) {
    QStringList arguments;
    for (const std::string& arg : args) arguments << QString::fromStdString(arg);
    // Detached: the program is not our child, so it is reaped without us and keeps running when
    // the board ends.
    qint64 pid = 0;
    if (program.empty() ||
        !QProcess::startDetached(QString::fromStdString(program), arguments, QString(), &pid))
        throw Failure(ErrorCode::FileNotFound, "File not found: " + program);
    return std::make_unique<LaunchedProcess>(pid);
}

}  // namespace velmora::qt
