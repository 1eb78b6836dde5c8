// SPDX-License-Identifier: MIT
// Whether this system lets a process install a seccomp filter, as the metafile helper does before
// it reads a file: qemu-user refuses every filter (it would hold the emulator's own calls), so
// there the helper draws nothing, by design.
#pragma once

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace velmora::testing {

// Tried in a child of its own, so that the filter stays out of the test's process. A child that
// cannot be made counts as a system that takes filters: the test then runs and says what failed.
inline bool seccompFiltersWork() {
    const pid_t child = ::fork();
    if (child < 0) return true;
    if (child == 0) {
        sock_filter allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
        const sock_fprog program{1, &allow};
        const bool installed = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                               ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
        ::_exit(installed ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace velmora::testing
