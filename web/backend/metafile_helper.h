// SPDX-License-Identifier: MIT
// WMF and EMF pictures, which no browser shows, drawn into PNG by velmora-metafile (installed
// beside the board) under the board's own limits: 2 s of CPU, 1 GiB of address space, no file
// written, no core; 2 s of wall time and 32 MiB of output, past which it is killed. The process
// is driven by the loop (its output through a pipe, its end looked for once the output ended):
// nothing here waits.
#pragma once

#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "backend/cover_shelf.h"

namespace velmora::web {

struct MetafileLimits {
    int wallMs = 2000;
    int cpuSeconds = 2;
    long long memoryBytes = 1LL << 30;
    std::size_t outputBytes = 32 * 1024 * 1024;
};

class MetafileHelper final : public MetafileConverter {
  public:
    using Limits = MetafileLimits;

    MetafileHelper(boost::asio::io_context& io, std::string helper, Limits limits = {})
        : io_(io), helper_(std::move(helper)), limits_(limits) {}

    // velmora-metafile beside the running program.
    static std::string besideThisProgram();

    bool handles(std::string_view head) const override;
    std::shared_ptr<void> convert(const std::string& path, Done done) override;

  private:
    boost::asio::io_context& io_;
    std::string helper_;
    Limits limits_;
};

}  // namespace velmora::web
