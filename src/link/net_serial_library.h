#pragma once
// A vendor-compatible network serial library, loaded at run time: the seven nsio_ entry points
// behind the network-server ports. The library is loaded on the first Init (the first Open of
// such a port) and released with the last port that holds the provider.
#include <memory>
#include <string>

#include "link/net_serial.h"

namespace dravmer {

// Init's answer when the library cannot be loaded or lacks an entry point; the port then fails
// its Open with result 10.
inline constexpr int kNetSerialLoadFailed = -10;

std::shared_ptr<INetSerialProvider> MakeNetSerialLibraryProvider(const std::string& path);

}  // namespace dravmer
