#pragma once
// A fresh program context over the emulated operating system, as every native test starts.
#include <memory>

#include "app/context.h"
#include "platform/host/host_os.h"

namespace tz::test {

struct Fixture {
  platform::host::HostOs host;
  std::unique_ptr<Context> ctx = std::make_unique<Context>(host.os());
};

}  // namespace tz::test
