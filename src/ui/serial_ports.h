#pragma once
// Serial devices of this system an operator may pick for a port: /dev/ttyS*, /dev/ttyUSB*,
// /dev/ttyACM* and the stable names under /dev/serial/by-id.
#include <string>
#include <vector>

namespace dravmer::ui {

// Sorted by kind (by-id names first, then USB, ACM and built-in lines) and number within a kind.
std::vector<std::string> SystemSerialPorts(const std::string& devRoot = "/dev");

// Names of the computers this machine knows (the hosts file), for the COM-server list.
std::vector<std::string> KnownComputerNames(const std::string& hostsFile = "/etc/hosts");

}  // namespace dravmer::ui
