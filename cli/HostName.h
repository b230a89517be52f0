#pragma once
#include <string>

// This computer's name, for reports ("" when the system does not say).
std::string HostName();
